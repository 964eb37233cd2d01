#pragma once

#include "Ref.h"

#include <memory>

namespace engine {

class Effect;
class Mesh;
class VertexFormat;

// Connects a vertex format to an effect's attributes: a vertex array object
// where the context has them, otherwise a table replayed on every bind.
class VertexAttributeBinding : public Ref {
public:
    // Takes references to the mesh and the effect; uploads the mesh.
    static VertexAttributeBinding* create(Mesh* mesh, Effect* effect);
    // Client-side vertices (no buffer object) in the given format.
    static VertexAttributeBinding* create(const VertexFormat& format, void* vertexPointer, Effect* effect);

    Mesh* getMesh() const { return m_mesh; }
    Effect* getEffect() const { return m_effect; }

    void bind();
    void unbind();

    // Whether new bindings use vertex array objects (when the context has
    // them); lets tests and odd drivers take the emulated path.
    static void setVertexArrayObjectsAllowed(bool allowed);

private:
    struct Attribute {
        bool enabled = false;
        int size = 4;
        unsigned int type = 0x1406; // float
        bool normalized = false;
        unsigned int stride = 0;
        const void* pointer = nullptr;
    };

    VertexAttributeBinding() = default;
    ~VertexAttributeBinding() override;

    static VertexAttributeBinding* create(Mesh* mesh, const VertexFormat& format, void* vertexPointer, Effect* effect);
    void setAttribute(int location, int size, unsigned int stride, const void* pointer);

    static unsigned int maxVertexAttributes();

    unsigned int m_vao = 0;
    std::unique_ptr<Attribute[]> m_attributes;
    unsigned int m_attributeCount = 0;
    Mesh* m_mesh = nullptr;
    Effect* m_effect = nullptr;
};

} // namespace engine

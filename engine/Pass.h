#pragma once

#include "RenderState.h"

#include <string>

namespace engine {

class Effect;
class Mesh;
class Technique;
class VertexAttributeBinding;

// One draw of a technique: an effect (shader program), its parameters and
// state, and the binding of a mesh's vertex format to the effect's attributes.
class Pass : public RenderState {
public:
    // Takes a reference to the effect. A pass without an effect draws nothing.
    static Pass* create(const char* id, Technique* technique, Effect* effect = nullptr);

    const char* getId() const { return m_id.c_str(); }
    Technique* getTechnique() const { return m_technique; }
    Effect* getEffect() const { return m_effect; }
    // Takes a reference; drops the vertex binding made for the previous one.
    void setEffect(Effect* effect);

    // Takes a reference.
    void setVertexAttributeBinding(VertexAttributeBinding* binding);
    // Makes (or keeps) a vertex binding of this pass's effect for the mesh.
    bool prepareFor(Mesh* mesh);

    // Binds the render state and the vertex binding for drawing.
    void bind();
    void unbind();

private:
    friend class Technique;
    Pass(const char* id, Technique* technique, Effect* effect);
    ~Pass() override;

    std::string m_id;
    Technique* m_technique;
    Effect* m_effect;
    VertexAttributeBinding* m_vertexAttributeBinding = nullptr;
};

} // namespace engine

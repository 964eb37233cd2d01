#pragma once

#include "BufferData.h"
#include "Ref.h"
#include "VertexFormat.h"
#include "math/BoundingBox.h"
#include "math/BoundingSphere.h"

#include <memory>
#include <string>
#include <vector>

namespace engine {

class MeshPart;

// Vertex data in one interleaved buffer plus index parts. Creating a mesh and
// filling it makes no OpenGL call: the data waits in memory until upload()
// (or the first draw) creates the buffers, so readers can run without a
// context.
class Mesh : public Ref {
public:
    enum PrimitiveType { POINTS = 0, LINES = 1, LINE_STRIP = 3, TRIANGLES = 4, TRIANGLE_STRIP = 5 };
    enum IndexFormat { INDEX8 = 0x1401, INDEX16 = 0x1403, INDEX32 = 0x1405 };

    // Null for an empty format or a size that does not fit in memory.
    static Mesh* createMesh(const VertexFormat& vertexFormat, unsigned int vertexCount, bool dynamic = false);
    // Position-only outline of the box's 12 edges in one 18-vertex line strip.
    static Mesh* createBoundingBox(const BoundingBox& box);

    static bool isPrimitiveType(unsigned int value);
    static bool isIndexFormat(unsigned int value);
    // Bytes per index; 0 for anything but the three index formats.
    static unsigned int indexSize(unsigned int indexFormat);

    const VertexFormat& getVertexFormat() const { return m_vertexFormat; }
    unsigned int getVertexCount() const { return m_vertexCount; }
    unsigned int getVertexSize() const { return m_vertexFormat.getVertexSize(); }
    bool isDynamic() const { return m_dynamic; }
    // Used when the mesh has no parts.
    PrimitiveType getPrimitiveType() const { return m_primitiveType; }
    void setPrimitiveType(PrimitiveType type) { m_primitiveType = type; }

    // vertexCount 0 means up to the end. False for a range outside the mesh
    // or null data.
    bool setVertexData(const void* data, unsigned int vertexStart = 0, unsigned int vertexCount = 0);
    // All vertices at once, without a copy: the mesh keeps 'data' (which
    // must hold getVertexCount() vertices) alive until upload, and copies it
    // only when a range is changed before. For data read from a file that
    // is uploaded anyway.
    bool setVertexData(std::shared_ptr<const unsigned char> data);
    // Null before any data was set and once a static mesh has been uploaded.
    const void* getVertexData() const { return m_data.get(); }

    // Null for an unknown primitive type or index format, or a size that does
    // not fit in memory.
    MeshPart* addPart(PrimitiveType primitiveType, IndexFormat indexFormat, unsigned int indexCount,
                      bool dynamic = false);
    unsigned int getPartCount() const { return static_cast<unsigned int>(m_parts.size()); }
    MeshPart* getPart(unsigned int index) const { return index < m_parts.size() ? m_parts[index] : nullptr; }

    const BoundingBox& getBoundingBox() const { return m_boundingBox; }
    void setBoundingBox(const BoundingBox& box) { m_boundingBox = box; }
    const BoundingSphere& getBoundingSphere() const { return m_boundingSphere; }
    void setBoundingSphere(const BoundingSphere& sphere) { m_boundingSphere = sphere; }

    // Creates the OpenGL buffers from the data in memory; needs a current
    // context. Static meshes then drop their memory copy. Idempotent.
    bool upload();
    bool isUploaded() const { return m_vertexBuffer != 0; }
    // 0 until uploaded.
    unsigned int getVertexBuffer() const { return m_vertexBuffer; }

private:
    Mesh(const VertexFormat& vertexFormat, unsigned int vertexCount, bool dynamic);
    ~Mesh() override;

    size_t byteSize() const { return size_t(m_vertexCount) * getVertexSize(); }

    VertexFormat m_vertexFormat;
    unsigned int m_vertexCount;
    bool m_dynamic;
    PrimitiveType m_primitiveType = TRIANGLES;
    BoundingBox m_boundingBox;
    BoundingSphere m_boundingSphere;
    std::vector<MeshPart*> m_parts;
    BufferData m_data;
    unsigned int m_vertexBuffer = 0;
};

} // namespace engine

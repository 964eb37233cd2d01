#pragma once

#include <memory>

namespace engine {

class Mesh;

// One index buffer of a mesh. Index data is kept in memory until the mesh
// uploads; indices that reach past the mesh's vertices make the part
// undrawable instead of letting the driver read outside the vertex buffer.
class MeshPart {
public:
    ~MeshPart();

    Mesh* getMesh() const { return m_mesh; }
    unsigned int getMeshIndex() const { return m_meshIndex; }
    unsigned int getPrimitiveType() const { return m_primitiveType; }
    unsigned int getIndexFormat() const { return m_indexFormat; }
    unsigned int getIndexCount() const { return m_indexCount; }
    unsigned int getIndexSize() const;
    unsigned int getIndexBuffer() const { return m_indexBuffer; }
    bool isDynamic() const { return m_dynamic; }

    // indexCount 0 means up to the end. False for a range outside the part,
    // null data, or (once uploaded) an index past the last vertex.
    bool setIndexData(const void* indexData, unsigned int indexStart = 0, unsigned int indexCount = 0);
    // Null once a static part has been uploaded.
    const void* getIndexData() const { return m_data.get(); }

    // False until uploaded, and for parts whose indices do not fit the mesh.
    bool isDrawable() const { return m_indexBuffer != 0 && m_indicesValid; }

private:
    friend class Mesh;
    MeshPart(Mesh* mesh, unsigned int meshIndex, unsigned int primitiveType, unsigned int indexFormat,
             unsigned int indexCount, bool dynamic);
    MeshPart(const MeshPart&) = delete;
    MeshPart& operator=(const MeshPart&) = delete;

    bool upload();
    bool indicesFit(const unsigned char* data, unsigned int count) const;

    Mesh* m_mesh;
    unsigned int m_meshIndex;
    unsigned int m_primitiveType;
    unsigned int m_indexFormat;
    unsigned int m_indexCount;
    bool m_dynamic;
    unsigned int m_indexBuffer = 0;
    bool m_indicesValid = true;
    std::unique_ptr<unsigned char[]> m_data;
};

} // namespace engine

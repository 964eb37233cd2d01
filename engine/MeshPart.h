#pragma once

#include "BufferData.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace engine {

class Mesh;

// Resolves a range of 'total' elements from 'start' where a count of 0 means
// up to the end; false when the range reaches outside.
inline bool resolveElementRange(unsigned int total, unsigned int start, unsigned int* count)
{
    if (start > total)
        return false;
    if (*count == 0)
        *count = total - start;
    return *count <= total - start;
}

// One index buffer of a mesh. Index data is kept in memory until the mesh
// uploads; indices that reach past the mesh's vertices make the part
// undrawable instead of letting the driver read outside the vertex buffer.
class MeshPart {
public:
    ~MeshPart();

    Mesh* getMesh() const { return m_mesh; }
    unsigned int getPrimitiveType() const { return m_primitiveType; }
    unsigned int getIndexFormat() const { return m_indexFormat; }
    unsigned int getIndexCount() const { return m_indexCount; }
    unsigned int getIndexSize() const;
    unsigned int getIndexBuffer() const { return m_indexBuffer; }
    bool isDynamic() const { return m_dynamic; }

    // indexCount 0 means up to the end. False for a range outside the part,
    // null data, or (once uploaded) an index past the last vertex.
    bool setIndexData(const void* indexData, unsigned int indexStart = 0, unsigned int indexCount = 0);
    // All indices at once, without a copy, as Mesh::setVertexData takes
    // shared vertices; they are checked against the mesh on upload.
    bool setIndexData(std::shared_ptr<const unsigned char> indexData);

    // False until uploaded, and for parts whose indices do not fit the mesh.
    bool isDrawable() const { return m_indexBuffer != 0 && m_indicesValid; }

    // The largest of 'count' indices of 'indexSize' bytes each; 0 for none.
    static uint32_t largestIndex(const void* data, unsigned int indexSize, size_t count);

private:
    friend class Mesh;

    // Resolves a range of 'total' elements from 'start' where a count of 0 means
    // up to the end; false when the range reaches outside.
    inline bool resolveElementRange(unsigned int total, unsigned int start, unsigned int* count)
    {
        if (start > total)
            return false;
        if (*count == 0)
            *count = total - start;
        return *count <= total - start;
    }
    MeshPart(Mesh* mesh, unsigned int primitiveType, unsigned int indexFormat, unsigned int indexCount, bool dynamic);
    MeshPart(const MeshPart&) = delete;
    MeshPart& operator=(const MeshPart&) = delete;

    bool upload();
    bool indicesFit(const unsigned char* data, unsigned int count) const;

    Mesh* m_mesh;
    unsigned int m_primitiveType;
    unsigned int m_indexFormat;
    unsigned int m_indexCount;
    bool m_dynamic;
    unsigned int m_indexBuffer = 0;
    bool m_indicesValid = true;
    BufferData m_data;
};

} // namespace engine

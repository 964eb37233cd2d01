#include "MeshPart.h"

#include "Mesh.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace engine {

namespace {

// A plain loop over values of one width, which the compiler vectorises.
template <typename Index>
uint32_t largestOf(const unsigned char* data, size_t count)
{
    uint32_t largest = 0;
    for (size_t i = 0; i < count; ++i) {
        Index value;
        std::memcpy(&value, data + i * sizeof(Index), sizeof(Index));
        largest = std::max(largest, uint32_t(value));
    }
    return largest;
}

} // namespace

MeshPart::MeshPart(Mesh* mesh, unsigned int primitiveType, unsigned int indexFormat, unsigned int indexCount,
                   bool dynamic)
    : m_mesh(mesh)
    , m_primitiveType(primitiveType)
    , m_indexFormat(indexFormat)
    , m_indexCount(indexCount)
    , m_dynamic(dynamic)
{
}

MeshPart::~MeshPart()
{
    if (m_indexBuffer)
        glDeleteBuffers(1, &m_indexBuffer);
}

unsigned int MeshPart::getIndexSize() const { return Mesh::indexSize(m_indexFormat); }

uint32_t MeshPart::largestIndex(const void* data, unsigned int indexSize, size_t count)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    switch (indexSize) {
    case 1:
        return largestOf<uint8_t>(bytes, count);
    case 2:
        return largestOf<uint16_t>(bytes, count);
    default:
        return largestOf<uint32_t>(bytes, count);
    }
}

bool MeshPart::indicesFit(const unsigned char* data, unsigned int count) const
{
    return count == 0 || largestIndex(data, getIndexSize(), count) < m_mesh->getVertexCount();
}

bool MeshPart::setIndexData(const void* indexData, unsigned int indexStart, unsigned int indexCount)
{
    if (!indexData || !resolveElementRange(m_indexCount, indexStart, &indexCount))
        return false;
    const size_t offset = size_t(indexStart) * getIndexSize();
    const size_t size = size_t(indexCount) * getIndexSize();
    if (m_indexBuffer) {
        if (!indicesFit(static_cast<const unsigned char*>(indexData), indexCount))
            return false;
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indexBuffer);
        glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, GLintptr(offset), GLsizeiptr(size), indexData);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        if (!m_dynamic)
            return true;
    }
    unsigned char* target
        = m_data.writable(size_t(m_indexCount) * getIndexSize(), size == size_t(m_indexCount) * getIndexSize());
    if (!target)
        return false;
    std::memcpy(target + offset, indexData, size);
    return true;
}

bool MeshPart::setIndexData(std::shared_ptr<const unsigned char> indexData)
{
    if (!indexData)
        return false;
    if (m_indexBuffer || m_dynamic)
        return setIndexData(indexData.get());
    m_data.share(std::move(indexData));
    return true;
}

bool MeshPart::upload()
{
    if (m_indexBuffer)
        return true;
    const size_t size = size_t(m_indexCount) * getIndexSize();
    if (size == 0)
        return false;
    // Indices never set are uploaded as zeros rather than left undefined.
    const unsigned char* indices = m_data.empty() ? m_data.writable(size, false) : m_data.get();
    if (!indices)
        return false;
    m_indicesValid = indicesFit(indices, m_indexCount);
    glGenBuffers(1, &m_indexBuffer);
    if (!m_indexBuffer)
        return false;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(size), indices, m_dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    if (!m_dynamic)
        m_data.reset();
    return true;
}

} // namespace engine

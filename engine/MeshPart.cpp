#include "MeshPart.h"

#include "Mesh.h"

#include <GL/glew.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace engine {

namespace {

uint32_t indexAt(const unsigned char* data, unsigned int size, unsigned int i)
{
    switch (size) {
    case 1:
        return data[i];
    case 2: {
        uint16_t value;
        std::memcpy(&value, data + size_t(i) * 2, 2);
        return value;
    }
    default: {
        uint32_t value;
        std::memcpy(&value, data + size_t(i) * 4, 4);
        return value;
    }
    }
}

} // namespace

MeshPart::MeshPart(Mesh* mesh, unsigned int meshIndex, unsigned int primitiveType, unsigned int indexFormat,
                   unsigned int indexCount, bool dynamic)
    : m_mesh(mesh)
    , m_meshIndex(meshIndex)
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

bool MeshPart::indicesFit(const unsigned char* data, unsigned int count) const
{
    const unsigned int size = getIndexSize();
    const uint32_t vertexCount = m_mesh->getVertexCount();
    for (unsigned int i = 0; i < count; ++i) {
        if (indexAt(data, size, i) >= vertexCount)
            return false;
    }
    return true;
}

bool MeshPart::setIndexData(const void* indexData, unsigned int indexStart, unsigned int indexCount)
{
    if (!indexData || indexStart > m_indexCount)
        return false;
    if (indexCount == 0)
        indexCount = m_indexCount - indexStart;
    if (indexCount > m_indexCount - indexStart)
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
    if (!m_data) {
        m_data.reset(new (std::nothrow) unsigned char[size_t(m_indexCount) * getIndexSize()]());
        if (!m_data)
            return false;
    }
    std::memcpy(m_data.get() + offset, indexData, size);
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
    if (!m_data)
        m_data.reset(new (std::nothrow) unsigned char[size]());
    if (!m_data)
        return false;
    m_indicesValid = indicesFit(m_data.get(), m_indexCount);
    glGenBuffers(1, &m_indexBuffer);
    if (!m_indexBuffer)
        return false;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(size), m_data.get(), m_dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    if (!m_dynamic)
        m_data.reset();
    return true;
}

} // namespace engine

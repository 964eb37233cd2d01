#include "Mesh.h"

#include "MeshPart.h"

#include <GL/glew.h>

#include <cstring>
#include <limits>
#include <utility>

namespace engine {

namespace {

// Keeps every byte count addressable by the unsigned sizes OpenGL takes.
bool fitsInBuffer(unsigned int count, unsigned int elementSize)
{
    return elementSize != 0 && count <= size_t(std::numeric_limits<int>::max()) / elementSize;
}

} // namespace

Mesh::Mesh(const VertexFormat& vertexFormat, unsigned int vertexCount, bool dynamic)
    : m_vertexFormat(vertexFormat)
    , m_vertexCount(vertexCount)
    , m_dynamic(dynamic)
{
}

Mesh::~Mesh()
{
    for (MeshPart* part : m_parts)
        delete part;
    if (m_vertexBuffer)
        glDeleteBuffers(1, &m_vertexBuffer);
}

Mesh* Mesh::createMesh(const VertexFormat& vertexFormat, unsigned int vertexCount, bool dynamic)
{
    if (!fitsInBuffer(vertexCount, vertexFormat.getVertexSize()))
        return nullptr;
    return new Mesh(vertexFormat, vertexCount, dynamic);
}

Mesh* Mesh::createBoundingBox(const BoundingBox& box)
{
    // Bottom loop, up to the top loop, then the three remaining uprights,
    // walking back along edges already drawn between them.
    const Vector3& a = box.min;
    const Vector3& b = box.max;
    const Vector3 bottom[4] = {{a.x, a.y, a.z}, {b.x, a.y, a.z}, {b.x, a.y, b.z}, {a.x, a.y, b.z}};
    const Vector3 top[4] = {{a.x, b.y, a.z}, {b.x, b.y, a.z}, {b.x, b.y, b.z}, {a.x, b.y, b.z}};
    const Vector3 path[18]
        = {bottom[0], bottom[1], bottom[2], bottom[3], bottom[0], top[0], top[1],    top[2],    top[3],
           top[0],    top[1],    bottom[1], bottom[2], top[2],    top[3], bottom[3], bottom[0], top[0]};
    float vertices[18 * 3];
    for (int i = 0; i < 18; ++i) {
        vertices[i * 3] = path[i].x;
        vertices[i * 3 + 1] = path[i].y;
        vertices[i * 3 + 2] = path[i].z;
    }
    const VertexFormat::Element position(VertexFormat::POSITION, 3);
    Mesh* mesh = createMesh(VertexFormat(&position, 1), 18);
    mesh->setPrimitiveType(LINE_STRIP);
    mesh->setVertexData(vertices);
    mesh->setBoundingBox(box);
    BoundingSphere sphere;
    sphere.set(box);
    mesh->setBoundingSphere(sphere);
    return mesh;
}

bool Mesh::isPrimitiveType(unsigned int value)
{
    return value == POINTS || value == LINES || value == LINE_STRIP || value == TRIANGLES || value == TRIANGLE_STRIP;
}

bool Mesh::isIndexFormat(unsigned int value) { return indexSize(value) != 0; }

unsigned int Mesh::indexSize(unsigned int indexFormat)
{
    switch (indexFormat) {
    case INDEX8:
        return 1;
    case INDEX16:
        return 2;
    case INDEX32:
        return 4;
    default:
        return 0;
    }
}

bool Mesh::setVertexData(const void* data, unsigned int vertexStart, unsigned int vertexCount)
{
    if (!data || !resolveElementRange(m_vertexCount, vertexStart, &vertexCount))
        return false;
    const size_t offset = size_t(vertexStart) * getVertexSize();
    const size_t size = size_t(vertexCount) * getVertexSize();
    if (m_vertexBuffer) {
        glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
        glBufferSubData(GL_ARRAY_BUFFER, GLintptr(offset), GLsizeiptr(size), data);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        if (!m_dynamic)
            return true;
    }
    unsigned char* target = m_data.writable(byteSize(), size == byteSize());
    if (!target)
        return false;
    std::memcpy(target + offset, data, size);
    return true;
}

bool Mesh::setVertexData(std::shared_ptr<const unsigned char> data)
{
    if (!data)
        return false;
    if (m_vertexBuffer || m_dynamic)
        return setVertexData(data.get());
    m_data.share(std::move(data));
    return true;
}

MeshPart* Mesh::addPart(PrimitiveType primitiveType, IndexFormat indexFormat, unsigned int indexCount, bool dynamic)
{
    if (!isPrimitiveType(primitiveType) || !isIndexFormat(indexFormat)
        || !fitsInBuffer(indexCount, indexSize(indexFormat)))
        return nullptr;
    MeshPart* part = new MeshPart(this, primitiveType, indexFormat, indexCount, dynamic);
    m_parts.push_back(part);
    if (m_vertexBuffer)
        part->upload();
    return part;
}

bool Mesh::upload()
{
    if (m_vertexBuffer)
        return true;
    if (!glGenBuffers || byteSize() == 0)
        return false;
    glGenBuffers(1, &m_vertexBuffer);
    if (!m_vertexBuffer)
        return false;
    glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(byteSize()), getVertexData(),
                 m_dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (!m_dynamic)
        m_data.reset();
    bool partsUploaded = true;
    for (MeshPart* part : m_parts)
        partsUploaded = part->upload() && partsUploaded;
    return partsUploaded;
}

} // namespace engine

#include "VertexAttributeBinding.h"

#include "Effect.h"
#include "Mesh.h"
#include "VertexFormat.h"

#include <GL/glew.h>

namespace engine {

namespace {

bool s_vertexArrayObjectsAllowed = true;

bool contextHasVertexArrayObjects()
{
    return s_vertexArrayObjectsAllowed && glGenVertexArrays && (GLEW_VERSION_3_0 || GLEW_ARB_vertex_array_object);
}

int attributeLocation(Effect* effect, VertexFormat::Usage usage)
{
    int location = effect->getVertexAttribute(VertexFormat::attributeName(usage));
    if (location < 0)
        location = effect->getVertexAttribute(VertexFormat::alternativeAttributeName(usage));
    return location;
}

} // namespace

void VertexAttributeBinding::setVertexArrayObjectsAllowed(bool allowed) { s_vertexArrayObjectsAllowed = allowed; }

unsigned int VertexAttributeBinding::maxVertexAttributes()
{
    static GLint count = 0;
    if (count <= 0)
        glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &count);
    return count > 0 ? unsigned(count) : 0u;
}

VertexAttributeBinding::~VertexAttributeBinding()
{
    if (m_vao)
        glDeleteVertexArrays(1, &m_vao);
    releaseRef(m_mesh);
    releaseRef(m_effect);
}

VertexAttributeBinding* VertexAttributeBinding::create(Mesh* mesh, Effect* effect)
{
    if (!mesh || !mesh->upload())
        return nullptr;
    return create(mesh, mesh->getVertexFormat(), nullptr, effect);
}

VertexAttributeBinding* VertexAttributeBinding::create(const VertexFormat& format, void* vertexPointer, Effect* effect)
{
    return create(nullptr, format, vertexPointer, effect);
}

VertexAttributeBinding* VertexAttributeBinding::create(Mesh* mesh, const VertexFormat& format, void* vertexPointer,
                                                       Effect* effect)
{
    const unsigned int attributeCount = maxVertexAttributes();
    if (!effect || attributeCount == 0)
        return nullptr;
    VertexAttributeBinding* binding = new VertexAttributeBinding();
    binding->m_attributeCount = attributeCount;
    if (mesh && contextHasVertexArrayObjects()) {
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        glGenVertexArrays(1, &binding->m_vao);
        glBindVertexArray(binding->m_vao);
        glBindBuffer(GL_ARRAY_BUFFER, mesh->getVertexBuffer());
    } else {
        binding->m_attributes.reset(new Attribute[attributeCount]);
    }
    const unsigned char* offset = static_cast<const unsigned char*>(vertexPointer);
    for (unsigned int i = 0; i < format.getElementCount(); ++i) {
        const VertexFormat::Element& element = format.getElement(i);
        const int location = attributeLocation(effect, element.usage);
        if (location >= 0)
            binding->setAttribute(location, int(element.size), format.getVertexSize(), offset);
        offset += element.size * sizeof(float);
    }
    if (binding->m_vao) {
        glBindVertexArray(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    binding->m_mesh = mesh;
    if (mesh)
        mesh->addRef();
    binding->m_effect = effect;
    effect->addRef();
    return binding;
}

void VertexAttributeBinding::setAttribute(int location, int size, unsigned int stride, const void* pointer)
{
    if (location < 0 || unsigned(location) >= m_attributeCount)
        return;
    if (m_vao) {
        glVertexAttribPointer(GLuint(location), size, GL_FLOAT, GL_FALSE, GLsizei(stride), pointer);
        glEnableVertexAttribArray(GLuint(location));
        return;
    }
    Attribute& attribute = m_attributes[location];
    attribute.enabled = true;
    attribute.size = size;
    attribute.stride = stride;
    attribute.pointer = pointer;
}

void VertexAttributeBinding::bind()
{
    if (m_vao) {
        glBindVertexArray(m_vao);
        return;
    }
    glBindBuffer(GL_ARRAY_BUFFER, m_mesh ? m_mesh->getVertexBuffer() : 0);
    for (unsigned int i = 0; i < m_attributeCount; ++i) {
        const Attribute& attribute = m_attributes[i];
        if (!attribute.enabled)
            continue;
        glVertexAttribPointer(i, attribute.size, attribute.type, attribute.normalized ? GL_TRUE : GL_FALSE,
                              GLsizei(attribute.stride), attribute.pointer);
        glEnableVertexAttribArray(i);
    }
}

void VertexAttributeBinding::unbind()
{
    if (m_vao) {
        glBindVertexArray(0);
        return;
    }
    for (unsigned int i = 0; i < m_attributeCount; ++i) {
        if (m_attributes[i].enabled)
            glDisableVertexAttribArray(i);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

} // namespace engine

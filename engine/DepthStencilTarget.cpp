#include "DepthStencilTarget.h"

#include "ObjectRegistry.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace engine {

namespace {

bool hasExtension(const char* name)
{
    // Core profiles have no single extension string; ask one by one there.
    if (const char* all = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)))
        return std::strstr(all, name) != nullptr;
    while (glGetError() != GL_NO_ERROR) { }
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const char* extension = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, GLuint(i)));
        if (extension && std::strcmp(extension, name) == 0)
            return true;
    }
    return false;
}

// Storage for the bound render buffer; false when the driver refuses it.
bool allocate(GLenum internalFormat, unsigned int width, unsigned int height)
{
    while (glGetError() != GL_NO_ERROR) { }
    glRenderbufferStorage(GL_RENDERBUFFER, internalFormat, GLsizei(width), GLsizei(height));
    return glGetError() == GL_NO_ERROR;
}

} // namespace

DepthStencilTarget::DepthStencilTarget(const char* id, Format format, unsigned int width, unsigned int height)
    : m_id(id ? id : "")
    , m_format(format)
    , m_width(width)
    , m_height(height)
{
    ObjectRegistry<DepthStencilTarget>::add(this);
}

DepthStencilTarget::~DepthStencilTarget()
{
    if (m_depthBuffer)
        glDeleteRenderbuffers(1, &m_depthBuffer);
    if (m_stencilBuffer)
        glDeleteRenderbuffers(1, &m_stencilBuffer);
    ObjectRegistry<DepthStencilTarget>::remove(this);
}

DepthStencilTarget* DepthStencilTarget::create(const char* id, Format format, unsigned int width, unsigned int height)
{
    if (!glGenRenderbuffers || width == 0 || height == 0)
        return nullptr;
    DepthStencilTarget* target = new DepthStencilTarget(id, format, width, height);
    target->allocateStorage();
    if (!target->m_depthBuffer) {
        target->release();
        return nullptr;
    }
    return target;
}

void DepthStencilTarget::allocateStorage()
{
    GLint previous = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &previous);
    glGenRenderbuffers(1, &m_depthBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, m_depthBuffer);
    if (allocate(GL_DEPTH24_STENCIL8, m_width, m_height)) {
        m_packed = true;
    } else if (hasExtension("GL_OES_packed_depth_stencil")) {
        m_packed = allocate(GL_DEPTH24_STENCIL8, m_width, m_height);
    }
    if (!m_packed) {
        const GLenum depthFormat = hasExtension("GL_OES_depth24") ? GL_DEPTH_COMPONENT24 : GL_DEPTH_COMPONENT16;
        if (!allocate(depthFormat, m_width, m_height)) {
            glDeleteRenderbuffers(1, &m_depthBuffer);
            m_depthBuffer = 0;
        } else if (m_format == DEPTH_STENCIL) {
            glGenRenderbuffers(1, &m_stencilBuffer);
            glBindRenderbuffer(GL_RENDERBUFFER, m_stencilBuffer);
            allocate(GL_STENCIL_INDEX8, m_width, m_height);
        }
    }
    glBindRenderbuffer(GL_RENDERBUFFER, GLuint(previous));
}

DepthStencilTarget* DepthStencilTarget::getDepthStencilTarget(const char* id)
{
    return ObjectRegistry<DepthStencilTarget>::find(id);
}

} // namespace engine

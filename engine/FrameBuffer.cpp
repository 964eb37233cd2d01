#include "FrameBuffer.h"

#include "DepthStencilTarget.h"
#include "ObjectRegistry.h"
#include "RenderTarget.h"
#include "Texture.h"

#include <GL/glew.h>

#include <algorithm>
#include <vector>

namespace engine {

FrameBuffer* FrameBuffer::s_defaultFrameBuffer = nullptr;
FrameBuffer* FrameBuffer::s_currentFrameBuffer = nullptr;

namespace {

// Nothing looks the default frame buffer up by id; it only has to be unique.
const char kDefaultId[] = "com.velmora.engine.DefaultFrameBuffer";

} // namespace

unsigned int FrameBuffer::maxColorAttachments()
{
    static GLint count = 0;
    if (count <= 0)
        glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS, &count);
    return count > 0 ? unsigned(count) : 1u;
}

void FrameBuffer::initialize()
{
    if (s_defaultFrameBuffer)
        return;
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    s_defaultFrameBuffer = new FrameBuffer(kDefaultId, GLuint(bound));
    s_currentFrameBuffer = s_defaultFrameBuffer;
}

void FrameBuffer::adoptBoundAsDefault()
{
    if (!s_defaultFrameBuffer)
        return;
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    s_defaultFrameBuffer->m_handle = GLuint(bound);
    s_currentFrameBuffer = s_defaultFrameBuffer;
}

void FrameBuffer::finalize()
{
    if (s_currentFrameBuffer == s_defaultFrameBuffer)
        s_currentFrameBuffer = nullptr;
    releaseRef(s_defaultFrameBuffer);
}

FrameBuffer::FrameBuffer(const char* id, unsigned int handle)
    : m_id(id ? id : "")
    , m_handle(handle)
    , m_renderTargets(maxColorAttachments(), nullptr)
{
    ObjectRegistry<FrameBuffer>::add(this);
}

FrameBuffer::~FrameBuffer()
{
    for (RenderTarget*& target : m_renderTargets)
        releaseRef(target);
    releaseRef(m_depthStencilTarget);
    if (s_currentFrameBuffer == this)
        s_currentFrameBuffer = s_defaultFrameBuffer;
    // The default one belongs to whoever made it (a widget).
    if (m_handle && this != s_defaultFrameBuffer)
        glDeleteFramebuffers(1, &m_handle);
    ObjectRegistry<FrameBuffer>::remove(this);
}

FrameBuffer* FrameBuffer::create(const char* id) { return create(id, 0, 0); }

FrameBuffer* FrameBuffer::create(const char* id, unsigned int width, unsigned int height)
{
    if (!glGenFramebuffers)
        return nullptr;
    RenderTarget* target = nullptr;
    if (width > 0 && height > 0) {
        target = RenderTarget::create(id, width, height);
        if (!target)
            return nullptr;
    }
    GLuint handle = 0;
    glGenFramebuffers(1, &handle);
    FrameBuffer* frameBuffer = new FrameBuffer(id, handle);
    if (target) {
        frameBuffer->setRenderTarget(target, 0);
        target->release();
    }
    return frameBuffer;
}

unsigned int FrameBuffer::getWidth() const { return m_renderTargets[0] ? m_renderTargets[0]->getWidth() : 0; }

unsigned int FrameBuffer::getHeight() const { return m_renderTargets[0] ? m_renderTargets[0]->getHeight() : 0; }

RenderTarget* FrameBuffer::getRenderTarget(unsigned int index) const
{
    return index < m_renderTargets.size() ? m_renderTargets[index] : nullptr;
}

template <typename Attach>
void FrameBuffer::whileBound(Attach attach)
{
    glBindFramebuffer(GL_FRAMEBUFFER, m_handle);
    attach();
    glBindFramebuffer(GL_FRAMEBUFFER, s_currentFrameBuffer ? s_currentFrameBuffer->m_handle : 0);
}

void FrameBuffer::setRenderTarget(RenderTarget* target, unsigned int index)
{
    if (index >= m_renderTargets.size() || isDefault() || m_renderTargets[index] == target)
        return;
    assignRef(m_renderTargets[index], target);
    whileBound([&] {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + index, GL_TEXTURE_2D,
                               target ? target->getTexture()->getHandle() : 0, 0);
        selectDrawBuffers();
    });
}

// Draws into every attached slot (the draw buffer list is frame buffer state).
void FrameBuffer::selectDrawBuffers()
{
    GLenum buffers[16];
    GLsizei count = 0;
    for (unsigned int i = 0; i < m_renderTargets.size() && count < 16; ++i) {
        if (m_renderTargets[i])
            buffers[count++] = GL_COLOR_ATTACHMENT0 + i;
    }
    if (count > 0)
        glDrawBuffers(count, buffers);
}

void FrameBuffer::setDepthStencilTarget(DepthStencilTarget* target)
{
    if (isDefault() || m_depthStencilTarget == target)
        return;
    assignRef(m_depthStencilTarget, target);
    whileBound([&] {
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                  target ? target->getDepthBuffer() : 0);
        const bool stencil = target && target->getFormat() == DepthStencilTarget::DEPTH_STENCIL;
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                  stencil ? target->getStencilBuffer() : 0);
    });
}

bool FrameBuffer::isComplete() const
{
    GLenum status = 0;
    const_cast<FrameBuffer*>(this)->whileBound([&] { status = glCheckFramebufferStatus(GL_FRAMEBUFFER); });
    return status == GL_FRAMEBUFFER_COMPLETE;
}

FrameBuffer* FrameBuffer::bind()
{
    FrameBuffer* previous = s_currentFrameBuffer;
    glBindFramebuffer(GL_FRAMEBUFFER, m_handle);
    s_currentFrameBuffer = this;
    return previous;
}

FrameBuffer* FrameBuffer::bindDefault()
{
    if (!s_defaultFrameBuffer) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        FrameBuffer* previous = s_currentFrameBuffer;
        s_currentFrameBuffer = nullptr;
        return previous;
    }
    return s_defaultFrameBuffer->bind();
}

} // namespace engine

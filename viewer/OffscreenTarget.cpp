#include "OffscreenTarget.h"

#include <GL/glew.h>

OffscreenTarget::OffscreenTarget(int width, int height)
    : m_width(width)
    , m_height(height)
{
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &m_previousFrameBuffer);
    glGetIntegerv(GL_VIEWPORT, m_previousViewport);
    glGenFramebuffers(1, &m_frameBuffer);
    glGenRenderbuffers(2, m_renderBuffers);
    glBindRenderbuffer(GL_RENDERBUFFER, m_renderBuffers[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, m_renderBuffers[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, m_frameBuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_renderBuffers[0]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, m_renderBuffers[1]);
    glViewport(0, 0, width, height);
}

OffscreenTarget::~OffscreenTarget()
{
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(m_previousFrameBuffer));
    glViewport(m_previousViewport[0], m_previousViewport[1], m_previousViewport[2], m_previousViewport[3]);
    glDeleteRenderbuffers(2, m_renderBuffers);
    glDeleteFramebuffers(1, &m_frameBuffer);
}

bool OffscreenTarget::isComplete() const { return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE; }

QImage OffscreenTarget::read() const
{
    QImage image(m_width, m_height, QImage::Format_ARGB32);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, m_width, m_height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, image.bits());
    return image.mirrored();
}

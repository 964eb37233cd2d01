#include "GlTestContext.h"

#include "EngineTestSupport.h"

#include <cstdint>
#include <cstdlib>

namespace enginetest {

bool GlTestContext::create()
{
    if (!makeGlContextCurrent())
        return false;
    glewExperimental = GL_TRUE;
    const GLenum result = glewInit();
    // Under EGL, GLEW reports a missing GLX display after it has loaded the entry points.
    return result == GLEW_OK || (result == GLEW_ERROR_NO_GLX_DISPLAY && glGenBuffers);
}

bool GlTestContext::bindTarget(int width, int height)
{
    glGenFramebuffers(1, &m_framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    glGenRenderbuffers(2, m_renderbuffers);
    glBindRenderbuffer(GL_RENDERBUFFER, m_renderbuffers[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_renderbuffers[0]);
    glBindRenderbuffer(GL_RENDERBUFFER, m_renderbuffers[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_renderbuffers[1]);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, m_renderbuffers[1]);
    glViewport(0, 0, width, height);
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void GlTestContext::releaseTarget()
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(2, m_renderbuffers);
    glDeleteFramebuffers(1, &m_framebuffer);
    m_framebuffer = 0;
}

void GlTestContext::clear(float r, float g, float b, float a)
{
    glClearColor(r, g, b, a);
    glDepthMask(GL_TRUE);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

Rgba GlTestContext::pixel(int x, int y)
{
    uint8_t value[4] = {0, 0, 0, 0};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, value);
    return {value[0], value[1], value[2], value[3]};
}

bool GlTestContext::near(const Rgba& a, const Rgba& b, int tolerance)
{
    for (size_t i = 0; i < 4; ++i) {
        if (std::abs(a[i] - b[i]) > tolerance)
            return false;
    }
    return true;
}

} // namespace enginetest

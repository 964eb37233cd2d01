// A real OpenGL context for engine tests, drawn into a frame buffer that the
// tests read back pixel by pixel.
#pragma once

// GLEW must come before any header that pulls in gl.h (Qt's included).
#include <GL/glew.h>

#include "GlContextHost.h"

#include <array>
#include <cstdint>
#include <cstdlib>

namespace enginetest {

using Rgba = std::array<int, 4>;

// Positions through u_worldViewProjectionMatrix, one flat colour u_color.
inline constexpr char kFlatVertexShader[]
    = "attribute vec3 a_position;\n"
      "uniform mat4 u_worldViewProjectionMatrix;\n"
      "void main() { gl_Position = u_worldViewProjectionMatrix * vec4(a_position, 1.0); }\n";
inline constexpr char kFlatFragmentShader[] = "uniform vec4 u_color;\n"
                                              "void main() { gl_FragColor = u_color; }\n";

class GlTestContext {
public:
    // True once a context is current and GLEW has its entry points.
    bool create()
    {
        if (!makeGlContextCurrent())
            return false;
        glewExperimental = GL_TRUE;
        const GLenum result = glewInit();
        // Under EGL, GLEW reports a missing GLX display after it has loaded the entry points.
        return result == GLEW_OK || (result == GLEW_ERROR_NO_GLX_DISPLAY && glGenBuffers);
    }

    // A colour and depth target of the given size, bound for drawing.
    bool bindTarget(int width, int height)
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

    void releaseTarget()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteRenderbuffers(2, m_renderbuffers);
        glDeleteFramebuffers(1, &m_framebuffer);
        m_framebuffer = 0;
    }

    static void clear(float r = 0, float g = 0, float b = 0, float a = 1)
    {
        glClearColor(r, g, b, a);
        glDepthMask(GL_TRUE);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    }

    static Rgba pixel(int x, int y)
    {
        uint8_t value[4] = {0, 0, 0, 0};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, value);
        return {value[0], value[1], value[2], value[3]};
    }

    // Within a couple of steps per channel (rasterisers round differently).
    static bool near(const Rgba& a, const Rgba& b, int tolerance = 3)
    {
        for (int i = 0; i < 4; ++i) {
            if (std::abs(a[size_t(i)] - b[size_t(i)]) > tolerance)
                return false;
        }
        return true;
    }

private:
    GLuint m_framebuffer = 0;
    GLuint m_renderbuffers[2] = {0, 0};
};

} // namespace enginetest

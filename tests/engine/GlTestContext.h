// A real OpenGL context for engine tests, drawn into a frame buffer that the
// tests read back pixel by pixel.
#pragma once

// GLEW must come before any header that pulls in gl.h (Qt's included).
#include <GL/glew.h>

#include <array>

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
    bool create();
    // A colour and depth target of the given size, bound for drawing.
    bool bindTarget(int width, int height);
    void releaseTarget();

    static void clear(float r = 0, float g = 0, float b = 0, float a = 1);
    static Rgba pixel(int x, int y);
    // Within a couple of steps per channel (rasterisers round differently).
    static bool near(const Rgba& a, const Rgba& b, int tolerance = 3);

private:
    GLuint m_framebuffer = 0;
    GLuint m_renderbuffers[2] = {0, 0};
};

} // namespace enginetest

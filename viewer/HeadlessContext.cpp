#include "HeadlessContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

namespace {

EGLDisplay surfacelessDisplay()
{
    const auto getPlatformDisplay
        = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay)
        return EGL_NO_DISPLAY;
    return getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

} // namespace

HeadlessContext::HeadlessContext()
{
    EGLDisplay display = surfacelessDisplay();
    EGLint major = 0;
    EGLint minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor))
        return;
    m_display = display;
    if (!eglBindAPI(EGL_OPENGL_API))
        return;
    // Surfaceless: no config is needed, the drawing goes to frame buffer objects.
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT)
        return;
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        eglDestroyContext(display, context);
        return;
    }
    m_context = context;
}

HeadlessContext::~HeadlessContext()
{
    if (!m_display)
        return;
    if (m_context) {
        eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(m_display, m_context);
    }
    eglTerminate(m_display);
}

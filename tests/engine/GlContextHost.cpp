#include "GlContextHost.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

namespace enginetest {

bool makeGlContextCurrent()
{
    static QOffscreenSurface* surface = nullptr;
    static QOpenGLContext* context = nullptr;
    if (!context) {
        QSurfaceFormat format;
        format.setRenderableType(QSurfaceFormat::OpenGL);
        format.setDepthBufferSize(24);
        format.setStencilBufferSize(8);
        surface = new QOffscreenSurface();
        surface->setFormat(format);
        surface->create();
        context = new QOpenGLContext();
        context->setFormat(format);
        if (!context->create())
            return false;
    }
    return context->makeCurrent(surface);
}

} // namespace enginetest

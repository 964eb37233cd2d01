#include "Platform_Qt.h"

#include "Game.h"

#include <QWidget>

#include <GL/glew.h>

namespace engine {

Platform_Qt::Platform_Qt(QWidget* widget, Game* game)
    : Platform(game)
    , m_widget(widget)
{
    Game::resetAbsoluteTime();
}

Platform_Qt::~Platform_Qt() = default;

unsigned int Platform_Qt::getDisplayWidth() const { return unsigned(qMax(0, m_widget->width())); }

unsigned int Platform_Qt::getDisplayHeight() const { return unsigned(qMax(0, m_widget->height())); }

Platform_Qt::ExtensionLoad Platform_Qt::initializeExtensions()
{
    // Core-profile and newer contexts report their entry points only when
    // GLEW is told to look them up regardless of the extension string.
    glewExperimental = GL_TRUE;
    const GLenum result = glewInit();
    if (result == GLEW_OK)
        return ExtensionLoad::Loaded;
#ifdef GLEW_ERROR_NO_GLX_DISPLAY
    // The context part of glewInit ran before the GLX part failed; the buffer
    // entry points every mesh needs tell whether it got that far.
    if (result == GLEW_ERROR_NO_GLX_DISPLAY && glGenBuffers && glBindBuffer && glGetString(GL_VERSION))
        return ExtensionLoad::LoadedWithoutGlx;
#endif
    return ExtensionLoad::Failed;
}

} // namespace engine

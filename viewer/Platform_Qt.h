#pragma once

class QWidget;

namespace engine {

// The engine's window on the Qt side: the display size comes from the
// widget, and the GL entry points are loaded here through GLEW. This is the
// only viewer file that includes GLEW next to a Qt header; it includes none
// of Qt's OpenGL headers, which refuse to share a translation unit with GLEW.
class Platform_Qt {
public:
    enum class ExtensionLoad {
        Loaded,
        // Under EGL, GLEW loads the GL entry points and then fails to find a
        // GLX display for the GLX extensions, which the engine never uses.
        LoadedWithoutGlx,
        Failed
    };

    explicit Platform_Qt(QWidget* widget);
    virtual ~Platform_Qt();

    virtual unsigned int getDisplayWidth() const;
    virtual unsigned int getDisplayHeight() const;

    // Needs a current context.
    static ExtensionLoad initializeExtensions();
    static bool isUsable(ExtensionLoad load) { return load != ExtensionLoad::Failed; }

private:
    QWidget* m_widget;
};

} // namespace engine

#pragma once

// What the scene viewer needs from the widget that shows it while it runs:
// its GL context, and the news of playing clips. The viewer's sources
// include GLEW through the engine and the widget's include Qt's OpenGL
// headers; the two never meet in one translation unit, so the viewer reaches
// the widget only through this interface. A viewer without a widget (the
// previews of a conversion) has no host.
class ViewerHost {
public:
    virtual ~ViewerHost() = default;

    virtual void makeViewerContextCurrent() = 0;
    virtual void viewerStartedAnimation(const char* clipId) = 0;
    virtual void viewerFinishedAnimation(const char* clipId, float milliseconds) = 0;
    virtual void viewerAdvancedAnimation(const char* clipId, float milliseconds) = 0;
};

#pragma once

#include <QString>

namespace engine {
class Scene;
}

// What the scene viewer needs from the widget that shows it. The viewer's
// sources include GLEW through the engine and the widget's include Qt's
// OpenGL headers; the two never meet in one translation unit, so the viewer
// reaches the widget only through this interface.
class ViewerHost {
public:
    virtual ~ViewerHost() = default;

    virtual void makeViewerContextCurrent() = 0;
    virtual void viewerLoadedScene(engine::Scene* scene, unsigned int vertexCount, unsigned int meshCount) = 0;
    // Called when there is no model to load or loading threw; the host adds
    // the encoder's error records.
    virtual void viewerFailedToLoad(const QString& message) = 0;
    virtual void viewerClearedAnimations() = 0;
    virtual void viewerFoundAnimation(const char* clipId) = 0;
    virtual void viewerStartedAnimation(const char* clipId) = 0;
    virtual void viewerFinishedAnimation(const char* clipId, float milliseconds) = 0;
    virtual void viewerAdvancedAnimation(const char* clipId, float milliseconds) = 0;
    // A usage event for whoever counts them (category, action, label).
    virtual void viewerUsedFeature(const QString& category, const QString& action, const QString& label) = 0;
};

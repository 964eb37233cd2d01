#pragma once

#include "ViewerHost.h"

// The host of a viewer without a window: nobody listens to its news, only a
// failed load is kept.
class ConsoleViewerHost : public ViewerHost {
public:
    QString failure;

    void makeViewerContextCurrent() override { }
    void viewerLoadedScene(engine::Scene*, unsigned int, unsigned int) override { }
    void viewerFailedToLoad(const QString& message) override { failure = message; }
    void viewerClearedAnimations() override { }
    void viewerFoundAnimation(const char*) override { }
    void viewerStartedAnimation(const char*) override { }
    void viewerFinishedAnimation(const char*, float) override { }
    void viewerAdvancedAnimation(const char*, float) override { }
    void viewerUsedFeature(const QString&, const QString&, const QString&) override { }
};

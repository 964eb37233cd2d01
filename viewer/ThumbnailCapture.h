#pragma once

#include "math/BoundingBox.h"
#include "math/BoundingSphere.h"

#include <QString>

namespace engine {
class Scene;
}

// The two preview images of a freshly loaded model, "topdown.png" and
// "perspective.png", drawn without the grid on opaque white and written into
// the model's ".meta" folder, so that they travel with every export.
class ThumbnailCapture {
public:
    static constexpr int kThumbnailSize = 300;

    struct View {
        bool perspective;
        float angle1, angle2, angle3; // degrees about X, Y, Z
    };
    static View topDown() { return {false, 90.0f, 0.0f, 0.0f}; }
    // The top view, unless the model is a sheet standing upright: from
    // above that shows only its edge, so it is seen square-on instead.
    static View overview(const engine::BoundingBox& modelBox);
    static View perspectiveView() { return {true, 30.0f, -30.0f, 15.0f}; }

    // Writes both images and names them in the info file. Needs a current
    // context. False when an image could not be drawn or saved.
    static bool captureThumbnails(engine::Scene* scene, const engine::BoundingBox& modelBox,
                                  const engine::BoundingSphere& modelSphere, const QString& metaFolder);

    // Deletes both images: a model loaded anew must not travel with the
    // previews of the one before.
    static void removeThumbnails(const QString& metaFolder);

    // Draws the scene, grid excluded, at twice the size into an off-screen
    // target, reduces it and saves it as PNG. The scene's camera, the bound
    // frame buffer and the viewport are as before afterwards.
    static bool capture(engine::Scene* scene, const engine::BoundingSphere& modelSphere, int width, int height,
                        const View& view, const QString& path);
};

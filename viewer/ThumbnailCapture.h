#pragma once

#include "ModelBounds.h"
#include "OrbitCamera.h"
#include "math/BoundingBox.h"

#include <QString>

#include <vector>

namespace engine {
class Scene;
}

// The two preview images of a freshly loaded model, "topdown.png" and
// "perspective.png", drawn without the grid on opaque white and written into
// the model's ".meta" folder, so that they travel with every export.
class ThumbnailCapture {
public:
    static constexpr int kThumbnailSize = 300;

    // Where a preview looks from, as the window's orbit camera would.
    struct View {
        bool perspective;
        float yaw, pitch; // degrees, as OrbitCamera::orbitRotation takes them
    };
    static View topDown() { return {false, 0.0f, 90.0f}; }
    // The top view, unless the model is a sheet standing upright: from
    // above that shows only its edge, so it is seen square-on instead.
    static View overview(const engine::BoundingBox& modelBox);
    // The window's first view of a model.
    static View perspectiveView() { return {true, OrbitCamera::kStartAngle, OrbitCamera::kStartAngle}; }

    // How a view frames a model: the camera's distance from the centre of
    // its box, the width of an orthographic view and the depth range, chosen
    // so that what the view sees of the model fills kFill of the image's
    // shorter side in every view and nothing is cut off. What it sees is
    // taken, per mesh, as the tighter of its box and its sphere; without
    // hulls, the model's box.
    struct Framing {
        float distance = 0.0f;
        float width = 0.0f; // orthographic views only
        float nearPlane = 0.0f, farPlane = 0.0f;
    };
    static constexpr float kFill = 0.9f;
    static Framing framing(const engine::BoundingBox& modelBox, const std::vector<ModelBounds::Hull>& hulls,
                           const View& view);

    // Writes both images, size x size, and names them in the info file. Needs
    // a current context. False when an image could not be drawn or saved.
    static bool captureThumbnails(engine::Scene* scene, const engine::BoundingBox& modelBox,
                                  const std::vector<ModelBounds::Hull>& hulls, const QString& metaFolder,
                                  int size = kThumbnailSize);

    // Deletes both images: a model loaded anew must not travel with the
    // previews of the one before.
    static void removeThumbnails(const QString& metaFolder);

    // Draws the scene, grid excluded, at twice the size into an off-screen
    // target, reduces it and saves it as PNG. The scene's camera, the bound
    // frame buffer and the viewport are as before afterwards.
    static bool capture(engine::Scene* scene, const engine::BoundingBox& modelBox,
                        const std::vector<ModelBounds::Hull>& hulls, int width, int height, const View& view,
                        const QString& path);
};

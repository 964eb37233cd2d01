#include "ThumbnailCapture.h"

#include "Camera.h"
#include "ModelInfoFile.h"
#include "Node.h"
#include "OffscreenTarget.h"
#include "Scene.h"
#include "SceneDrawer.h"
#include "StateBlock.h"
#include "math/MathUtil.h"
#include "math/Matrix.h"
#include "math/Quaternion.h"

#include <QDebug>
#include <QFile>
#include <QImage>

#include <GL/glew.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

namespace {

const int kSupersampling = 2;
// Larger images are drawn at their own size: twice 4096 would take a
// gigabyte of frame buffer and smooth nothing the eye sees at that size.
const int kLargestSupersampledEdge = 2048;
// A flat model still needs some depth between the planes.
const float kMinimumDepth = 1e-4f;

// A point relative to the model's centre, turned into the view's axes: x
// right, y up, z towards the camera.
struct ViewAxes {
    engine::Matrix toView;
    engine::Vector3 center;

    engine::Vector3 operator()(const engine::Vector3& point) const { return toView.transformVector(point - center); }
};

// How far from the view's axis a hull reaches in an orthographic view: the
// nearer of its corners and its sphere.
float reachAcross(const ModelBounds::Hull& hull, const ViewAxes& inView)
{
    float corners = 0.0f;
    for (const engine::Vector3& corner : hull.corners) {
        const engine::Vector3 p = inView(corner);
        corners = std::max({corners, std::fabs(p.x), std::fabs(p.y)});
    }
    if (hull.radius < 0.0f)
        return corners;
    const engine::Vector3 c = inView(hull.center);
    return std::min(corners, std::max(std::fabs(c.x), std::fabs(c.y)) + hull.radius);
}

// How far back from the centre a perspective camera must stand for the hull
// to lie inside the view narrowed to `slope`, the tangent of the half angle
// the model may fill.
float distanceToHold(const ModelBounds::Hull& hull, const ViewAxes& inView, float slope)
{
    // A corner nearer the camera needs more room than its distance from the
    // axis alone asks for.
    float corners = 0.0f;
    for (const engine::Vector3& corner : hull.corners) {
        const engine::Vector3 p = inView(corner);
        corners = std::max(corners, std::max(std::fabs(p.x), std::fabs(p.y)) / slope + p.z);
    }
    if (hull.radius < 0.0f)
        return corners;
    // A sphere touches a side of the view when its centre lies its radius
    // from that side's plane.
    const engine::Vector3 c = inView(hull.center);
    return std::min(corners,
                    std::max(std::fabs(c.x), std::fabs(c.y)) / slope + c.z
                        + hull.radius * std::sqrt(1.0f + slope * slope) / slope);
}

engine::Camera* createCamera(const ThumbnailCapture::Framing& framing, float aspectRatio, bool perspective)
{
    if (!perspective)
        return engine::Camera::createOrthographic(framing.width, framing.width, aspectRatio, framing.nearPlane,
                                                  framing.farPlane);
    return engine::Camera::createPerspective(OrbitCamera::kFieldOfView, aspectRatio, framing.nearPlane,
                                             framing.farPlane);
}

// The camera node's world transform: turned by the view's angles about the
// model's centre and backed off along its view axis, so the centre lies in
// the middle of the image wherever the model stands.
void placeCamera(engine::Node* node, const ThumbnailCapture::View& view, float distance, const engine::Vector3& center)
{
    const engine::Matrix m = engine::Matrix::createTranslation(center)
        * OrbitCamera::orbitRotation(view.yaw, view.pitch)
        * engine::Matrix::createTranslation(engine::Vector3(0.0f, 0.0f, distance));
    engine::Vector3 scale;
    engine::Quaternion rotation;
    engine::Vector3 translation;
    m.decompose(&scale, &rotation, &translation);
    node->set(engine::Vector3::one(), rotation, translation);
}

void clearToWhite()
{
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClearDepth(1.0);
    glClearStencil(0);
    engine::StateBlock::enableDepthWrite();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

} // namespace

ThumbnailCapture::Framing ThumbnailCapture::framing(const engine::BoundingBox& modelBox,
                                                    const std::vector<ModelBounds::Hull>& hulls, const View& view)
{
    Framing result;
    if (!(modelBox.max.x >= modelBox.min.x && modelBox.max.y >= modelBox.min.y && modelBox.max.z >= modelBox.min.z)) {
        // Nothing to frame: a small view of the origin.
        result = {1.0f, 1.0f, 0.1f, 10.0f};
        return result;
    }
    const ViewAxes inView {OrbitCamera::orbitRotation(view.yaw, view.pitch).transposed(), modelBox.getCenter()};
    const ModelBounds::Hull box = ModelBounds::hullOf(modelBox);
    const std::vector<ModelBounds::Hull>& seen = hulls.empty() ? std::vector<ModelBounds::Hull> {box} : hulls;
    float depth = kMinimumDepth;
    for (const engine::Vector3& corner : box.corners)
        depth = std::max(depth, std::fabs(inView(corner).z));
    // The planes keep a little room so that faces lying in them are drawn.
    const float reach = depth * 1.01f;
    if (!view.perspective) {
        float across = kMinimumDepth;
        for (const ModelBounds::Hull& hull : seen)
            across = std::max(across, reachAcross(hull, inView));
        // Outside the model, as a viewer would stand: a camera inside it
        // sees every surface from the back half of the time, which shading
        // and culling take for the far side.
        result.distance = 2.0f * reach;
        result.width = 2.0f * across / kFill;
    } else {
        const float slope = std::tan(engine::degreesToRadians(OrbitCamera::kFieldOfView * 0.5f)) * kFill;
        for (const ModelBounds::Hull& hull : seen)
            result.distance = std::max(result.distance, distanceToHold(hull, inView, slope));
        result.distance = std::max(result.distance, reach * 1.01f);
    }
    result.nearPlane = std::max(result.distance - reach, result.distance * 1e-3f);
    result.farPlane = result.distance + reach;
    return result;
}

bool ThumbnailCapture::capture(engine::Scene* scene, const engine::BoundingBox& modelBox,
                               const std::vector<ModelBounds::Hull>& hulls, int width, int height, const View& view,
                               const QString& path)
{
    if (!scene || width <= 0 || height <= 0)
        return false;
    const float aspectRatio = float(width) / float(height);
    const Framing framed = framing(modelBox, hulls, view);
    engine::Camera* camera = createCamera(framed, aspectRatio, view.perspective);
    engine::Node* cameraNode = engine::Node::create("CameraScreenshotNode");
    cameraNode->setCamera(camera);
    placeCamera(cameraNode, view, framed.distance, modelBox.getCenter());
    engine::Camera* previousCamera = scene->getActiveCamera();
    if (previousCamera)
        previousCamera->addRef();
    scene->setActiveCamera(camera);

    QImage image;
    {
        const int factor = std::max(width, height) <= kLargestSupersampledEdge ? kSupersampling : 1;
        OffscreenTarget target(width * factor, height * factor);
        if (target.isComplete()) {
            clearToWhite();
            SceneDrawer drawer;
            drawer.draw(scene, "grid");
            // A material with alpha below one leaves holes in the alpha
            // channel that the window never shows; the preview is opaque,
            // as the model looked on screen.
            image = target.read().convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32);
        }
    }
    scene->setActiveCamera(previousCamera);
    engine::releaseRef(previousCamera);
    cameraNode->release();
    camera->release();
    if (image.isNull())
        return false;

    // The image was drawn at twice the size; averaging it down smooths the
    // edges without relying on multisampled frame buffers.
    const QImage reduced = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!reduced.save(path, "PNG")) {
        qDebug() << "error on image save to file";
        return false;
    }
    return true;
}

ThumbnailCapture::View ThumbnailCapture::overview(const engine::BoundingBox& modelBox)
{
    const engine::Vector3 size = modelBox.max - modelBox.min;
    const float thin = 0.01f * std::max(size.x, std::max(size.y, size.z));
    if (size.x > thin && size.z > thin)
        return topDown();
    // Along the thin axis: from the front (+Z) or from the side (+X).
    return size.z <= size.x ? View {false, 0.0f, 0.0f} : View {false, -90.0f, 0.0f};
}

void ThumbnailCapture::removeThumbnails(const QString& metaFolder)
{
    for (const char* name : {"/topdown.png", "/perspective.png"})
        QFile::remove(metaFolder + QLatin1String(name));
}

bool ThumbnailCapture::captureThumbnails(engine::Scene* scene, const engine::BoundingBox& modelBox,
                                         const std::vector<ModelBounds::Hull>& hulls, const QString& metaFolder,
                                         int size)
{
    const bool topDownSaved
        = capture(scene, modelBox, hulls, size, size, overview(modelBox), metaFolder + "/topdown.png");
    const bool perspectiveSaved
        = capture(scene, modelBox, hulls, size, size, perspectiveView(), metaFolder + "/perspective.png");
    // Named only once they exist: an export must not promise a missing file.
    if (topDownSaved)
        ModelInfoFile::setInfoValue(metaFolder, "img_topdown", "./topdown.png");
    if (perspectiveSaved)
        ModelInfoFile::setInfoValue(metaFolder, "img_perspective", "./perspective.png");
    return topDownSaved && perspectiveSaved;
}

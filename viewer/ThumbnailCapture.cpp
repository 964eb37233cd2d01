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

const float kFieldOfView = 45.0f;
const int kSupersampling = 2;
// How far in front of and behind the model's centre the top view sees, in
// bounding radii.
const float kOrthographicReach = 1.1f;

// The camera and how far back from the model's centre it sits along its
// own view axis.
engine::Camera* createCamera(const engine::BoundingSphere& sphere, float aspectRatio, bool perspective, float* distance)
{
    const float r = sphere.radius;
    if (!perspective) {
        // Outside the model, as a viewer would stand: a camera inside it
        // sees every surface from the back half of the time, which shading
        // and culling take for the far side.
        *distance = 2.0f * kOrthographicReach * r;
        return engine::Camera::createOrthographic(2.1f * r, 2.1f * r, aspectRatio, *distance - kOrthographicReach * r,
                                                  *distance + kOrthographicReach * r);
    }
    const float halfAngle = engine::degreesToRadians(kFieldOfView * 0.5f);
    *distance = r / std::tan(halfAngle);
    if (r > FLT_EPSILON)
        return engine::Camera::createPerspective(kFieldOfView, aspectRatio, *distance - r, r + *distance);
    return engine::Camera::createPerspective(kFieldOfView, aspectRatio, 0.1f, 10.0f);
}

// The camera node's world transform: turned by the view's angles about the
// model's centre and backed off along its view axis, so the centre lies in
// the middle of the image wherever the model stands.
void placeCamera(engine::Node* node, const ThumbnailCapture::View& view, float distance, const engine::Vector3& center)
{
    const engine::Matrix m = engine::Matrix::createTranslation(center)
        * engine::Matrix::createRotationX(-engine::degreesToRadians(view.angle1))
        * engine::Matrix::createRotationY(-engine::degreesToRadians(view.angle2))
        * engine::Matrix::createRotationZ(engine::degreesToRadians(view.angle3))
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

bool ThumbnailCapture::capture(engine::Scene* scene, const engine::BoundingSphere& modelSphere, int width, int height,
                               const View& view, const QString& path)
{
    if (!scene || width <= 0 || height <= 0)
        return false;
    const float aspectRatio = float(width / height);
    float distance = 0.0f;
    engine::Camera* camera = createCamera(modelSphere, aspectRatio, view.perspective, &distance);
    engine::Node* cameraNode = engine::Node::create("CameraScreenshotNode");
    cameraNode->setCamera(camera);
    placeCamera(cameraNode, view, distance, modelSphere.center);
    engine::Camera* previousCamera = scene->getActiveCamera();
    if (previousCamera)
        previousCamera->addRef();
    scene->setActiveCamera(camera);

    QImage image;
    {
        OffscreenTarget target(width * kSupersampling, height * kSupersampling);
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
    return size.z <= size.x ? View {false, 0.0f, 0.0f, 0.0f} : View {false, 0.0f, -90.0f, 0.0f};
}

void ThumbnailCapture::removeThumbnails(const QString& metaFolder)
{
    for (const char* name : {"/topdown.png", "/perspective.png"})
        QFile::remove(metaFolder + QLatin1String(name));
}

bool ThumbnailCapture::captureThumbnails(engine::Scene* scene, const engine::BoundingBox& modelBox,
                                         const engine::BoundingSphere& modelSphere, const QString& metaFolder)
{
    const bool topDownSaved
        = capture(scene, modelSphere, kThumbnailSize, kThumbnailSize, overview(modelBox), metaFolder + "/topdown.png");
    const bool perspectiveSaved = capture(scene, modelSphere, kThumbnailSize, kThumbnailSize, perspectiveView(),
                                          metaFolder + "/perspective.png");
    // Named only once they exist: an export must not promise a missing file.
    if (topDownSaved)
        ModelInfoFile::setInfoValue(metaFolder, "img_topdown", "./topdown.png");
    if (perspectiveSaved)
        ModelInfoFile::setInfoValue(metaFolder, "img_perspective", "./perspective.png");
    return topDownSaved && perspectiveSaved;
}

#include "ThumbnailCapture.h"

#include "Camera.h"
#include "ModelInfoFile.h"
#include "Node.h"
#include "Scene.h"
#include "SceneDrawer.h"
#include "StateBlock.h"
#include "math/MathUtil.h"
#include "math/Matrix.h"
#include "math/Quaternion.h"

#include <QDebug>
#include <QImage>

#include <GL/glew.h>

#include <cfloat>
#include <cmath>
#include <vector>

namespace {

const float fieldOfView = 45.0f;
const int supersampling = 2;

// A colour and depth-stencil target of its own; binds itself for its
// lifetime and puts back the frame buffer and viewport it found.
class OffscreenTarget {
public:
    OffscreenTarget(int width, int height)
        : m_width(width)
        , m_height(height)
    {
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &m_previousFrameBuffer);
        glGetIntegerv(GL_VIEWPORT, m_previousViewport);
        glGenFramebuffers(1, &m_frameBuffer);
        glGenRenderbuffers(2, m_renderBuffers);
        glBindRenderbuffer(GL_RENDERBUFFER, m_renderBuffers[0]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, m_renderBuffers[1]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
        glBindFramebuffer(GL_FRAMEBUFFER, m_frameBuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_renderBuffers[0]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, m_renderBuffers[1]);
        glViewport(0, 0, width, height);
    }

    ~OffscreenTarget()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, GLuint(m_previousFrameBuffer));
        glViewport(m_previousViewport[0], m_previousViewport[1], m_previousViewport[2], m_previousViewport[3]);
        glDeleteRenderbuffers(2, m_renderBuffers);
        glDeleteFramebuffers(1, &m_frameBuffer);
    }

    OffscreenTarget(const OffscreenTarget&) = delete;
    OffscreenTarget& operator=(const OffscreenTarget&) = delete;

    bool isComplete() const { return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE; }

    QImage read() const
    {
        QImage image(m_width, m_height, QImage::Format_ARGB32);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, m_width, m_height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, image.bits());
        return image.mirrored();
    }

private:
    int m_width;
    int m_height;
    GLint m_previousFrameBuffer = 0;
    GLint m_previousViewport[4] = {0, 0, 0, 0};
    GLuint m_frameBuffer = 0;
    GLuint m_renderBuffers[2] = {0, 0};
};

engine::Camera* createCamera(const engine::BoundingSphere& sphere, float aspectRatio, bool perspective,
                             engine::Vector3* offset)
{
    const float r = sphere.radius;
    if (!perspective) {
        *offset = sphere.center;
        return engine::Camera::createOrthographic(2.1f * r, 2.1f * r, aspectRatio, -1.1f * r, 1.1f * r);
    }
    const float halfAngle = engine::degreesToRadians(fieldOfView * 0.5f);
    *offset = engine::Vector3(0.0f, 0.0f, r / std::tan(halfAngle));
    if (r > FLT_EPSILON) {
        const float d = r / std::tan(halfAngle);
        return engine::Camera::createPerspective(fieldOfView, aspectRatio, d - r, r + d);
    }
    return engine::Camera::createPerspective(fieldOfView, aspectRatio, 0.1f, 10.0f);
}

void placeCamera(engine::Node* node, const ThumbnailCapture::View& view, const engine::Vector3& offset,
                 const engine::Vector3& center)
{
    const engine::Matrix m = engine::Matrix::createRotationX(-engine::degreesToRadians(view.angle1))
        * engine::Matrix::createRotationY(-engine::degreesToRadians(view.angle2))
        * engine::Matrix::createRotationZ(engine::degreesToRadians(view.angle3))
        * engine::Matrix::createTranslation(offset) * engine::Matrix::createTranslation(-center);
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
    engine::Vector3 offset;
    engine::Camera* camera = createCamera(modelSphere, aspectRatio, view.perspective, &offset);
    engine::Node* cameraNode = engine::Node::create("CameraScreenshotNode");
    cameraNode->setCamera(camera);
    placeCamera(cameraNode, view, offset, modelSphere.center);
    engine::Camera* previousCamera = scene->getActiveCamera();
    if (previousCamera)
        previousCamera->addRef();
    scene->setActiveCamera(camera);

    QImage image;
    {
        OffscreenTarget target(width * supersampling, height * supersampling);
        if (target.isComplete()) {
            clearToWhite();
            SceneDrawer drawer;
            drawer.draw(scene, "grid");
            image = target.read();
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

bool ThumbnailCapture::captureThumbnails(engine::Scene* scene, const engine::BoundingSphere& modelSphere,
                                         const QString& metaFolder)
{
    const bool topDownSaved
        = capture(scene, modelSphere, thumbnailSize, thumbnailSize, topDown(), metaFolder + "/topdown.png");
    const bool perspectiveSaved
        = capture(scene, modelSphere, thumbnailSize, thumbnailSize, perspectiveView(), metaFolder + "/perspective.png");
    // Named only once they exist: an export must not promise a missing file.
    if (topDownSaved)
        ModelInfoFile::setInfoValue(metaFolder, "img_topdown", "./topdown.png");
    if (perspectiveSaved)
        ModelInfoFile::setInfoValue(metaFolder, "img_perspective", "./perspective.png");
    return topDownSaved && perspectiveSaved;
}

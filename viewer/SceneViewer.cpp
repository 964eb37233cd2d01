#include "SceneViewer.h"

#include "Camera.h"
#include "FileSystem.h"
#include "ModelInfoFile.h"
#include "Node.h"
#include "Scene.h"
#include "SelectionBox.h"
#include "ViewerHost.h"
#include "WorkspaceService.h"
#include "math/Quaternion.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <GL/glew.h>

namespace {

const char* const cameraNodeId = "CameraNode";
const char* const selectionNodeId = "SelectionNode";
const char* const rootNodeId = "RootSceneNode";

QString tr(const char* text) { return QCoreApplication::translate("SceneViewer", text); }

void setEngineResourcePath(const QString& folder)
{
    const QByteArray path = (folder + QLatin1Char('/')).toLocal8Bit();
    engine::FileSystem::setResourcePath(path.constData());
}

} // namespace

SceneViewer::SceneViewer(ViewerHost* host)
    : m_host(host)
    , m_clearColor(0.2f, 0.2f, 0.22f, 1.0f)
{
}

SceneViewer::~SceneViewer()
{
    releaseRootNode();
    engine::releaseRef(m_selectionNode);
    engine::releaseRef(m_cameraNode);
    engine::releaseRef(m_camera);
    engine::releaseRef(m_scene);
}

void SceneViewer::run(unsigned int width, unsigned int height)
{
    m_width = width;
    m_height = height;
    setViewport(int(width), int(height));
    m_running = true;
}

void SceneViewer::frame()
{
    if (!m_running)
        return;
    if (!m_initialized) {
        initialize();
        m_initialized = true;
    }
    update(0.0f);
    render(0.0f);
}

void SceneViewer::initialize()
{
    const WorkspaceService& workspace = WorkspaceService::instanceOrDefault();
    setEngineResourcePath(workspace.applicationParentFolder());
    setEngineResourcePath(workspace.modelFolder());
    m_scene = engine::Scene::create();
    m_orbit.distance = OrbitCamera::startDistance;
    createCameraRig();
    createSelectionBox();
}

void SceneViewer::createCameraRig()
{
    m_orbit.yaw = OrbitCamera::startAngle;
    m_orbit.pitch = OrbitCamera::startAngle;
    const float aspect = m_height ? float(m_width) / float(m_height) : 1.0f;
    m_camera = engine::Camera::createPerspective(OrbitCamera::fieldOfView, aspect, OrbitCamera::nearPlane,
                                                 OrbitCamera::initialFarPlane(m_orbit.distance));
    m_cameraNode = engine::Node::create(cameraNodeId);
    m_cameraNode->setCamera(m_camera);
    m_scene->addNode(m_cameraNode);
    m_scene->setActiveCamera(m_camera);
    applyCameraTransform();
    resize(int(m_width), int(m_height));
}

void SceneViewer::createSelectionBox()
{
    // The wire box gets its drawable once the engine can draw line meshes;
    // its placement already follows the selection.
    m_selectionNode = engine::Node::create(selectionNodeId);
    m_selectionNode->setScale(0.0f);
    m_scene->addNode(m_selectionNode);
}

void SceneViewer::applyCameraTransform()
{
    if (!m_camera)
        return;
    engine::Vector3 scale;
    engine::Quaternion rotation;
    engine::Vector3 translation;
    m_orbit.transform().decompose(&scale, &rotation, &translation);
    m_cameraNode->set(engine::Vector3::one(), rotation, translation);
}

void SceneViewer::setViewport(int width, int height) { glViewport(0, 0, width, height); }

void SceneViewer::update(float elapsedTime) { Q_UNUSED(elapsedTime); }

void SceneViewer::render(float elapsedTime)
{
    Q_UNUSED(elapsedTime);
    glClearColor(m_clearColor.x, m_clearColor.y, m_clearColor.z, m_clearColor.w);
    glClearDepth(1.0);
    glClearStencil(0);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    m_sceneDrawer.draw(m_scene);
}

void SceneViewer::keyEvent(KeyEvent evt, int key)
{
    if (evt == KeyPress)
        m_orbit.keyPressed(key);
    else
        m_orbit.keyReleased();
}

void SceneViewer::touchEvent(TouchEvent evt, int x, int y, unsigned int contactIndex)
{
    Q_UNUSED(contactIndex);
    switch (evt) {
    case TouchPress:
        m_orbit.press(x, y);
        break;
    case TouchRelease:
        m_orbit.release();
        break;
    case TouchMove:
        if (m_camera && m_orbit.move(x, y) != OrbitCamera::Drag::None)
            applyCameraTransform();
        break;
    }
}

bool SceneViewer::canLoadModels()
{
    // The engine's bundle reader and mesh drawing are not part of this build
    // yet; until they are, a converted model is exported but not shown.
    return false;
}

bool SceneViewer::hasConvertedModel()
{
    const WorkspaceService& workspace = WorkspaceService::instanceOrDefault();
    return QFileInfo(workspace.modelFile()).isFile()
        || !WorkspaceService::findSceneFile(workspace.modelFolder()).isEmpty();
}

QString SceneViewer::missingModelMessage() { return tr("Scene import error: The converted model is missing."); }

bool SceneViewer::writeEmptyInfoFile()
{
    return ModelInfoFile::writeBoundingBox(WorkspaceService::instanceOrDefault().metaFolder(), engine::BoundingBox());
}

const EncoderOutputLogs* SceneViewer::loadModel(const QString& modelPath, const QString& version, int format)
{
    Q_UNUSED(version);
    Q_UNUSED(format);
    releaseRootNode();
    m_validationRecords.clear();
    m_host->makeViewerContextCurrent();
    m_modelPath = modelPath;
    m_modelBox = engine::BoundingBox();
    m_modelSphere = engine::BoundingSphere();
    writeEmptyInfoFile();
    if (!hasConvertedModel()) {
        // The encoder failed or wrote nothing; showing an empty scene would
        // pass that off as a model that loaded.
        m_host->viewerFailedToLoad(missingModelMessage());
        return &m_validationRecords;
    }
    if (!canLoadModels()) {
        appendRecord(tr("The 3d model is not shown"),
                     tr("This build cannot draw 3d models yet. The converted model can still be exported."));
    }
    return &m_validationRecords;
}

void SceneViewer::appendRecord(const QString& title, const QString& message)
{
    EncoderOutputLog record;
    record.priority = LoggingPriorities::Warning;
    record.code = 0;
    record.title = title;
    record.message = message;
    m_validationRecords.append(record);
}

void SceneViewer::releaseRootNode()
{
    if (!m_rootNode)
        return;
    if (m_scene)
        m_scene->removeNode(m_rootNode);
    engine::releaseRef(m_rootNode);
}

void SceneViewer::clearScene()
{
    if (!m_scene)
        return;
    if (engine::Node* root = m_scene->findNode(rootNodeId))
        m_scene->removeNode(root);
    setSelectedObject(nullptr);
    resetCamera();
}

void SceneViewer::resetCamera()
{
    m_orbit.reset();
    applyCameraTransform();
}

void SceneViewer::zoom(int wheelDelta)
{
    m_orbit.zoom(wheelDelta);
    applyCameraTransform();
}

void SceneViewer::resize(int width, int height)
{
    if (!m_camera || width <= 0 || height <= 0)
        return;
    m_width = unsigned(width);
    m_height = unsigned(height);
    m_camera->setAspectRatio(float(width) / float(height));
    setViewport(width, height);
}

void SceneViewer::setClearColor(int red, int green, int blue)
{
    m_clearColor = engine::Vector4(float(red) / 255.0f, float(green) / 255.0f, float(blue) / 255.0f, 1.0f);
}

void SceneViewer::setSelectedObject(engine::Node* node)
{
    if (!m_selectionNode)
        return;
    const SelectionBox box = SelectionBox::placementFor(node);
    switch (box.action) {
    case SelectionBox::Action::Hide:
        m_selectionNode->setScale(0.0f);
        break;
    case SelectionBox::Action::Place:
        m_selectionNode->setScale(box.scale);
        m_selectionNode->setTranslation(box.translation);
        break;
    case SelectionBox::Action::Keep:
        break;
    }
}

// The clip table fills once models load; until then no identifier is known
// and, as for any unknown identifier, nothing happens.
bool SceneViewer::playAnimation(const std::string& clipId)
{
    Q_UNUSED(clipId);
    return true;
}

bool SceneViewer::pauseAnimation(const std::string& clipId)
{
    Q_UNUSED(clipId);
    return true;
}

bool SceneViewer::stopAnimation(const std::string& clipId)
{
    Q_UNUSED(clipId);
    return true;
}

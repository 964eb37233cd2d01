#include "SceneViewer.h"

#include "Animation.h"
#include "AnimationController.h"
#include "Camera.h"
#include "FileSystem.h"
#include "Grid.h"
#include "Model.h"
#include "ModelBounds.h"
#include "ModelInfoFile.h"
#include "ModelLoader.h"
#include "Node.h"
#include "Scene.h"
#include "SelectionBox.h"
#include "ThumbnailCapture.h"
#include "ViewerHost.h"
#include "math/Quaternion.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

const char* const kCameraNodeId = "CameraNode";
const char* const kSelectionNodeId = "SelectionNode";
const char* const kRootNodeId = "RootSceneNode";
const char* const kGridNodeId = "grid";
const char* const kAxesNodeId = "axes";
const int kGridLineCount = 41;
// The cameras fit a sphere into their field of view by the tangent of half
// its angle, which leaves the sphere's rim a little outside; this much
// larger, the box inside it is seen whole from every side (1 / cos 22.5°
// is 1.083).
const float kFramingMargin = 1.1f;

QString tr(const char* text) { return QCoreApplication::translate("SceneViewer", text); }

// Depth first from the root: every animation of a node's channels under its
// own name (its whole length), then its named clips; a name met again
// replaces the earlier entry.
void addClipsOf(engine::Node* node, std::map<std::string, engine::AnimationClip*>& clips)
{
    std::vector<engine::Animation*> animations;
    node->collectAnimations(animations);
    for (engine::Animation* animation : animations) {
        clips[animation->id()] = animation->findClip();
        for (unsigned int i = 0; i < animation->clipCount(); ++i) {
            engine::AnimationClip* clip = animation->clipAt(i);
            clips[clip->id()] = clip;
        }
    }
    for (engine::Node* child = node->getFirstChild(); child; child = child->getNextSibling())
        addClipsOf(child, clips);
}

} // namespace

SceneViewer::SceneViewer(ViewerHost* host)
    : m_host(host)
    , m_clearColor(0.2f, 0.2f, 0.22f, 1.0f)
{
}

SceneViewer::~SceneViewer()
{
    // Running clips are released without end events before the scene goes.
    if (engine::AnimationController* controller = getAnimationController())
        controller->stop();
    releaseRootNode();
    engine::releaseRef(m_selectionNode);
    engine::releaseRef(m_cameraNode);
    engine::releaseRef(m_camera);
    engine::releaseRef(m_scene);
    // The scene's materials go before the render state system does.
    shutdown();
}

void SceneViewer::initialize()
{
    // Shaders of a model folder may be links to the program's own.
    engine::FileSystem::setSharedFolder(
        QFile::encodeName(m_folders.applicationParentFolder + QStringLiteral("/res")).constData());
    m_scene = engine::Scene::create();
    m_orbit.distance = OrbitCamera::kStartDistance;
    createCameraRig();
    createGrid(m_folders.applicationParentFolder + QStringLiteral("/res"));
    createSelectionBox();
}

void SceneViewer::createGrid(const QString& resFolder)
{
    engine::Node* grid = engine::Node::create(kGridNodeId);
    if (engine::Model* lines = Grid::createGridModel(kGridLineCount, resFolder)) {
        grid->setDrawable(lines);
        lines->release();
    }
    engine::Node* axes = engine::Node::create(kAxesNodeId);
    grid->addChild(axes);
    axes->release();
    m_scene->addNode(grid);
    grid->release();
}

void SceneViewer::createCameraRig()
{
    m_orbit.yaw = OrbitCamera::kStartAngle;
    m_orbit.pitch = OrbitCamera::kStartAngle;
    const float aspect = getHeight() ? float(getWidth()) / float(getHeight()) : 1.0f;
    m_camera = engine::Camera::createPerspective(OrbitCamera::kFieldOfView, aspect, OrbitCamera::kNearPlane,
                                                 OrbitCamera::initialFarPlane(m_orbit.distance));
    m_cameraNode = engine::Node::create(kCameraNodeId);
    m_cameraNode->setCamera(m_camera);
    m_scene->addNode(m_cameraNode);
    m_scene->setActiveCamera(m_camera);
    applyCameraTransform();
    resize(int(getWidth()), int(getHeight()));
}

void SceneViewer::createSelectionBox()
{
    m_selectionNode = engine::Node::create(kSelectionNodeId);
    if (engine::Model* box = SelectionBox::createModel()) {
        m_selectionNode->setDrawable(box);
        box->release();
    }
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

void SceneViewer::update(float elapsedTime)
{
    Q_UNUSED(elapsedTime);
    if (!isAnyClipPlaying())
        return;
    // A skinned mesh changes its bounds as it moves.
    placeSelectionBox();
    if (!m_host)
        return;
    for (const auto& entry : m_clips) {
        if (entry.second->isPlaying())
            m_host->viewerAdvancedAnimation(entry.first.c_str(), entry.second->elapsedTime());
    }
}

void SceneViewer::render(float elapsedTime)
{
    Q_UNUSED(elapsedTime);
    if (m_firstFrameDrawn)
        captureRequestedThumbnails();
    clear(CLEAR_COLOR_DEPTH_STENCIL, m_clearColor, 1.0f, 0);
    m_sceneDrawer.draw(m_scene);
    m_firstFrameDrawn = true;
}

bool SceneViewer::drawFrame()
{
    if (isAnyClipPlaying())
        resume();
    frame();
    const bool playing = isAnyClipPlaying();
    if (!playing)
        pause();
    return playing || m_thumbnailRequested;
}

bool SceneViewer::isAnyClipPlaying() const
{
    for (const auto& entry : m_clips) {
        if (entry.second->isPlaying())
            return true;
    }
    return false;
}

bool SceneViewer::captureRequestedThumbnails(int size)
{
    if (!m_thumbnailRequested)
        return false;
    m_thumbnailRequested = false;
    return ThumbnailCapture::captureThumbnails(m_scene, m_modelBox, m_bounds.hullsOfSubtree(m_rootNode),
                                               m_folders.metaFolder, size);
}

void SceneViewer::keyEvent(int evt, int key)
{
    if (evt == KeyPress)
        m_orbit.keyPressed(key);
    else
        m_orbit.keyReleased();
}

void SceneViewer::touchEvent(int evt, int x, int y, unsigned int contactIndex)
{
    Q_UNUSED(contactIndex);
    switch (evt) {
    case TouchPress:
        m_orbit.press(x, y, m_dollyPress);
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

bool SceneViewer::hasConvertedModel(const QString& modelFolder)
{
    if (QFileInfo(modelFolder + QStringLiteral("/model.gpb")).isFile())
        return true;
    // Older containers hold a ".scene" file instead.
    const QStringList names
        = QDir(modelFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System, QDir::Unsorted);
    return std::any_of(names.cbegin(), names.cend(),
                       [](const QString& name) { return name.contains(QLatin1String(".scene")); });
}

QString SceneViewer::missingModelMessage() { return tr("Scene import error: The converted model is missing."); }

bool SceneViewer::writeEmptyInfoFile(const QString& metaFolder)
{
    return ModelInfoFile::writeBoundingBox(metaFolder, engine::BoundingBox());
}

LoadResult SceneViewer::loadModel()
{
    LoadResult result;
    const bool keepCamera = std::exchange(m_keepCamera, false);
    makeContextCurrent();
    writeEmptyInfoFile(m_folders.metaFolder);
    ThumbnailCapture::removeThumbnails(m_folders.metaFolder);
    if (!hasConvertedModel(m_folders.modelFolder)) {
        // The encoder failed or wrote nothing; showing an empty scene would
        // pass that off as a model that loaded.
        result.failure = missingModelMessage();
        return result;
    }
    // The model on screen stays until the new one has loaded: a save that
    // cannot be read must not leave the viewport empty.
    engine::Node* root = nullptr;
    try {
        root = loadRootNode(result.records);
        if (root) {
            replaceRootNode(root, keepCamera, result);
        } else {
            result.outcome = LoadResult::Outcome::Refused;
            appendRecord(result.records, tr("The 3d model is empty"), tr("The 3d model has no root node."));
        }
    } catch (const std::exception& error) {
        dropFailedRootNode(root);
        result = LoadResult();
        result.failure = tr("Scene import error: ") + QString::fromLocal8Bit(error.what());
    } catch (...) {
        dropFailedRootNode(root);
        result = LoadResult();
        result.failure = tr("Scene import error: The convertion of the fbx terminated unexpectedly.");
    }
    return result;
}

void SceneViewer::makeContextCurrent()
{
    if (m_host)
        m_host->makeViewerContextCurrent();
}

engine::Node* SceneViewer::loadRootNode(EncoderOutputLogs& records)
{
    // The model folder, or its "model.scene" when there is one, becomes one
    // root node; the scene's ambient colour comes with it.
    const QString folder = QDir(m_folders.modelFolder).absolutePath() + QLatin1Char('/');
    engine::BundleProblems problems;
    engine::Node* root
        = engine::loadModelRoot(QFile::encodeName(folder).constData(), kRootNodeId, &m_ambientColor, &problems);
    // What the engine left out of a damaged model is shown, not passed over.
    for (const engine::BundleProblem& problem : problems) {
        appendRecord(records, tr("Part of the 3d model was left out"),
                     QStringLiteral("%1 %2: %3")
                         .arg(QLatin1String(engine::BundleProblem::kindName(problem.kind)),
                              QString::fromStdString(problem.id), QString::fromStdString(problem.reason)));
    }
    return root;
}

void SceneViewer::replaceRootNode(engine::Node* root, bool keepCamera, LoadResult& result)
{
    releaseRootNode();
    m_rootNode = root;
    m_scene->addNode(root);
    m_scene->setAmbientColor(m_ambientColor);
    measureModel();
    ModelInfoFile::writeBoundingBox(m_folders.metaFolder, m_modelBox);
    result.outcome = LoadResult::Outcome::Shown;
    result.scene = m_scene;
    result.vertexCount = root->getSubtreeVertexCount();
    result.meshCount = root->getSubtreeMeshPartCount();
    result.clips = collectClips();
    if (keepCamera)
        frameKeepingView();
    else
        frameCamera();
    m_thumbnailRequested = true;
    m_firstFrameDrawn = false;
    checkTotals(result, result.records);
}

// Once the new root has replaced the old one, what it brought is dropped
// whole; before that, the model on screen stays as it is.
void SceneViewer::dropFailedRootNode(engine::Node* root)
{
    if (root && root == m_rootNode)
        releaseRootNode();
    else
        engine::releaseRef(root);
}

void SceneViewer::measureModel()
{
    m_bounds.measureSkins(m_rootNode);
    m_modelBox = m_bounds.ofSubtree(m_rootNode);
    m_modelSphere = sphereAround(m_modelBox);
}

engine::BoundingSphere SceneViewer::sphereAround(const engine::BoundingBox& box)
{
    // A flat model (a plane, a quad) has no size on one or two axes and is
    // still there to be framed; only a box that holds nothing, or holds
    // infinities or NaNs, frames nothing.
    const engine::Vector3 size = box.max - box.min;
    const bool finite = std::isfinite(size.x) && std::isfinite(size.y) && std::isfinite(size.z)
        && std::isfinite(box.min.x) && std::isfinite(box.min.y) && std::isfinite(box.min.z);
    if (!finite || !(size.x >= 0.0f && size.y >= 0.0f && size.z >= 0.0f))
        return engine::BoundingSphere();
    return engine::BoundingSphere(box.getCenter(), size.length() * 0.5f * kFramingMargin);
}

QStringList SceneViewer::collectClips()
{
    m_clips.clear();
    m_loadedRepeatCounts.clear();
    addClipsOf(m_rootNode, m_clips);
    QStringList names;
    for (const auto& entry : m_clips) {
        entry.second->addBeginListener(this);
        entry.second->addEndListener(this);
        names << QString::fromUtf8(entry.first.c_str());
    }
    return names;
}

void SceneViewer::frameCamera()
{
    if (!m_camera)
        return;
    m_camera->setFarPlane(m_orbit.frame(m_modelSphere, m_camera->getFarPlane()));
    applyCameraTransform();
}

// The camera stays where the user left it; Home goes to the new model's framing.
void SceneViewer::frameKeepingView()
{
    if (!m_camera)
        return;
    const OrbitCamera view = m_orbit;
    m_camera->setFarPlane(m_orbit.frame(m_modelSphere, m_camera->getFarPlane()));
    m_orbit.target = view.target;
    m_orbit.distance = view.distance;
}

void SceneViewer::frameSelection()
{
    if (!m_camera)
        return;
    engine::BoundingSphere sphere = m_selectedNode ? sphereAround(m_bounds.ofSubtree(m_selectedNode)) : m_modelSphere;
    if (!(sphere.radius > 0.0f))
        sphere = m_modelSphere;
    const engine::Vector3 homeTarget = m_orbit.homeTarget;
    const float homeDistance = m_orbit.homeDistance;
    m_camera->setFarPlane(m_orbit.frame(sphere, m_camera->getFarPlane()));
    m_orbit.homeTarget = homeTarget;
    m_orbit.homeDistance = homeDistance;
    applyCameraTransform();
}

void SceneViewer::checkTotals(const LoadResult& result, EncoderOutputLogs& records)
{
    if (result.vertexCount == 0)
        appendRecord(records, tr("The 3d model is empty"), tr("The 3d model has zero scene nodes."));
    else if (result.meshCount == 0)
        appendRecord(records, tr("The 3d model is empty"),
                     tr("The 3d model no nodes which contain renderable meshes."));
}

void SceneViewer::clipEvent(engine::AnimationClip* clip, EventType type)
{
    // An unnamed clip is known by its animation's name.
    const char* id = clip->id();
    if (std::strcmp(id, "default_clip") == 0 && clip->animation())
        id = clip->animation()->id();
    if (!m_host)
        return;
    if (type == BEGIN)
        m_host->viewerStartedAnimation(id);
    else
        m_host->viewerFinishedAnimation(id, float(clip->endTime()));
}

QString SceneViewer::vertexCountLabel(unsigned int vertexCount)
{
    struct Bucket {
        unsigned int below;
        const char* label;
    };
    static const Bucket kBuckets[] = {{1000, "0-1k"},       {10000, "1k-10k"},     {50000, "10k-50k"},
                                      {100000, "50k-100k"}, {200000, "100k-200k"}, {500000, "200k-500k"}};
    for (const Bucket& bucket : kBuckets) {
        if (vertexCount < bucket.below)
            return QLatin1String(bucket.label);
    }
    return QStringLiteral("500k-Greater");
}

void SceneViewer::appendRecord(EncoderOutputLogs& records, const QString& title, const QString& message)
{
    EncoderOutputLog record;
    record.priority = LoggingPriorities::Warning;
    record.code = 0;
    record.title = title;
    record.message = message;
    records.append(record);
}

void SceneViewer::releaseRootNode()
{
    for (const auto& entry : m_clips)
        entry.second->stop();
    m_clips.clear();
    setSelectedObject(nullptr);
    if (!m_rootNode)
        return;
    if (m_scene)
        m_scene->removeNode(m_rootNode);
    engine::releaseRef(m_rootNode);
    m_bounds.clear();
    m_modelBox = engine::BoundingBox();
    m_modelSphere = engine::BoundingSphere();
}

void SceneViewer::clearScene()
{
    if (!m_scene)
        return;
    // The model goes now, with its clips and previews: a load that fails
    // next keeps what is on screen, which must then be nothing of it. A
    // model opened next is framed, even if a reload that never reached the
    // viewer asked to keep the camera.
    makeContextCurrent();
    releaseRootNode();
    m_thumbnailRequested = false;
    m_keepCamera = false;
    setSelectedObject(nullptr);
    m_orbit.forgetFraming();
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
    m_camera->setAspectRatio(float(width) / float(height));
    setViewport(0.0f, 0.0f, float(width), float(height));
}

void SceneViewer::setClearColor(int red, int green, int blue)
{
    m_clearColor = engine::Vector4(float(red) / 255.0f, float(green) / 255.0f, float(blue) / 255.0f, 1.0f);
}

void SceneViewer::setSelectedObject(engine::Node* node)
{
    m_selectedNode = node;
    placeSelectionBox();
}

void SceneViewer::placeSelectionBox()
{
    if (!m_selectionNode)
        return;
    const SelectionBox box = SelectionBox::placementFor(m_selectedNode, m_bounds);
    switch (box.action) {
    case SelectionBox::Action::Hide:
        m_selectionNode->setScale(0.0f);
        break;
    case SelectionBox::Action::Place:
        m_selectionNode->setScale(box.scale);
        m_selectionNode->setTranslation(box.translation);
        break;
    }
}

bool SceneViewer::playAnimation(const std::string& clipId)
{
    const auto found = m_clips.find(clipId);
    if (found != m_clips.end())
        found->second->play();
    return true;
}

bool SceneViewer::pauseAnimation(const std::string& clipId)
{
    const auto found = m_clips.find(clipId);
    if (found != m_clips.end())
        found->second->pause();
    return true;
}

bool SceneViewer::stopAnimation(const std::string& clipId)
{
    const auto found = m_clips.find(clipId);
    if (found != m_clips.end())
        found->second->stop();
    return true;
}

bool SceneViewer::seekAnimation(const std::string& clipId, float milliseconds)
{
    const auto found = m_clips.find(clipId);
    if (found == m_clips.end())
        return false;
    found->second->seek(milliseconds);
    placeSelectionBox();
    return true;
}

bool SceneViewer::setAnimationLooping(const std::string& clipId, bool looping)
{
    const auto found = m_clips.find(clipId);
    if (found == m_clips.end())
        return false;
    engine::AnimationClip* clip = found->second;
    const auto loaded = m_loadedRepeatCounts.emplace(clipId, clip->repeatCount()).first;
    clip->setRepeatCount(looping ? 0.0f : loaded->second);
    return true;
}

float SceneViewer::animationLength(const std::string& clipId) const
{
    const auto found = m_clips.find(clipId);
    return found == m_clips.end() ? 0.0f : float(found->second->duration());
}

#pragma once

#include "AnimationClip.h"
#include "EncoderOutputLog.h"
#include "Game.h"
#include "LoadResult.h"
#include "ModelBounds.h"
#include "OrbitCamera.h"
#include "SceneDrawer.h"
#include "ThumbnailCapture.h"
#include "ViewerFolders.h"
#include "math/BoundingBox.h"
#include "math/BoundingSphere.h"
#include "math/Vector4.h"

#include <QString>

#include <map>
#include <string>

class ViewerHost;

namespace engine {
class Camera;
class Node;
class Scene;
} // namespace engine

// The scene behind the viewport: a camera rig that orbits the loaded model,
// the selection box and the loaded model's root node. It loads the converted
// model from the workspace, checks it, frames the camera on it and writes
// the model's bounds into the workspace's info file.
class SceneViewer : public engine::Game, private engine::AnimationClip::Listener {
public:
    enum TouchEvent { TouchPress = 0, TouchRelease = 1, TouchMove = 2 };
    enum KeyEvent { KeyPress = 0, KeyRelease = 1 };

    // Without a host (null) nothing is told of playing clips.
    explicit SceneViewer(ViewerHost* host);
    ~SceneViewer() override;

    SceneViewer(const SceneViewer&) = delete;
    SceneViewer& operator=(const SceneViewer&) = delete;

    void initialize() override;
    void finalize() override { }
    void update(float elapsedTime) override;
    void render(float elapsedTime) override;
    // The previews of the last successful load, once; true when written.
    bool captureRequestedThumbnails(int size = ThumbnailCapture::kThumbnailSize);
    // One frame drawn on demand. The clock stands still between such frames
    // unless a clip plays, so a clip started after a pause does not jump
    // ahead by the pause. True when another frame is due at once: a clip
    // plays, or the previews wait for the next frame.
    bool drawFrame();
    void keyEvent(int evt, int key) override;
    void touchEvent(int evt, int x, int y, unsigned int contactIndex) override;

    // The folders of the workspace shown; set before run() and before each load.
    void setFolders(const ViewerFolders& folders) { m_folders = folders; }
    // Loads the model folder's model, then replaces the model shown by it.
    // A model that does not load (failed, or refused when the bundle holds no
    // root node) leaves scene, camera, clips and selection as they are.
    LoadResult loadModel();
    // model.gpb, or a scene file, in the model folder.
    static bool hasConvertedModel(const QString& modelFolder);
    static QString missingModelMessage();
    // The info file for a model that was not loaded: a box of zeros.
    static bool writeEmptyInfoFile(const QString& metaFolder);

    void clearScene();
    void resetCamera();
    // Fits the selected model node into the view, or the whole model when
    // none is selected; Home (resetCamera) still goes to the model's framing.
    void frameSelection();
    // The next model loaded keeps the camera where the user left it (a
    // reload of the same model) instead of framing it.
    void keepCameraOnNextLoad(bool keep) { m_keepCamera = keep; }
    void zoom(int wheelDelta);
    void setPanMode() { m_orbit.panMode = true; }
    // The next pointer press dollies instead of orbiting.
    void setDollyPress(bool dolly) { m_dollyPress = dolly; }
    void resize(int width, int height);
    void setClearColor(int red, int green, int blue);
    void setSelectedObject(engine::Node* node);

    bool playAnimation(const std::string& clipId);
    bool pauseAnimation(const std::string& clipId);
    bool stopAnimation(const std::string& clipId);
    // Poses the model at that time of the clip, playing, paused or standing;
    // the selection box follows a skinned mesh to its new bounds.
    bool seekAnimation(const std::string& clipId, float milliseconds);
    // A looping clip repeats until paused; otherwise it plays as often as
    // its file says.
    bool setAnimationLooping(const std::string& clipId, bool looping);
    // One cycle of the clip in milliseconds; 0 for an unknown clip.
    float animationLength(const std::string& clipId) const;

    engine::Scene* scene() const { return m_scene; }
    engine::Camera* camera() const { return m_camera; }
    engine::Node* selectionNode() const { return m_selectionNode; }
    const OrbitCamera& orbit() const { return m_orbit; }
    const engine::Vector4& clearColor() const { return m_clearColor; }

    static QString vertexCountLabel(unsigned int vertexCount);
    // The sphere the camera and the previews frame: centred on the box,
    // holding it with a margin; radius 0 for an empty or non-finite box.
    static engine::BoundingSphere sphereAround(const engine::BoundingBox& box);

private:
    void createCameraRig();
    void createGrid(const QString& resFolder);
    void createSelectionBox();
    void applyCameraTransform();
    void releaseRootNode();
    engine::Node* loadRootNode(EncoderOutputLogs& records);
    void replaceRootNode(engine::Node* root, bool keepCamera, LoadResult& result);
    void dropFailedRootNode(engine::Node* root);
    void measureModel();
    QStringList collectClips();
    void frameCamera();
    void frameKeepingView();
    void placeSelectionBox();
    static void checkTotals(const LoadResult& result, EncoderOutputLogs& records);
    void clipEvent(engine::AnimationClip* clip, EventType type) override;
    bool isAnyClipPlaying() const;
    static void appendRecord(EncoderOutputLogs& records, const QString& title, const QString& message);
    void makeContextCurrent();

    ViewerHost* m_host;
    ViewerFolders m_folders;
    engine::Scene* m_scene = nullptr;
    engine::Node* m_rootNode = nullptr;
    engine::Node* m_selectionNode = nullptr;
    engine::Node* m_selectedNode = nullptr; // of the model shown; the box marks it
    engine::Node* m_cameraNode = nullptr;
    engine::Camera* m_camera = nullptr;
    SceneDrawer m_sceneDrawer;
    OrbitCamera m_orbit;
    bool m_dollyPress = false;
    engine::Vector4 m_clearColor;
    engine::Vector3 m_ambientColor;
    engine::BoundingBox m_modelBox;
    engine::BoundingSphere m_modelSphere;
    ModelBounds m_bounds;
    bool m_keepCamera = false;
    bool m_thumbnailRequested = false; // set by a successful load, taken by a later frame
    // The previews of a large model take several frames' time on a software
    // renderer; drawn first, the model shows before they are made.
    bool m_firstFrameDrawn = false;
    std::map<std::string, engine::AnimationClip*> m_clips;
    // Repeat counts as loaded, given back when looping is switched off.
    std::map<std::string, float> m_loadedRepeatCounts;
};

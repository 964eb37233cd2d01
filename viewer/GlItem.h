#pragma once

#include "EncoderOutputLog.h"
#include "LoadResult.h"
#include "ViewerFolders.h"
#include "ViewerHost.h"

#include <QColor>
#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QMessageBox;
class SceneViewer;

namespace engine {
class Node;
class Platform_Qt;
class Scene;
} // namespace engine

Q_DECLARE_OPAQUE_POINTER(engine::Scene*)
Q_DECLARE_METATYPE(engine::Scene*)
Q_DECLARE_OPAQUE_POINTER(engine::Node*)
Q_DECLARE_METATYPE(engine::Node*)

// The viewport of the main window. Checks the OpenGL version once, draws
// the scene viewer's frames when something changes (camera, size, model,
// selection, background, a playing clip) and never while nothing does,
// turns pointer, wheel and modifier keys into camera moves, opens model
// files dropped onto it and relays the viewer's news as signals.
class GlItem : public QOpenGLWidget, private ViewerHost {
    Q_OBJECT
public:
    static constexpr int kFrameRateIntervalMs = 1000;
    // Samples per pixel of the viewport's frame buffer, for smooth edges.
    static constexpr int kSamples = 4;
    // Between frames while a clip plays: about 60 a second.
    static constexpr int kPlayingFrameIntervalMs = 16;

    explicit GlItem(QWidget* parent = nullptr);
    ~GlItem() override;

    // The folders of the workspace shown: before the widget first shows, and
    // again before each load when the workspace changed.
    void setFolders(const ViewerFolders& folders);
    // Dropped files open when their suffix (lower case, no dot) is one of these.
    void setAcceptedSuffixes(const QStringList& suffixes) { m_acceptedSuffixes = suffixes; }
    // Loads the model of the folders set last and says what came of it; a
    // model shown is announced by sceneLoaded and its clips.
    LoadResult loadModel();
    void clearScene();
    bool playAnimation(const QString& id);
    bool pauseAnimation(const QString& id);
    bool stopAnimation(const QString& id);
    bool seekAnimation(const QString& id, float milliseconds);
    bool setAnimationLooping(const QString& id, bool looping);
    float animationLength(const QString& id) const;
    QString openGLVersionString();

    bool isRenderingEnabled() const { return m_renderingEnabled; }
    // Whether the next model shown keeps the current camera (a reload) or is
    // framed (any other open).
    void keepCameraOnNextLoad(bool keep);
    // The viewport's own keys: F frames the selection (or the model), Home
    // resets the camera, Space asks to play or pause, the left and right
    // arrows ask to step the time line by a frame. False for any other key.
    bool handleViewKey(const QKeyEvent* event);

    // OpenGL 2.1 or later.
    static bool isSupportedVersion(int major, int minor);
    // The message of a failed load followed by the encoder's error records,
    // each after a blank line.
    static QString importFailureMessage(const QString& message, const EncoderOutputLogs* encoderLogs);

signals:
    void sceneLoaded(engine::Scene* scene, unsigned int vertexCount, unsigned int meshCount);
    void newFramerateAvailable(int framerate);
    void loadModelFromDropEvent(QString modelPath);
    // A usage event for the tracker (category, action, label).
    void usageEvent(const QString& category, const QString& action, const QString& label);
    void showZoomMessage(bool show);
    void addItemToAnimations(QString anim);
    void clearAnimationModel();
    void animationFinishedPlaying(QString animationId, float milliseconds);
    void animationStartedPlaying(QString animationId);
    void updateElaspedTimeOfAnimation(QString animationId, float milliseconds);
    void playPauseRequested();
    void frameStepRequested(int frames);

public slots:
    void resetCamera();
    void frameSelection();
    void setSelectedObject(engine::Node* node);
    void showDialog();
    void setClearColor(QColor color);
    // Live preview from the preferences window: repaints at once.
    void setBackgroundColor(QColor color);

protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeGL(int w, int h) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool checkOpenGLVersion();
    void prepareWarningBox();
    bool forwardModifierKey(QKeyEvent* event, int engineEvent);
    // Reports the frames drawn per second, once a second.
    void countFrame();
    void announceClips(const QStringList& clips);

    void makeViewerContextCurrent() override;
    void viewerStartedAnimation(const char* clipId) override;
    void viewerFinishedAnimation(const char* clipId, float milliseconds) override;
    void viewerAdvancedAnimation(const char* clipId, float milliseconds) override;

    std::unique_ptr<SceneViewer> m_viewer;
    ViewerFolders m_folders;
    QStringList m_acceptedSuffixes;
    std::unique_ptr<engine::Platform_Qt> m_platform;
    QTimer m_nextFrameTimer; // single shot, started only while frames are due
    bool m_glInitialised = false;
    QMessageBox* m_messageBox = nullptr;
    bool m_renderingEnabled = false;
    bool m_importEnabled = false;
    // For timing a start from the outside (bench_viewer): with
    // VELMORA_ANNOUNCE_FIRST_PICTURE set, the first frame that shows a newly
    // loaded model prints "first picture" on standard output.
    bool m_announceFirstPicture = false;
    bool m_modelAwaitingPicture = false;
    QElapsedTimer m_frameRateClock;
    qint64 m_framesCounted = 0;
    // The loaded model's clip names, looked up without building a string.
    std::map<std::string, QString, std::less<>> m_clipNames;
};

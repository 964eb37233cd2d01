#include "GlItem.h"

#include "AnalyticsTracker.h"
#include "ModelDrop.h"
#include "Platform_Qt.h"
#include "SceneViewer.h"
#include "UserSettings.h"
#include "WorkspaceService.h"

#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QWheelEvent>

#include <cstdio>

namespace {

const int engineCtrlKey = OrbitCamera::CtrlKey;
const int engineAltKey = OrbitCamera::AltKey;
const unsigned int pointerContact = 1;

void trackUsage(const QString& category, const QString& action, const QString& label)
{
    if (AnalyticsTracker* tracker = AnalyticsTracker::instance())
        tracker->trackEvent(category, action, label, 1);
}

QColor settingsBackground()
{
    const QColor color = UserSettings::instance().backgroundColor();
    return color.isValid() ? color : UserSettings::defaultBackgroundColor();
}

} // namespace

GlItem::GlItem(QWidget* parent)
    : QOpenGLWidget(parent)
{
    setAttribute(Qt::WA_MouseTracking);
    setEnabled(true);
    setAcceptDrops(true);
    setObjectName(QStringLiteral("viewport"));
    m_viewer = new SceneViewer(this);
    m_platform = new engine::Platform_Qt(this, m_viewer);
    m_viewer->setPlatform(m_platform);
    setClearColor(settingsBackground());
}

GlItem::~GlItem()
{
    // The platform lets go of the viewer it drives before the viewer goes;
    // the viewer's engine objects may own GL resources.
    makeCurrent();
    delete m_platform;
    delete m_viewer;
    doneCurrent();
    delete m_messageBox;
}

bool GlItem::isSupportedVersion(int major, int minor) { return major >= 3 || (major == 2 && minor >= 1); }

bool GlItem::checkOpenGLVersion()
{
    const QSurfaceFormat format = context()->format();
    const bool valid = isSupportedVersion(format.majorVersion(), format.minorVersion());
    QOpenGLFunctions* gl = context()->functions();
    qDebug() << "OpenGL version: " << reinterpret_cast<const char*>(gl->glGetString(GL_VERSION))
             << ", renderer:" << reinterpret_cast<const char*>(gl->glGetString(GL_RENDERER));
    m_importEnabled = true;
    qDebug() << "check ogl ver:" << format.majorVersion() << format.minorVersion() << ", valid:" << valid
             << ", samples:" << format.samples() << ", import enabled:" << m_importEnabled;
    if (!valid) {
        prepareWarningBox();
        QTimer::singleShot(0, this, &GlItem::showDialog);
    }
    return valid;
}

void GlItem::prepareWarningBox()
{
    if (!m_messageBox)
        m_messageBox = new QMessageBox(this);
    m_messageBox->setObjectName(QStringLiteral("graphicsIncompatibleBox"));
    m_messageBox->setWindowTitle(tr("Graphics device incompatible."));
    m_messageBox->setText(
        tr("Your graphics processing unit (GPU) is incompatible to the rendering engine used in the "
           "Velmora3dEncoder. Rendering 3d models can cause a MacOS crash and will therefore be disabled. You "
           "can still import 3d models and export them to convert them to the vm3 format."));
    m_messageBox->setStandardButtons(QMessageBox::Ok);
    m_messageBox->setIcon(QMessageBox::Warning);
    m_messageBox->setModal(true);
}

void GlItem::showDialog()
{
    if (m_messageBox)
        m_messageBox->exec();
}

void GlItem::initializeGL()
{
    const engine::Platform_Qt::ExtensionLoad load = engine::Platform_Qt::initializeExtensions();
    if (!m_glInitialised) {
        m_renderingEnabled = checkOpenGLVersion();
        m_glInitialised = true;
    }
    // Without the entry points the engine would call through null pointers.
    if (!engine::Platform_Qt::isUsable(load)) {
        qWarning() << "OpenGL entry points could not be loaded; rendering is off";
        m_renderingEnabled = false;
    }
    QOpenGLFunctions* gl = context()->functions();
    gl->glLineWidth(1.0f);
    gl->glEnable(GL_LINE_SMOOTH);
    gl->glEnable(GL_POLYGON_SMOOTH);
    gl->glEnable(GL_MULTISAMPLE);
    if (m_renderingEnabled)
        m_viewer->run();
    connect(&m_repaintTimer, &QTimer::timeout, this, QOverload<>::of(&QWidget::update), Qt::UniqueConnection);
    m_repaintTimer.start(repaintIntervalMs);
}

void GlItem::paintGL()
{
    if (!m_renderingEnabled)
        return;
    if (context()->functions()->glGetError() != GL_NO_ERROR)
        std::printf("GL error:\n");
    m_viewer->frame();
    countFrame();
}

void GlItem::countFrame()
{
    ++m_framesCounted;
    if (!m_frameRateClock.isValid()) {
        m_frameRateClock.start();
        return;
    }
    const qint64 elapsed = m_frameRateClock.elapsed();
    if (elapsed < frameRateIntervalMs)
        return;
    emit newFramerateAvailable(int(m_framesCounted * 1000 / elapsed));
    m_framesCounted = 0;
    m_frameRateClock.restart();
}

void GlItem::resizeGL(int w, int h)
{
    if (m_renderingEnabled)
        m_viewer->resize(w, h);
}

const EncoderOutputLogs* GlItem::loadModel(const QString& modelPath, const QString& version, int format,
                                           const EncoderOutputLogs* encoderLogs)
{
    static const EncoderOutputLogs nothingToAdd;
    m_encoderLogs = encoderLogs;
    if (m_renderingEnabled)
        return m_viewer->loadModel(modelPath, version, format);
    // Rendering is off, so nothing is drawn; a failed conversion is still
    // reported as one.
    SceneViewer::writeEmptyInfoFile();
    if (!SceneViewer::hasConvertedModel())
        viewerFailedToLoad(SceneViewer::missingModelMessage());
    return &nothingToAdd;
}

void GlItem::clearScene() { m_viewer->clearScene(); }

bool GlItem::playAnimation(const QString& id) { return m_viewer->playAnimation(id.toStdString()); }

bool GlItem::pauseAnimation(const QString& id) { return m_viewer->pauseAnimation(id.toStdString()); }

bool GlItem::stopAnimation(const QString& id) { return m_viewer->stopAnimation(id.toStdString()); }

QString GlItem::openGLVersionString()
{
    makeCurrent();
    const GLubyte* version = context() ? context()->functions()->glGetString(GL_VERSION) : nullptr;
    doneCurrent();
    if (!version)
        return QString();
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(version));
    trackUsage(QStringLiteral("usage"), QStringLiteral("version_ogl"), text);
    return text;
}

QString GlItem::importFailureMessage(const QString& message, const EncoderOutputLogs* encoderLogs)
{
    QString text = message;
    if (!encoderLogs)
        return text;
    for (const EncoderOutputLog& log : *encoderLogs) {
        if (log.priority != LoggingPriorities::Error)
            continue;
        if (!text.isEmpty())
            text += QStringLiteral("\n\n");
        text += log.message;
    }
    return text;
}

void GlItem::keepCameraOnNextLoad() { m_viewer->keepCameraOnNextLoad(); }

void GlItem::resetCamera()
{
    if (!m_renderingEnabled)
        return;
    trackUsage(QStringLiteral("usage"), QStringLiteral("toolbar"), QStringLiteral("reset_cam"));
    m_viewer->resetCamera();
}

void GlItem::setSelectedObject(engine::Node* node) { m_viewer->setSelectedObject(node); }

void GlItem::setClearColor(QColor color) { m_viewer->setClearColor(color.red(), color.green(), color.blue()); }

void GlItem::setBackgroundColor(QColor color)
{
    setClearColor(color);
    update();
}

void GlItem::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::OtherFocusReason);
    m_viewer->touchEvent(SceneViewer::TouchPress, event->pos().x(), event->pos().y(), pointerContact);
}

void GlItem::mouseMoveEvent(QMouseEvent* event)
{
    m_viewer->touchEvent(SceneViewer::TouchMove, event->pos().x(), event->pos().y(), pointerContact);
}

void GlItem::mouseReleaseEvent(QMouseEvent* event)
{
    m_viewer->touchEvent(SceneViewer::TouchRelease, event->pos().x(), event->pos().y(), pointerContact);
}

void GlItem::wheelEvent(QWheelEvent* event)
{
    if (event->buttons() & Qt::MiddleButton)
        m_viewer->setPanMode();
    else
        m_viewer->zoom(event->angleDelta().y());
}

bool GlItem::forwardModifierKey(QKeyEvent* event, int engineEvent)
{
    int key = 0;
    if (event->key() == Qt::Key_Control)
        key = engineCtrlKey;
    else if (event->key() == Qt::Key_Alt)
        key = engineAltKey;
    if (!key) {
        event->ignore();
        return false;
    }
    m_viewer->keyEvent(SceneViewer::KeyEvent(engineEvent), key);
    return true;
}

void GlItem::keyPressEvent(QKeyEvent* event) { forwardModifierKey(event, SceneViewer::KeyPress); }

void GlItem::keyReleaseEvent(QKeyEvent* event) { forwardModifierKey(event, SceneViewer::KeyRelease); }

void GlItem::dragEnterEvent(QDragEnterEvent* event) { event->acceptProposedAction(); }

void GlItem::dropEvent(QDropEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (!mime || !mime->hasUrls())
        return;
    const QString path = ModelDrop::pickModelPath(mime->urls());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    if (WorkspaceService* workspaces = WorkspaceService::instance())
        workspaces->setModelFile(path);
    emit loadModelFromDropEvent(path);
}

void GlItem::makeViewerContextCurrent() { makeCurrent(); }

void GlItem::viewerLoadedScene(engine::Scene* scene, unsigned int vertexCount, unsigned int meshCount)
{
    emit sceneLoaded(scene, vertexCount, meshCount);
}

void GlItem::viewerFailedToLoad(const QString& message)
{
    emit sceneImportFailedEvent(importFailureMessage(message, m_encoderLogs));
}

void GlItem::viewerClearedAnimations()
{
    m_clipNames.clear();
    emit clearAnimationModel();
}

void GlItem::viewerFoundAnimation(const char* clipId)
{
    const QString name = QString::fromUtf8(clipId);
    m_clipNames[clipId] = name;
    emit addItemToAnimations(name);
}

void GlItem::viewerStartedAnimation(const char* clipId) { emit animationStartedPlaying(QString::fromUtf8(clipId)); }

void GlItem::viewerFinishedAnimation(const char* clipId, float milliseconds)
{
    emit animationFinishedPlaying(QString::fromUtf8(clipId), milliseconds);
}

void GlItem::viewerAdvancedAnimation(const char* clipId, float milliseconds)
{
    // Every frame while a clip plays: the name made at load time is shared,
    // so a playing animation costs no heap allocation here.
    const auto known = m_clipNames.find(clipId);
    emit updateElaspedTimeOfAnimation(known != m_clipNames.end() ? known->second : QString::fromUtf8(clipId),
                                      milliseconds);
}

#include "GlItem.h"

#include "ConsoleOutput.h"
#include "ModelDrop.h"
#include "Platform_Qt.h"
#include "SceneViewer.h"
#include "ThumbnailCapture.h"

#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>
#include <QWheelEvent>

namespace {

const int kEngineCtrlKey = OrbitCamera::CtrlKey;
const int kEngineAltKey = OrbitCamera::AltKey;
const unsigned int kPointerContact = 1;

} // namespace

GlItem::GlItem(QWidget* parent)
    : QOpenGLWidget(parent)
{
    setAttribute(Qt::WA_MouseTracking);
    setEnabled(true);
    setAcceptDrops(true);
    setObjectName(QStringLiteral("viewport"));
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSamples(kSamples);
    setFormat(format);
    m_viewer = std::make_unique<SceneViewer>(static_cast<ViewerHost*>(this));
    m_platform = std::make_unique<engine::Platform_Qt>(this, m_viewer.get());
    m_viewer->setPlatform(m_platform.get());
    m_announceFirstPicture = qEnvironmentVariableIsSet("VELMORA_ANNOUNCE_FIRST_PICTURE");
    m_nextFrameTimer.setSingleShot(true);
    m_nextFrameTimer.setInterval(kPlayingFrameIntervalMs);
    connect(&m_nextFrameTimer, &QTimer::timeout, this, QOverload<>::of(&QWidget::update));
}

GlItem::~GlItem()
{
    // The platform lets go of the viewer it drives before the viewer goes;
    // the viewer's engine objects may own GL resources.
    makeCurrent();
    m_platform.reset();
    m_viewer.reset();
    doneCurrent();
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
    // The samples asked for the widget's frame buffer; the context has none.
    qDebug() << "check ogl ver:" << format.majorVersion() << format.minorVersion() << ", valid:" << valid
             << ", samples:" << QOpenGLWidget::format().samples() << ", import enabled:" << m_importEnabled;
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
}

void GlItem::paintGL()
{
    if (!m_renderingEnabled)
        return;
    if (context()->functions()->glGetError() != GL_NO_ERROR)
        qWarning() << "GL error before a frame";
    if (m_viewer->drawFrame())
        m_nextFrameTimer.start();
    countFrame();
    if (m_modelAwaitingPicture && m_announceFirstPicture) {
        context()->functions()->glFinish();
        ConsoleOutput::print(ConsoleOutput::Kind::Answer, QStringLiteral("first picture"));
    }
    m_modelAwaitingPicture = false;
}

void GlItem::countFrame()
{
    ++m_framesCounted;
    if (!m_frameRateClock.isValid()) {
        m_frameRateClock.start();
        return;
    }
    const qint64 elapsed = m_frameRateClock.elapsed();
    if (elapsed < kFrameRateIntervalMs)
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

LoadResult GlItem::loadModel()
{
    LoadResult result;
    if (!m_renderingEnabled) {
        // Rendering is off, so nothing is drawn; a failed conversion is still
        // reported as one.
        SceneViewer::writeEmptyInfoFile(m_folders.metaFolder);
        ThumbnailCapture::removeThumbnails(m_folders.metaFolder);
        if (SceneViewer::hasConvertedModel(m_folders.modelFolder))
            result.outcome = LoadResult::Outcome::NotDrawn;
        else
            result.failure = SceneViewer::missingModelMessage();
        return result;
    }
    update();
    result = m_viewer->loadModel();
    if (result.shown()) {
        m_modelAwaitingPicture = true;
        emit usageEvent(QStringLiteral("model"), QStringLiteral("num_vertices"),
                        SceneViewer::vertexCountLabel(result.vertexCount));
        announceClips(result.clips);
        emit sceneLoaded(result.scene, result.vertexCount, result.meshCount);
    }
    return result;
}

void GlItem::announceClips(const QStringList& clips)
{
    m_clipNames.clear();
    emit clearAnimationModel();
    for (const QString& name : clips) {
        m_clipNames[name.toStdString()] = name;
        emit addItemToAnimations(name);
    }
}

void GlItem::clearScene()
{
    m_viewer->clearScene();
    update();
}

bool GlItem::playAnimation(const QString& id)
{
    update();
    return m_viewer->playAnimation(id.toStdString());
}

bool GlItem::pauseAnimation(const QString& id)
{
    update();
    return m_viewer->pauseAnimation(id.toStdString());
}

bool GlItem::stopAnimation(const QString& id)
{
    update();
    return m_viewer->stopAnimation(id.toStdString());
}

bool GlItem::seekAnimation(const QString& id, float milliseconds)
{
    update();
    return m_viewer->seekAnimation(id.toStdString(), milliseconds);
}

bool GlItem::setAnimationLooping(const QString& id, bool looping)
{
    return m_viewer->setAnimationLooping(id.toStdString(), looping);
}

float GlItem::animationLength(const QString& id) const { return m_viewer->animationLength(id.toStdString()); }

QString GlItem::openGLVersionString()
{
    makeCurrent();
    const GLubyte* version = context() ? context()->functions()->glGetString(GL_VERSION) : nullptr;
    doneCurrent();
    if (!version)
        return QString();
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(version));
    emit usageEvent(QStringLiteral("usage"), QStringLiteral("version_ogl"), text);
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

void GlItem::keepCameraOnNextLoad(bool keep) { m_viewer->keepCameraOnNextLoad(keep); }

void GlItem::resetCamera()
{
    if (!m_renderingEnabled)
        return;
    emit usageEvent(QStringLiteral("usage"), QStringLiteral("toolbar"), QStringLiteral("reset_cam"));
    m_viewer->resetCamera();
    update();
}

void GlItem::frameSelection()
{
    if (!m_renderingEnabled)
        return;
    m_viewer->frameSelection();
    update();
}

bool GlItem::handleViewKey(const QKeyEvent* event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (event->key()) {
    case Qt::Key_F:
        frameSelection();
        return true;
    case Qt::Key_Home:
        resetCamera();
        return true;
    case Qt::Key_Space:
        emit playPauseRequested();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
        emit frameStepRequested(event->key() == Qt::Key_Left ? -1 : 1);
        return true;
    default:
        return false;
    }
}

void GlItem::setSelectedObject(engine::Node* node)
{
    m_viewer->setSelectedObject(node);
    update();
}

void GlItem::setClearColor(QColor color)
{
    m_viewer->setClearColor(color.red(), color.green(), color.blue());
    update();
}

void GlItem::setBackgroundColor(QColor color) { setClearColor(color); }

void GlItem::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::OtherFocusReason);
    m_viewer->setDollyPress(event->button() == Qt::RightButton
                            || (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier)));
    m_viewer->touchEvent(SceneViewer::TouchPress, event->pos().x(), event->pos().y(), kPointerContact);
}

void GlItem::mouseMoveEvent(QMouseEvent* event)
{
    m_viewer->touchEvent(SceneViewer::TouchMove, event->pos().x(), event->pos().y(), kPointerContact);
    // Hovering moves nothing; only a drag turns, pans or dollies.
    if (event->buttons() != Qt::NoButton)
        update();
}

void GlItem::mouseReleaseEvent(QMouseEvent* event)
{
    m_viewer->touchEvent(SceneViewer::TouchRelease, event->pos().x(), event->pos().y(), kPointerContact);
}

void GlItem::wheelEvent(QWheelEvent* event)
{
    if (event->buttons() & Qt::MiddleButton)
        m_viewer->setPanMode();
    else
        m_viewer->zoom(event->angleDelta().y());
    update();
}

bool GlItem::forwardModifierKey(QKeyEvent* event, int engineEvent)
{
    int key = 0;
    if (event->key() == Qt::Key_Control)
        key = kEngineCtrlKey;
    else if (event->key() == Qt::Key_Alt)
        key = kEngineAltKey;
    if (!key) {
        event->ignore();
        return false;
    }
    m_viewer->keyEvent(SceneViewer::KeyEvent(engineEvent), key);
    return true;
}

void GlItem::keyPressEvent(QKeyEvent* event)
{
    if (!handleViewKey(event))
        forwardModifierKey(event, SceneViewer::KeyPress);
}

void GlItem::keyReleaseEvent(QKeyEvent* event) { forwardModifierKey(event, SceneViewer::KeyRelease); }

void GlItem::dragEnterEvent(QDragEnterEvent* event) { event->acceptProposedAction(); }

void GlItem::dropEvent(QDropEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (!mime || !mime->hasUrls())
        return;
    const QString path = ModelDrop::pickModelPath(mime->urls(), m_acceptedSuffixes);
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    emit loadModelFromDropEvent(path);
}

void GlItem::setFolders(const ViewerFolders& folders)
{
    m_folders = folders;
    m_viewer->setFolders(folders);
}

void GlItem::makeViewerContextCurrent() { makeCurrent(); }

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

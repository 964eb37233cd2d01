#include "Camera.h"
#include "Drawable.h"
#include "GlItem.h"
#include "Light.h"
#include "ModelBounds.h"
#include "ModelFileTypes.h"
#include "ModelInfoFile.h"
#include "Node.h"
#include "QuietViewport.h"
#include "Ref.h"
#include "SelectionBox.h"
#include "WorkspaceService.h"

#include <QApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

#include <QJsonDocument>
#include <QJsonObject>

Q_DECLARE_METATYPE(engine::Vector3)

// The viewport as a user meets it: the real widget on a Mesa context under
// Xvfb, files dropped onto it, keys pressed in it, its failure messages, the
// info file it leaves in the workspace and where the selection box goes.
class ViewportTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void drop_data();
    void drop();
    void keys_data();
    void keys();
    void paintsTheBackgroundColour();
    void multisamplesItsFrameBuffer();
    void drawsOnlyOnChange_data();
    void drawsOnlyOnChange();
    void failureMessage_data();
    void failureMessage();
    void loadWritesInfoFile();
    void infoValueNeedsAnObject_data();
    void infoValueNeedsAnObject();
    void selectionBox_data();
    void selectionBox();

private:
    GlItem* m_item = nullptr;
    QTemporaryDir m_temp;
    WorkspaceService* m_workspace = nullptr;
};

namespace {

// The viewer is handed the folders of the workspace it shows.
ViewerFolders foldersOf(const WorkspaceService& workspace)
{
    return ViewerFolders {workspace.applicationParentFolder(), workspace.modelFolder(), workspace.metaFolder()};
}

struct BoxModel : public engine::Ref, public engine::Drawable {
    explicit BoxModel(const engine::BoundingBox& box)
        : box(box)
    {
    }
    bool hasMesh() const override { return true; }
    engine::BoundingBox meshBoundingBox() const override { return box; }
    engine::BoundingSphere meshBoundingSphere() const override
    {
        engine::BoundingSphere sphere;
        sphere.set(box);
        return sphere;
    }
    engine::BoundingBox box;
};

QList<QUrl> urlsFrom(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths) {
        QUrl url;
        url.setScheme(QStringLiteral("file"));
        url.setPath(path);
        urls << url;
    }
    return urls;
}

QJsonObject readInfo(const QString& metaFolder)
{
    QFile file(ModelInfoFile::path(metaFolder));
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

void ViewportTest::initTestCase()
{
    QVERIFY(m_temp.isValid());
    // The build tree holds res/ with the grid's material and shaders.
    m_workspace = new WorkspaceService(m_temp.path(), qEnvironmentVariable("VELMORA_BUILD_DIR"));
    m_item = new GlItem();
    m_item->setFolders(foldersOf(*m_workspace));
    m_item->setAcceptedSuffixes(ModelFileTypes::suffixes());
    m_item->resize(320, 240);
    // In the far corner of the shared test display, clear of the windows
    // and centred dialogs of other test programs: their exposes would draw
    // frames that the frame counts here do not expect.
    m_item->move(950, 780);
    m_item->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_item));
    QTRY_VERIFY(m_item->isRenderingEnabled());
}

void ViewportTest::cleanupTestCase()
{
    delete m_item;
    delete m_workspace;
}

void ViewportTest::drop_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("opened");

    QStringList fortyWithThe35thSupported;
    for (int i = 1; i <= 40; ++i)
        fortyWithThe35thSupported << QStringLiteral("/models/file%1.%2").arg(i).arg(i == 35 ? "fbx" : "txt");
    QStringList thirtyTwoWithTheLastSupported = fortyWithThe35thSupported.mid(3, 32);
    thirtyTwoWithTheLastSupported.last() = QStringLiteral("/models/last.vm3");

    QTest::newRow("only the first 32 are looked at") << fortyWithThe35thSupported << QString();
    QTest::newRow("the 32nd still counts") << thirtyTwoWithTheLastSupported << "/models/last.vm3";
    QTest::newRow("first supported wins") << QStringList {"/a/readme.txt", "/a/b.FBX", "/a/c.vm3"} << "/a/b.FBX";
    QTest::newRow("drive path loses its slash") << QStringList {"/C:/Users/me/robot.fbx"} << "C:/Users/me/robot.fbx";
    QTest::newRow("absolute posix path is kept") << QStringList {"/home/me/robot.fbx"} << "/home/me/robot.fbx";
    QTest::newRow("nothing supported") << QStringList {"/a/notes.txt", "/a/noext"} << QString();
    QTest::newRow("no urls at all") << QStringList() << QString();
}

void ViewportTest::drop()
{
    QFETCH(QStringList, paths);
    QFETCH(QString, opened);
    QMimeData mime;
    if (paths.isEmpty())
        mime.setText(QStringLiteral("just text"));
    else
        mime.setUrls(urlsFrom(paths));
    QSignalSpy dropped(m_item, &GlItem::loadModelFromDropEvent);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    event.ignore();
    // The application object hands drops only to a drag session of its own,
    // so the widget gets the event directly.
    static_cast<QObject*>(m_item)->event(&event);

    QCOMPARE(event.isAccepted(), !opened.isEmpty());
    if (opened.isEmpty()) {
        QCOMPARE(dropped.count(), 0);
        return;
    }
    QCOMPARE(dropped.count(), 1);
    QCOMPARE(dropped.first().first().toString(), opened);
}

void ViewportTest::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("taken"); // released too: only the modifiers
    QTest::addColumn<QString>("asks");
    QTest::newRow("control") << int(Qt::Key_Control) << true << "";
    QTest::newRow("alt") << int(Qt::Key_Alt) << true << "";
    QTest::newRow("shift") << int(Qt::Key_Shift) << false << "";
    QTest::newRow("letter") << int(Qt::Key_A) << false << "";
    QTest::newRow("space") << int(Qt::Key_Space) << true << "play/pause";
    QTest::newRow("right") << int(Qt::Key_Right) << true << "step 1";
    QTest::newRow("left") << int(Qt::Key_Left) << true << "step -1";
    QTest::newRow("home") << int(Qt::Key_Home) << true << "reset_cam";
    QTest::newRow("frame") << int(Qt::Key_F) << true << "";
}

void ViewportTest::keys()
{
    QFETCH(int, key);
    QFETCH(bool, taken);
    QFETCH(QString, asks);
    QSignalSpy play(m_item, &GlItem::playPauseRequested);
    QSignalSpy step(m_item, &GlItem::frameStepRequested);
    QSignalSpy usage(m_item, &GlItem::usageEvent);
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, Qt::NoModifier);
        QCoreApplication::sendEvent(m_item, &event);
        const bool modifier = key == Qt::Key_Control || key == Qt::Key_Alt;
        QCOMPARE(event.isAccepted(), type == QEvent::KeyPress ? taken : modifier);
    }
    QStringList asked;
    for (const QList<QVariant>& signal : play + step + usage)
        asked << (signal.isEmpty()         ? "play/pause"
                      : signal.size() == 1 ? "step " + signal[0].toString()
                                           : signal[2].toString());
    QCOMPARE(asked.join(','), asks);
}

void ViewportTest::paintsTheBackgroundColour()
{
    const QColor colours[] = {QColor(10, 200, 30), QColor(250, 250, 250)};
    for (const QColor& colour : colours) {
        m_item->setBackgroundColor(colour);
        const QImage frame = m_item->grabFramebuffer();
        QCOMPARE(frame.pixelColor(0, 0).rgb(), colour.rgb());
        // The reference grid lies around the middle of the view.
        int gridPixels = 0;
        for (int y = frame.height() / 4; y < frame.height() * 3 / 4; ++y) {
            for (int x = frame.width() / 4; x < frame.width() * 3 / 4; ++x)
                gridPixels += frame.pixel(x, y) != colour.rgb() ? 1 : 0;
        }
        QVERIFY2(gridPixels > 100, qPrintable(QString::number(gridPixels)));
    }
}

// The default surface format of the program has one sample (the window
// composing the viewport needs no more); the viewport asks for its own.
void ViewportTest::multisamplesItsFrameBuffer()
{
    m_item->makeCurrent();
    GLint samples = 0;
    m_item->context()->functions()->glGetIntegerv(GL_SAMPLES, &samples);
    m_item->doneCurrent();
    QCOMPARE(int(samples), GlItem::kSamples);
}

void ViewportTest::drawsOnlyOnChange_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("draws");
    QTest::newRow("hover") << "hover" << false;
    for (const char* change : {"drag", "wheel", "reset camera", "background"})
        QTest::newRow(change) << QString(change) << true;
}

void ViewportTest::drawsOnlyOnChange()
{
    QFETCH(QString, change);
    QFETCH(bool, draws);
    QSignalSpy frames(m_item, &QOpenGLWidget::frameSwapped);
    waitForQuiet(frames);
    QCOMPARE(frames.count(), 0);
    const Qt::MouseButtons held = change == "drag" ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 30), Qt::NoButton, held, Qt::NoModifier);
    QWheelEvent wheel(QPointF(), QPointF(), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    if (change == "hover" || change == "drag")
        QApplication::sendEvent(m_item, &move);
    else if (change == "wheel")
        QApplication::sendEvent(m_item, &wheel);
    else if (change == "reset camera")
        m_item->resetCamera();
    else
        m_item->setClearColor(QColor(1, 2, 3));
    QTest::qWait(300);
    // A change draws a frame or two, not one every few milliseconds (a
    // 16 ms timer would draw about 18 here); other programs' windows on the
    // shared test display may expose this one once or twice more.
    QCOMPARE(frames.count() > 0, draws);
    QVERIFY2(frames.count() <= 5, qPrintable(QString::number(frames.count())));
}

void ViewportTest::failureMessage_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("withLogs");
    QTest::addColumn<QString>("expected");

    QTest::newRow("errors follow blank lines, warnings left out")
        << "Scene import error: bad" << true << "Scene import error: bad\n\nfirst\n\nsecond";
    QTest::newRow("no message starts with the first error") << QString() << true << "first\n\nsecond";
    QTest::newRow("no encoder logs") << "Scene import error: bad" << false << "Scene import error: bad";
}

void ViewportTest::failureMessage()
{
    QFETCH(QString, message);
    QFETCH(bool, withLogs);
    QFETCH(QString, expected);
    EncoderOutputLogs logs(3);
    logs[0].priority = LoggingPriorities::Error;
    logs[0].message = QStringLiteral("first");
    logs[1].priority = LoggingPriorities::Warning;
    logs[1].message = QStringLiteral("only a warning");
    logs[2].priority = LoggingPriorities::Error;
    logs[2].message = QStringLiteral("second");
    QCOMPARE(GlItem::importFailureMessage(message, withLogs ? &logs : nullptr), expected);
}

void ViewportTest::loadWritesInfoFile()
{
    const QString model = m_temp.filePath(QStringLiteral("robot.fbx"));
    QFile file(model);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("fbx") == 3);
    file.close();
    m_workspace->setModelFile(model);
    QVERIFY(QDir().mkpath(m_workspace->metaFolder()));

    // The encoder failed and wrote no bundle: a failed load, with its reason.
    m_item->setFolders(foldersOf(*m_workspace));
    LoadResult loaded = m_item->loadModel();
    QCOMPARE(loaded.outcome, LoadResult::Outcome::Failed);
    QCOMPARE(loaded.failure, QStringLiteral("Scene import error: The converted model is missing."));

    // The next load, with a bundle in place, is not a failure.
    QFile bundle(m_workspace->modelFile());
    QVERIFY(bundle.open(QIODevice::WriteOnly));
    bundle.close();
    m_item->setFolders(foldersOf(*m_workspace));
    loaded = m_item->loadModel();
    // An empty bundle yields no root node, and the viewer says the model is empty.
    QCOMPARE(loaded.outcome, LoadResult::Outcome::Refused);
    QCOMPARE(loaded.records.size(), 1);
    QCOMPARE(loaded.records.first().priority, LoggingPriorities::Warning);

    const QJsonObject info = readInfo(m_workspace->metaFolder());
    QCOMPARE(info.keys(), QStringList {"boundingBox"});
    const QJsonObject box = info.value(QStringLiteral("boundingBox")).toObject();
    QCOMPARE(box.keys(),
             (QStringList {"centerX", "centerY", "centerZ", "maxX", "maxY", "maxZ", "minX", "minY", "minZ"}));

    QVERIFY(ModelInfoFile::setInfoValue(m_workspace->metaFolder(), "img_topdown", "./topdown.png"));
    QVERIFY(ModelInfoFile::setInfoValue(m_workspace->metaFolder(), "img_perspective", "./perspective.png"));
    const QJsonObject withImages = readInfo(m_workspace->metaFolder());
    QCOMPARE(withImages.keys(), (QStringList {"boundingBox", "img_perspective", "img_topdown"}));
    QCOMPARE(withImages.value("img_topdown").toString(), QStringLiteral("./topdown.png"));
}

void ViewportTest::infoValueNeedsAnObject_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("array") << QByteArray("[1,2]");
    QTest::newRow("not json") << QByteArray("{\"boundingBox\":");
    QTest::newRow("deep nesting") << QByteArray(60000, '[');
}

void ViewportTest::infoValueNeedsAnObject()
{
    QFETCH(QByteArray, content);
    QTemporaryDir meta;
    QFile file(ModelInfoFile::path(meta.path()));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    QVERIFY(!ModelInfoFile::setInfoValue(meta.path(), "img_topdown", "./topdown.png"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void ViewportTest::selectionBox_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("action");
    QTest::addColumn<engine::Vector3>("scale");
    QTest::addColumn<engine::Vector3>("translation");

    QTest::newRow("none hides") << "none" << int(SelectionBox::Action::Hide) << engine::Vector3() << engine::Vector3();
    QTest::newRow("model fits its world box")
        << "model" << int(SelectionBox::Action::Place) << engine::Vector3(2, 4, 6) << engine::Vector3(9, 18, 27);
    QTest::newRow("camera gets a unit cube on it") << "camera" << int(SelectionBox::Action::Place)
                                                   << engine::Vector3::one() << engine::Vector3(9.5f, 19.5f, 29.5f);
    QTest::newRow("point light too, not at the origin")
        << "light" << int(SelectionBox::Action::Place) << engine::Vector3::one() << engine::Vector3(9.5f, 19.5f, 29.5f);
    QTest::newRow("plain node hides the box")
        << "plain" << int(SelectionBox::Action::Hide) << engine::Vector3() << engine::Vector3();
}

void ViewportTest::selectionBox()
{
    QFETCH(QString, kind);
    QFETCH(int, action);
    QFETCH(engine::Vector3, scale);
    QFETCH(engine::Vector3, translation);

    engine::Node* node = engine::Node::create("selected");
    node->setTranslation(10, 20, 30);
    if (kind == "model") {
        BoxModel* model = new BoxModel(engine::BoundingBox(engine::Vector3(-1, -2, -3), engine::Vector3(1, 2, 3)));
        node->setDrawable(model);
        model->release();
    } else if (kind == "camera") {
        engine::Camera* camera = engine::Camera::createPerspective(45, 1, 0.1f, 100);
        node->setCamera(camera);
        camera->release();
    } else if (kind == "light") {
        engine::Light* light = engine::Light::createPoint(engine::Vector3::one(), 50);
        node->setLight(light);
        light->release();
    }
    const SelectionBox box = SelectionBox::placementFor(kind == "none" ? nullptr : node, ModelBounds());
    node->release();
    QCOMPARE(int(box.action), action);
    if (box.action != SelectionBox::Action::Place)
        return;
    QVERIFY((box.scale - scale).length() < 1e-4f);
    QVERIFY((box.translation - translation).length() < 1e-4f);
}

QTEST_MAIN(ViewportTest)
#include "tst_viewport.moc"

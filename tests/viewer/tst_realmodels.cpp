#include "Camera.h"
#include "Drawable.h"
#include "EncoderProcess.h"
#include "GlItem.h"
#include "ModelInfoFile.h"
#include "Node.h"
#include "QuietViewport.h"
#include "Scene.h"
#include "WorkspaceService.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

// Real models, converted by the real encoder and opened in the real widget:
// what a user sees of each must be the model, framed, with its totals and
// its selection box (their previews are looked at by tst_previews).
class RealModelsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void model_data();
    void model();

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

const QRgb kBackground = qRgb(40, 40, 60);

struct ScreenRect {
    QRect pixels;
    bool inside = true; // every corner of the box projects into the view
};

// Where the info file's box lands on a view of the given size.
ScreenRect project(const QJsonObject& box, const engine::Camera* camera, const QSize& view)
{
    const engine::Matrix viewProjection = camera->getViewProjectionMatrix();
    ScreenRect rect;
    float left = 1, right = -1, bottom = 1, top = -1;
    for (int corner = 0; corner < 8; ++corner) {
        const float p[3] = {float(box.value(corner & 1 ? "maxX" : "minX").toDouble()),
                            float(box.value(corner & 2 ? "maxY" : "minY").toDouble()),
                            float(box.value(corner & 4 ? "maxZ" : "minZ").toDouble())};
        float clip[4];
        for (int row = 0; row < 4; ++row) {
            const float* m = viewProjection.m;
            clip[row] = m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row];
        }
        const float w = clip[3], x = clip[0] / w, y = clip[1] / w;
        rect.inside = rect.inside && w > 0 && x >= -1 && x <= 1 && y >= -1 && y <= 1;
        left = std::min(left, x), right = std::max(right, x), bottom = std::min(bottom, y), top = std::max(top, y);
    }
    rect.pixels = QRect(QPoint(int((left + 1) / 2 * view.width()), int((1 - top) / 2 * view.height())),
                        QPoint(int((right + 1) / 2 * view.width()), int((1 - bottom) / 2 * view.height())));
    return rect;
}

// Pixels of 'area' whose colour differs by more than 'tolerance' in a
// channel, or with 'onlyWhitened' those that came a third of
// the way or more towards white in b: the selection box is white, and where
// its lines cover a pixel only in part the samples mix it with what lies
// behind.
int differingPixels(const QImage& a, const QImage& b, const QRect& area, bool onlyWhitened = false, int tolerance = 0)
{
    int count = 0;
    for (int y = std::max(0, area.top()); y <= std::min(a.height() - 1, area.bottom()); ++y) {
        for (int x = std::max(0, area.left()); x <= std::min(a.width() - 1, area.right()); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const bool differs = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                           std::abs(qBlue(p) - qBlue(q))})
                > tolerance;
            const bool whitened = (255 - qGray(b.pixel(x, y))) * 3 <= (255 - qGray(a.pixel(x, y))) * 2;
            count += differs && (!onlyWhitened || whitened) ? 1 : 0;
        }
    }
    return count;
}

engine::Node* firstNodeWithMesh(engine::Node* node)
{
    if (node->getDrawable() && node->getDrawable()->hasMesh())
        return node;
    for (engine::Node* child = node->getFirstChild(); child; child = child->getNextSibling()) {
        if (engine::Node* found = firstNodeWithMesh(child))
            return found;
    }
    return nullptr;
}

} // namespace

void RealModelsTest::initTestCase()
{
    QVERIFY(m_temp.isValid());
    m_workspace = new WorkspaceService(m_temp.path(), qEnvironmentVariable("VELMORA_BUILD_DIR"));
    m_item = new GlItem();
    m_item->setFolders(foldersOf(*m_workspace));
    m_item->resize(400, 300);
    m_item->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_item));
    QTRY_VERIFY(m_item->isRenderingEnabled());
    m_item->setClearColor(QColor(kBackground));
}

void RealModelsTest::cleanupTestCase()
{
    delete m_item;
    delete m_workspace;
}

void RealModelsTest::model_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<uint>("vertices");
    QTest::addColumn<uint>("meshes");
    QTest::addColumn<QString>("texture"); // written over, it must show on the next load
    // Totals as the encoder writes them; where Assimp's own count is known
    // (sausage, three materials) they agree with it.

    const QString samples = qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/samples/";
    const QString shared = qEnvironmentVariable("VELMORA_SHARED_MODELS") + "/";
    QTest::newRow("skinned figure, bent at rest") << samples + "velmora-sample.fbx" << 818u << 3u << "";
    QTest::newRow("stage with a point light") << samples + "velmora-stage.fbx" << 351u << 3u << "";
    QTest::newRow("spider, 23 parts") << shared + "assimp/test/models/FBX/spider.fbx" << 958u << 19u << "";
    QTest::newRow("sausage, skinned") << shared + "ufbx/data/blender_279_sausage_7400_binary.fbx" << 729u << 1u << "";
    QTest::newRow("three materials") << shared + "generated/b_three_materials.fbx" << 24u << 3u << "checker.png";
}

void RealModelsTest::model()
{
    QFETCH(QString, path);
    QFETCH(uint, vertices);
    QFETCH(uint, meshes);
    QFETCH(QString, texture);
    // Only a shared model may be missing; the samples are part of the project.
    if (!path.startsWith(qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/samples/") && !QFileInfo::exists(path))
        QSKIP("shared model not present");

    m_item->clearScene();
    m_workspace->setModelFile(path);
    m_workspace->prepareWorkspace();
    QVERIFY(QDir().mkpath(m_workspace->metaFolder()));
    const EncoderProcess::Result converted = EncoderProcess::run(
        m_workspace->encoderExecutable(), EncoderProcess::arguments("root", "off", path, m_workspace->modelFile()),
        m_workspace->toolsFolder());
    QVERIFY2(QFileInfo(m_workspace->modelFile()).size() > 0, qPrintable(converted.standardError));

    QSignalSpy clips(m_item, &GlItem::addItemToAnimations);
    m_item->setFolders(foldersOf(*m_workspace));
    LoadResult loaded = m_item->loadModel();
    QVERIFY(loaded.shown() && loaded.records.isEmpty());
    engine::Scene* scene = loaded.scene;
    QCOMPARE(loaded.vertexCount, vertices);
    QCOMPARE(loaded.meshCount, meshes);

    const QImage withModel = m_item->grabFramebuffer();
    QFile infoFile(ModelInfoFile::path(m_workspace->metaFolder()));
    QVERIFY(infoFile.open(QIODevice::ReadOnly));
    const QJsonObject info = QJsonDocument::fromJson(infoFile.readAll()).object();
    const ScreenRect rect = project(info.value("boundingBox").toObject(), scene->getActiveCamera(), withModel.size());
    QVERIFY2(rect.inside, "the model reaches out of the view");
    QVERIFY2(rect.pixels.width() > withModel.width() / 4 || rect.pixels.height() > withModel.height() / 4,
             "the model is a speck in the view");

    engine::Node* root = scene->findNode("RootSceneNode");
    QVERIFY(root);
    const engine::Vector3 scale = root->getScale();
    root->setScale(0.0f);
    const QImage gridOnly = m_item->grabFramebuffer();
    root->setScale(scale);
    QVERIFY2(differingPixels(gridOnly, withModel, rect.pixels) > rect.pixels.width() * rect.pixels.height() / 20,
             "the model's place looks like the background");

    // Under its own lights the model is lit in a light pass, and looks as its materials lit fragment by
    // fragment draw it (as containers written before the light pass are drawn), but at its edges, which
    // the light pass does not smooth with the window's samples.
    QFile materialFile(m_workspace->modelFolder() + "/model.material");
    QVERIFY(materialFile.open(QIODevice::ReadOnly));
    QByteArray materialText = materialFile.readAll();
    materialFile.close();
    if (materialText.contains(";DEFERRED_LIGHTING")) {
        QVERIFY(materialFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(materialFile.write(materialText.replace(";DEFERRED_LIGHTING", "")) > 0);
        materialFile.close();
        QVERIFY(m_item->loadModel().shown());
        const int apart = differingPixels(withModel, m_item->grabFramebuffer(), rect.pixels, false, 6);
        QVERIFY2(apart * 20 < rect.pixels.width() * rect.pixels.height(), qPrintable(QString::number(apart)));
        root = scene->findNode("RootSceneNode");
    }

    engine::Node* selected = firstNodeWithMesh(root);
    QVERIFY(selected);
    m_item->setSelectedObject(selected);
    const QImage withBox = m_item->grabFramebuffer();
    m_item->setSelectedObject(nullptr);
    QVERIFY2(differingPixels(withModel, withBox, withBox.rect(), true) > 20, "no selection box drawn");

    if (!texture.isEmpty()) {
        QDirIterator found(m_workspace->modelFolder(), {texture}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY2(found.hasNext(), "the texture was not converted");
        QImage flat(64, 64, QImage::Format_RGB32);
        flat.fill(Qt::magenta);
        QVERIFY(flat.save(found.next()));
        QVERIFY(m_item->loadModel().shown());
        QVERIFY2(m_item->grabFramebuffer() != withModel, "the texture as it was is still drawn");
        root = scene->findNode("RootSceneNode");
    }

    // A save the engine cannot read, loaded over the model, leaves it on
    // screen as it was; only its record says why.
    const QImage before = m_item->grabFramebuffer();
    QVERIFY(QFile::resize(m_workspace->modelFile(), 16));
    loaded = m_item->loadModel();
    QVERIFY(loaded.outcome == LoadResult::Outcome::Refused && loaded.records.size() == 1);
    QCOMPARE(scene->findNode("RootSceneNode"), root);
    QVERIFY2(m_item->grabFramebuffer() == before, "the picture changed");

    // A clip started after the viewport has stood still for a while starts
    // at its beginning, and keeps the frames coming until it ends or stops.
    if (clips.isEmpty())
        return;
    QTest::qWait(600);
    QSignalSpy frames(m_item, &QOpenGLWidget::frameSwapped);
    QSignalSpy advanced(m_item, &GlItem::updateElaspedTimeOfAnimation);
    QSignalSpy finished(m_item, &GlItem::animationFinishedPlaying);
    m_item->playAnimation(clips.first().first().toString());
    QTRY_VERIFY(frames.count() >= 8 || !finished.isEmpty()); // a short clip may end before
    QVERIFY(!advanced.isEmpty());
    QVERIFY2(advanced.first().at(1).toFloat() < 300.0f, qPrintable(advanced.first().at(1).toString()));
    m_item->stopAnimation(clips.first().first().toString());
    waitForQuiet(frames);
    QCOMPARE(frames.count(), 0);

    // The time line moved by hand redraws the pose with no other event.
    const QString clip = clips.last().first().toString(); // a first clip may be a rest pose
    QImage poses[2];
    engine::Vector3 boxes[2]; // the selection box follows the skin
    m_item->setSelectedObject(selected);
    for (int i = 0; i < 2; ++i) {
        m_item->seekAnimation(clip, i * m_item->animationLength(clip) * 0.4f);
        QTRY_VERIFY(!frames.isEmpty());
        frames.clear();
        poses[i] = m_item->grabFramebuffer();
        boxes[i] = scene->findNode("SelectionNode")->getScale();
    }
    QVERIFY2(poses[0] != poses[1], "the pose did not change");
    QVERIFY2(boxes[0] != boxes[1], "the selection box stood still");
}

QTEST_MAIN(RealModelsTest)
#include "tst_realmodels.moc"

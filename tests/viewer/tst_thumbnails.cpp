#include "Grid.h"
#include "Model.h"
#include "ModelInfoFile.h"
#include "Node.h"
#include "Platform_Qt.h"
#include "RenderState.h"
#include "Scene.h"
#include "ThumbnailCapture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QTemporaryDir>
#include <QtTest>

// The preview images on a real Mesa context: their size, their opaque white
// background, the model's pixels and the grid's absence.
class ThumbnailTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void image_data();
    void image();
    void bothFilesAndTheirNames();

private:
    engine::Scene* sceneWithLinesNamed(const char* id);

    QOffscreenSurface m_surface;
    QOpenGLContext m_context;
    QTemporaryDir m_temp;
    engine::BoundingSphere m_sphere;
};

void ThumbnailTest::initTestCase()
{
    m_surface.create();
    QVERIFY(m_context.create());
    QVERIFY(m_context.makeCurrent(&m_surface));
    QVERIFY(engine::Platform_Qt::isUsable(engine::Platform_Qt::initializeExtensions()));
    engine::RenderState::initialize();
    m_sphere = engine::BoundingSphere(engine::Vector3(), 28.3f);
}

void ThumbnailTest::cleanupTestCase() { engine::RenderState::finalize(); }

engine::Scene* ThumbnailTest::sceneWithLinesNamed(const char* id)
{
    engine::Scene* scene = engine::Scene::create();
    engine::Node* node = engine::Node::create(id);
    engine::Model* lines = Grid::createGridModel(41, qEnvironmentVariable("VELMORA_BUILD_DIR") + "/res");
    node->setDrawable(lines);
    lines->release();
    scene->addNode(node);
    node->release();
    return scene;
}

void ThumbnailTest::image_data()
{
    QTest::addColumn<QByteArray>("nodeId");
    QTest::addColumn<bool>("perspective");
    QTest::addColumn<float>("radius");
    QTest::addColumn<int>("drawn"); // 1 yes, 0 no, -1 either

    QTest::newRow("top view shows the model") << QByteArray("lines") << false << 28.3f << 1;
    QTest::newRow("perspective shows the model") << QByteArray("lines") << true << 28.3f << 1;
    QTest::newRow("the grid is left out") << QByteArray("grid") << true << 28.3f << 0;
    QTest::newRow("radius 0 still gives an image") << QByteArray("lines") << true << 0.0f << -1;
}

void ThumbnailTest::image()
{
    QFETCH(QByteArray, nodeId);
    QFETCH(bool, perspective);
    QFETCH(float, radius);
    QFETCH(int, drawn);
    engine::Scene* scene = sceneWithLinesNamed(nodeId.constData());
    const QString path = m_temp.filePath(QStringLiteral("shot.png"));
    QFile::remove(path);
    const ThumbnailCapture::View view = perspective ? ThumbnailCapture::perspectiveView() : ThumbnailCapture::topDown();
    QVERIFY(ThumbnailCapture::capture(scene, engine::BoundingSphere(engine::Vector3(), radius), 300, 300, view, path));
    QVERIFY(!scene->getActiveCamera());
    scene->release();

    const QImage image(path);
    QCOMPARE(image.size(), QSize(300, 300));
    int opaque = 0;
    int white = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            opaque += qAlpha(pixel) == 255 ? 1 : 0;
            white += (pixel | 0xff000000u) == 0xffffffffu ? 1 : 0;
        }
    }
    QCOMPARE(opaque, 300 * 300);
    QCOMPARE(image.pixel(0, 0), 0xffffffffu);
    QCOMPARE(image.pixel(299, 299), 0xffffffffu);
    if (drawn >= 0)
        QVERIFY2((white < 300 * 300 * 0.95) == bool(drawn), qPrintable(QString::number(white)));
}

void ThumbnailTest::bothFilesAndTheirNames()
{
    engine::Scene* scene = sceneWithLinesNamed("lines");
    QVERIFY(ModelInfoFile::writeBoundingBox(m_temp.path(), engine::BoundingBox()));
    QVERIFY(ThumbnailCapture::captureThumbnails(scene, m_sphere, m_temp.path()));
    scene->release();
    QCOMPARE(QImage(m_temp.filePath("topdown.png")).size(), QSize(300, 300));
    QCOMPARE(QImage(m_temp.filePath("perspective.png")).size(), QSize(300, 300));
    QFile info(ModelInfoFile::path(m_temp.path()));
    QVERIFY(info.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(info.readAll()).object().keys(),
             (QStringList {"boundingBox", "img_perspective", "img_topdown"}));
}

QTEST_MAIN(ThumbnailTest)
#include "tst_thumbnails.moc"

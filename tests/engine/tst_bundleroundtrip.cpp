// Every sample and every model of the shared acceptance set that our encoder
// converts must read back through the engine's reader as the encoder reports
// writing it: nodes, meshes with their vertices, skin joints, lights and
// animations with their keys, every joint found and every material found in
// model.material.
#include "BundleInfo.h"
#include "BundleReader.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <string>

using namespace engine;

namespace {

// The figures of model-encoder's summary line, and the same figures as the engine reads them.
QList<int> reported(const QString& out)
{
    static const QRegularExpression summary(
        R"(^Bundle: (\d+) nodes, (\d+) meshes \((\d+) shared uses\), (\d+) vertices, )"
        R"((\d+) skin joints, (\d+) lights, (\d+) animations \((\d+) keys\))",
        QRegularExpression::MultilineOption);
    QList<int> figures;
    for (int i = 1; i <= summary.captureCount(); ++i)
        figures << summary.match(out).captured(i).toInt();
    return figures;
}

QList<int> read(const BundleData& d)
{
    int models = 0, vertices = 0, joints = 0, lights = 0, keys = 0;
    for (const BundleData::Node& node : d.nodes) {
        models += node.hasModel ? 1 : 0;
        joints += int(node.model.skin.joints.size());
        lights += node.light.type != BundleData::NO_LIGHT ? 1 : 0;
    }
    for (const BundleData::Mesh& mesh : d.meshes)
        vertices += int(mesh.vertexCount);
    for (const BundleData::Animation& animation : d.animations) {
        for (const BundleData::Channel& channel : animation.channels)
            keys += int(channel.keyTimes.size());
    }
    return {int(d.nodes.size()),
            int(d.meshes.size()),
            models - int(d.meshes.size()),
            vertices,
            joints,
            lights,
            int(d.animations.size()),
            keys};
}

QString encoderPath() { return qEnvironmentVariable("VELMORA_BUILD_DIR") + "/tools/linux/model-encoder"; }

} // namespace

class TestBundleRoundTrip : public QObject {
    Q_OBJECT

private slots:
    void encodedModelsReadBack_data();
    void encodedModelsReadBack();
};

void TestBundleRoundTrip::encodedModelsReadBack_data()
{
    QTest::addColumn<QString>("source");
    QStringList sources;
    for (const QString& name : QDir(VELMORA_SOURCE_DIR "/samples").entryList({"*.fbx"}))
        sources << QString(VELMORA_SOURCE_DIR "/samples/") + name;
    const QString shared = qEnvironmentVariable("VELMORA_SHARED_MODELS");
    const QStringList patterns {"*.fbx", "*.FBX", "*.gltf", "*.glb", "*.obj", "*.dae", "*.ply", "*.stl", "*.3ds"};
    if (!shared.isEmpty() && QDir(shared).exists()) {
        QDirIterator it(shared, patterns, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            sources << it.next();
    }
    for (const QString& source : sources)
        QTest::newRow(qPrintable(QFileInfo(source).fileName())) << source;
}

void TestBundleRoundTrip::encodedModelsReadBack()
{
    QFETCH(QString, source);
    if (!QFileInfo(encoderPath()).isExecutable())
        QSKIP("model-encoder is not built");
    QTemporaryDir folder;
    const QString bundlePath = folder.filePath("model/model.gpb");
    QDir().mkpath(folder.filePath("model"));
    QProcess encoder;
    encoder.start(encoderPath(), {"-v", "1", source, bundlePath});
    QVERIFY(encoder.waitForFinished(-1));
    if (encoder.exitCode() != 0 || !QFileInfo::exists(bundlePath))
        QSKIP("the encoder does not convert this file");

    BundleReader reader;
    BundleData data;
    QVERIFY2(reader.openFile(bundlePath.toStdString().c_str()) && reader.readScene(nullptr, &data),
             reader.error().c_str());
    QCOMPARE(read(data), reported(QString::fromUtf8(encoder.readAllStandardOutput())));
    QVERIFY(data.detachedRoots.empty());
    for (const BundleData::Node& node : data.nodes) {
        for (int joint : node.model.skin.joints)
            QVERIFY2(joint >= 0, "every joint the encoder wrote is found");
    }

    BundleInfo::Summary summary;
    std::string error;
    QVERIFY2(BundleInfo::summarise(folder.filePath("model").toStdString(), &summary, &error), error.c_str());
    QCOMPARE(summary.unresolvedMaterials, std::vector<std::string>());
}

QTEST_APPLESS_MAIN(TestBundleRoundTrip)
#include "tst_bundleroundtrip.moc"

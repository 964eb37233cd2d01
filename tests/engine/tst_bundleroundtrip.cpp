// Every sample and every model of the shared acceptance set that our encoder
// converts must read back through the engine's reader as the encoder's own
// strict test reader sees it: node tree, meshes with vertex and index counts,
// skins, materials (all found in model.material) and animations.
#include "BundleInfo.h"
#include "BundleReader.h"

#include "../encoder/BundleTestReader.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <string>

using namespace engine;

namespace {

std::string describeExpected(const bundletest::Bundle& b, int index)
{
    const bundletest::Node& n = b.nodes[size_t(index)];
    std::string s = n.id + "/" + std::to_string(n.type);
    if (!n.meshId.empty()) {
        const bundletest::Mesh& mesh = b.meshes.at(n.meshId);
        s += " #" + n.meshId + ":" + std::to_string(mesh.vertexCount);
        for (const bundletest::Part& p : mesh.parts)
            s += "," + std::to_string(p.indices.size());
        if (n.hasSkin)
            s += " ~" + std::to_string(n.joints.size());
        for (const std::string& m : n.materials)
            s += " m:" + m;
    }
    for (int child : n.children)
        s += " (" + describeExpected(b, child) + ")";
    return s;
}

std::string describeRead(const BundleData& d, int index)
{
    const BundleData::Node& n = d.nodes[size_t(index)];
    std::string s = n.id + "/" + std::to_string(n.type);
    if (n.hasModel) {
        const BundleData::Mesh& mesh = d.meshes[size_t(n.model.mesh)];
        s += " #" + mesh.id + ":" + std::to_string(mesh.vertexCount);
        for (const BundleData::Part& p : mesh.parts)
            s += "," + std::to_string(p.indexCount);
        if (n.model.hasSkin)
            s += " ~" + std::to_string(n.model.skin.joints.size());
        for (const std::string& m : n.model.materials)
            s += " m:" + m;
    }
    for (int child : n.children)
        s += " (" + describeRead(d, child) + ")";
    return s;
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
    encoder.start(encoderPath(), {source, bundlePath});
    QVERIFY(encoder.waitForFinished(-1));
    if (encoder.exitCode() != 0 || !QFileInfo::exists(bundlePath))
        QSKIP("the encoder does not convert this file");

    bundletest::Bundle expected;
    QVERIFY(bundletest::readBundle(bundlePath.toStdString(), expected));
    BundleReader reader;
    BundleData read;
    QVERIFY2(reader.openFile(bundlePath.toStdString().c_str()) && reader.readScene(nullptr, &read),
             reader.error().c_str());

    QCOMPARE(read.roots.size(), expected.topLevel.size());
    for (size_t i = 0; i < read.roots.size(); ++i)
        QCOMPARE(describeRead(read, read.roots[i]), describeExpected(expected, expected.topLevel[i]));
    QVERIFY(read.detachedRoots.empty());
    for (const BundleData::Node& node : read.nodes) {
        for (int joint : node.model.skin.joints)
            QVERIFY2(joint >= 0, "every joint the encoder wrote is found");
    }
    QCOMPARE(read.animations.size(), expected.animations.size());
    for (size_t a = 0; a < read.animations.size(); ++a) {
        QCOMPARE(read.animations[a].id, expected.animations[a].id);
        QCOMPARE(read.animations[a].channels.size(), expected.animations[a].channels.size());
        for (size_t c = 0; c < read.animations[a].channels.size(); ++c)
            QCOMPARE(read.animations[a].channels[c].keyTimes, expected.animations[a].channels[c].times);
    }

    BundleInfo::Summary summary;
    std::string error;
    QVERIFY2(BundleInfo::summarise(folder.filePath("model").toStdString(), &summary, &error), error.c_str());
    QCOMPARE(summary.unresolvedMaterials, std::vector<std::string>());
    QCOMPARE(summary.nodes, unsigned(expected.nodes.size()));
}

QTEST_APPLESS_MAIN(TestBundleRoundTrip)
#include "tst_bundleroundtrip.moc"

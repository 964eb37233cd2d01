// Every sample and every model of the shared acceptance set must convert and
// read back through the engine's reader as the encoder reports having written
// it (its "-v 3" summary): nodes in order, meshes, vertices,
// skin joints, lights and animations with their channels, and every
// material found in model.material. The few shared files the encoder rightly
// refuses must go on being refused, for the same reason.
#include "BundleInfo.h"
#include "BundleReader.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <set>
#include <string>

using namespace engine;

namespace {

QString encoderPath() { return qEnvironmentVariable("VELMORA_BUILD_DIR") + "/tools/linux/model-encoder"; }

// Shared files the encoder refuses, by their path below the shared folder, and
// the code of the error that says why.
int expectedRefusal(const QString& relativePath)
{
    static const QMap<QString, int> kRefusals {
        {"assimp/test/models/FBX/transparentTest.fbx", 1003}, // damaged binary header
    };
    return kRefusals.value(relativePath, 0);
}

// The encoder's summary in the words it prints them, for comparison; nodes
// sorted, since the encoder lists them in an order of its own.
QStringList reported(const QString& output)
{
    QStringList lines;
    QStringList nodes;
    const QRegularExpression summary("^Bundle: (\\d+) nodes, (\\d+) meshes \\(\\d+ shared uses\\), (\\d+) vertices, "
                                     "(\\d+) skin joints, (\\d+) lights, (\\d+) animations");
    for (const QString& line : output.split('\n')) {
        const QRegularExpressionMatch match = summary.match(line);
        if (match.hasMatch())
            lines << QString("%1 nodes, %2 meshes, %3 vertices, %4 skin joints, %5 lights, %6 animations")
                         .arg(match.captured(1), match.captured(2), match.captured(3), match.captured(4),
                              match.captured(5), match.captured(6));
        else if (line.startsWith("  node \""))
            nodes << line.mid(2).section('"', 0, 1) + '"';
        else if (line.startsWith("  animation \""))
            lines << line.mid(2);
    }
    nodes.sort();
    return lines + nodes;
}

// The same words for what the reader read.
QStringList read(const BundleData& data)
{
    unsigned int vertices = 0, joints = 0, lights = 0;
    std::set<int> meshes;
    for (const BundleData::Node& node : data.nodes) {
        if (node.hasModel && meshes.insert(node.model.mesh).second)
            vertices += data.meshes[size_t(node.model.mesh)].vertexCount;
        joints += node.model.hasSkin ? unsigned(node.model.skin.joints.size()) : 0;
        lights += node.light.type != BundleData::NO_LIGHT;
    }
    QStringList lines {QString("%1 nodes, %2 meshes, %3 vertices, %4 skin joints, %5 lights, %6 animations")
                           .arg(data.nodes.size())
                           .arg(meshes.size())
                           .arg(vertices)
                           .arg(joints)
                           .arg(lights)
                           .arg(data.animations.size())};
    for (const BundleData::Animation& animation : data.animations)
        lines << QString("animation \"%1\": %2 channels")
                     .arg(QString::fromStdString(animation.id))
                     .arg(animation.channels.size());
    QStringList nodes;
    for (const BundleData::Node& node : data.nodes)
        nodes << QString("node \"%1\"").arg(QString::fromStdString(node.id));
    nodes.sort();
    return lines + nodes;
}

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
    QTest::addColumn<int>("refusal"); // the error code of a file the encoder refuses; 0: it converts
    for (const QString& name : QDir(VELMORA_SOURCE_DIR "/samples").entryList({"*.fbx"}))
        QTest::newRow(qPrintable(name)) << QString(VELMORA_SOURCE_DIR "/samples/") + name << 0;
    const QString shared = qEnvironmentVariable("VELMORA_SHARED_MODELS");
    const QStringList patterns {"*.fbx", "*.FBX", "*.gltf", "*.glb", "*.obj", "*.dae", "*.ply", "*.stl", "*.3ds"};
    if (shared.isEmpty() || !QDir(shared).exists())
        return;
    QDirIterator it(shared, patterns, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        QTest::newRow(qPrintable(QFileInfo(source).fileName()))
            << source << expectedRefusal(QDir(shared).relativeFilePath(source));
    }
}

void TestBundleRoundTrip::encodedModelsReadBack()
{
    QFETCH(QString, source);
    QFETCH(int, refusal);
    QVERIFY2(QFileInfo(encoderPath()).isExecutable(), "model-encoder is not built");
    QTemporaryDir folder;
    const QString bundlePath = folder.filePath("model/model.gpb");
    QDir().mkpath(folder.filePath("model"));
    QProcess encoder;
    encoder.start(encoderPath(), {"-v", "3", source, bundlePath});
    QVERIFY(encoder.waitForFinished(-1));
    const QString output = QString::fromUtf8(encoder.readAllStandardOutput() + encoder.readAllStandardError());
    if (refusal != 0) {
        QCOMPARE(encoder.exitCode(), 1);
        QVERIFY2(output.contains(QString("Error (GP#%1|").arg(refusal)), qPrintable(output));
        return;
    }
    QVERIFY2(encoder.exitCode() == 0 && QFileInfo::exists(bundlePath), qPrintable(output));

    BundleReader reader;
    BundleData data;
    QVERIFY2(reader.openFile(bundlePath.toStdString().c_str()) && reader.readScene(nullptr, &data),
             reader.error().c_str());
    QCOMPARE(read(data), reported(output));
    QVERIFY(data.detachedRoots.empty());
    // Reordering triangles for the vertex cache never makes it worse, and
    // helps our samples, whose faces share corners out of cache order.
    const QRegularExpressionMatch ratios
        = QRegularExpression("cache miss ratio (\\d+\\.\\d+) -> (\\d+\\.\\d+)").match(output);
    QVERIFY2(ratios.hasMatch() || data.meshes.empty(), qPrintable(output));
    const double before = ratios.captured(1).toDouble(), after = ratios.captured(2).toDouble();
    QVERIFY2(after <= before, qPrintable(ratios.captured()));
    if (source.startsWith(VELMORA_SOURCE_DIR "/samples/"))
        QVERIFY2(after < before, qPrintable(ratios.captured()));
    for (const BundleData::Node& node : data.nodes) {
        for (int joint : node.model.skin.joints)
            QVERIFY2(joint >= 0, "every joint the encoder wrote is found");
        if (node.hasModel)
            QCOMPARE(node.model.materials.size(), data.meshes[size_t(node.model.mesh)].parts.size());
    }
    BundleInfo::Summary summary;
    std::string error;
    QVERIFY2(BundleInfo::summarise(folder.filePath("model").toStdString(), &summary, &error), error.c_str());
    QCOMPARE(summary.unresolvedMaterials, std::vector<std::string>());
    QVERIFY2(summary.problems.empty(), BundleInfo::problemsText(summary).c_str());
}

QTEST_APPLESS_MAIN(TestBundleRoundTrip)
#include "tst_bundleroundtrip.moc"

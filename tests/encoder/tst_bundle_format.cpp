// Bundles written from the project's own fixtures and sample models, read back
// through the engine's reader and compared with what Assimp reads from the source.

#include "EncoderTestSupport.h"
#include "Properties.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <map>
#include <memory>

using namespace encodertest;

class TestBundleFormat : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QString m_fixtures;
    int m_runs = 0;

    QString fixture(const QString& name) const { return m_fixtures + "/" + name; }
    QString nextFolder() { return m_work.path() + QString("/model%1").arg(++m_runs); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        QVERIFY2(QFile::exists(encoderPath()), qPrintable(encoderPath()));
        m_fixtures = m_work.path() + "/fixtures";
        QVERIFY(makeFixtures(m_fixtures));
    }

    void staticSceneMatchesSource()
    {
        BundleData b;
        Run run;
        const QString folder = nextFolder();
        checkConversion(fixture("static_scene.fbx"), folder, b, run);
        if (QTest::currentTestFailed())
            return;
        // Duplicate names become distinct ids; UTF-8 names pass through untouched.
        const BundleData::Node* cube = nodeNamed(b, "Cube");
        QVERIFY(cube && nodeNamed(b, "Cube__2"));
        QCOMPARE(b.nodes[size_t(nodeNamed(b, "Cube__2")->parent)].id, std::string("Cube"));
        QVERIFY(nodeNamed(b, "W\xC3\xBCrfel_\xE7\xAB\x8B\xE6\x96\xB9\xE4\xBD\x93_\xF0\x9F\x99\x82"));
        // Two materials: two parts, two distinct material names, texture coordinates kept.
        QCOMPARE(meshOf(b, *cube).parts.size(), size_t(2));
        QVERIFY(cube->model.materials.size() == 2 && cube->model.materials[0] != cube->model.materials[1]);
        QVERIFY(elementOffset(meshOf(b, *cube), 8) >= 0);

        // Lights: colours as given, spot angles (whole cone in FBX) measured from the axis, the spot looking
        // down the source's -Y.
        QCOMPARE(nodesWith(b, BundleData::POINT).size(), size_t(1));
        const BundleData::Light& point = nodesWith(b, BundleData::POINT)[0]->light;
        QVERIFY(point.color == engine::Vector3(1.0f, 0.5f, 0.25f) && point.range > 0);
        QCOMPARE(nodesWith(b, BundleData::SPOT).size(), size_t(1));
        const BundleData::Node& spot = *nodesWith(b, BundleData::SPOT)[0];
        QVERIFY(std::fabs(spot.light.innerAngle - 15 * M_PI / 180) < 1e-4
                && std::fabs(spot.light.outerAngle - 30 * M_PI / 180) < 1e-4);
        QVERIFY(std::fabs(-spot.transform.m[9] + 1) < 1e-5f);
        // The camera is active and looks where the source camera looks (+X of its node).
        QVERIFY(b.activeCameraNode >= 0);
        const BundleData::Node& camera = b.nodes[size_t(b.activeCameraNode)];
        QVERIFY(camera.camera.type == BundleData::PERSPECTIVE);
        QVERIFY(std::fabs(camera.camera.aspectRatio - 4.0f / 3.0f) < 1e-4f);
        QVERIFY(camera.camera.nearPlane == 1.0f && camera.camera.farPlane == 500.0f);
        const double vertical = 2 * std::atan(std::tan(30 * M_PI / 180) / (4.0 / 3.0)) * 180 / M_PI;
        QVERIFY2(std::fabs(camera.camera.fieldOfView - vertical) < 1e-2,
                 qPrintable(QString::number(camera.camera.fieldOfView)));
        QVERIFY(std::fabs(-camera.transform.m[8] - 1) < 1e-5f);

        // "-v 2" gives one summary line besides the messages, however big the scene.
        QCOMPARE(run.out.split('\n', Qt::SkipEmptyParts).filter(QRegularExpression("^(?!Warning \\(GP#)")).size(), 1);
        QCOMPARE(QDir(folder).entryList({"*.partial", "*.tmp"}, QDir::Files | QDir::Hidden), QStringList());
    }

    void skinnedBundleMatchesSource()
    {
        BundleData b;
        Run run;
        checkConversion(fixture("skinned_takes.fbx"), nextFolder(), b, run);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(codes(run).count("2001"), 1); // one vertex has five influences: one warning for the mesh
        const BundleData::Node* strip = nodeNamed(b, "Strip");
        QVERIFY(strip && strip->model.hasSkin && strip->model.skin.joints.size() == 5);
        const BundleData::Skin& skin = strip->model.skin;
        for (size_t j = 0; j < skin.joints.size(); ++j) {
            // In the rest pose every joint's world matrix times its inverse bind pose is the identity,
            // whatever the mesh node's own transform: otherwise the mesh would move before any animation.
            const BundleData::Node& joint = b.nodes[size_t(skin.joints[j])];
            QCOMPARE(skin.inverseBindPoses[j].m[12], float('0' - joint.id.back()));
            QCOMPARE(skin.inverseBindPoses[j].m[14], 0.0f);
            QCOMPARE(worldOf(b, joint).a4 + skin.inverseBindPoses[j].m[12], 0.0f);
        }
        QCOMPARE(skin.bindShape.m[14], 5.0f);
        // The top-left vertex: the weakest of its five influences (Bone0) is dropped, the rest rescaled.
        const BundleData::Mesh& mesh = meshOf(b, *strip);
        const std::vector<float> vertices = vertexFloats(mesh);
        const int w = elementOffset(mesh, 6), ix = elementOffset(mesh, 7);
        int found = 0;
        for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
            const float* p = vertices.data() + size_t(v) * floatsPerVertex(mesh);
            if (p[0] != 0 || p[1] != 1)
                continue;
            ++found;
            std::map<int, float> weightOfBone;
            for (int k = 0; k < 4; ++k)
                weightOfBone[skin.jointIds[size_t(p[ix + k])].back() - '0'] = p[w + k];
            QCOMPARE(weightOfBone.count(0), size_t(0));
            QVERIFY(std::fabs(weightOfBone[4] - 0.9f / 2.4f) < 1e-5f
                    && std::fabs(weightOfBone[1] - 0.3f / 2.4f) < 1e-5f);
        }
        QVERIFY(found > 0);
    }

    void groupingNamesAnimations_data()
    {
        // Key times per take in milliseconds, whichever way channels are grouped.
        QTest::addColumn<QString>("grouping");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("take") << "take" << QStringList {"Bend", "Slide"};
        QTest::newRow("root") << "root" << QStringList {"Bend_Bone0", "Slide_Bone0"};
        QTest::newRow("none") << "none" << QStringList {"Bend_Bone1", "Slide_Bone0"};
    }

    void groupingNamesAnimations()
    {
        QFETCH(QString, grouping);
        QFETCH(QStringList, ids);
        BundleData b;
        Run run;
        QVERIFY(convertAndRead(fixture("skinned_takes.fbx"), nextFolder(), grouping, b, run));
        QStringList written;
        for (const BundleData::Animation& animation : b.animations) {
            written << QString::fromStdString(animation.id);
            const BundleData::Channel& channel = animation.channels.at(0);
            const bool bend = written.last().startsWith("Bend");
            QCOMPARE(b.nodes[size_t(channel.target)].id, std::string(bend ? "Bone1" : "Bone0"));
            QCOMPARE(channel.keyTimes,
                     (bend ? std::vector<uint32_t> {0, 500, 1000} : std::vector<uint32_t> {0, 500, 1000, 1500, 2000}));
            if (!bend)
                QCOMPARE(channel.keyValues[10 * 2 + 7], 2.0f); // translation x at the middle key
        }
        written.sort();
        QCOMPARE(written, ids);
    }

    void indexWidthFollowsVertexCount()
    {
        BundleData b;
        Run run;
        QVERIFY(convertAndRead(fixture("big_grid.obj"), nextFolder(), "take", b, run));
        QCOMPARE(b.meshes.size(), size_t(1));
        const BundleData::Mesh& mesh = b.meshes[0];
        QCOMPARE(mesh.vertexCount, uint32_t(260 * 260));
        QCOMPARE(mesh.parts.at(0).indexFormat, uint32_t(0x1405));
        QCOMPARE(mesh.parts.at(0).indexCount, uint32_t(259 * 259 * 6));
        // The OBJ has no normals: the generated ones are unit length and face the grid's front (+Z).
        const std::vector<float> vertices = vertexFloats(mesh);
        for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
            const float* n = vertices.data() + size_t(v) * floatsPerVertex(mesh) + 3;
            QVERIFY(std::fabs(n[0] * n[0] + n[1] * n[1] + n[2] * n[2] - 1) < 1e-4f && n[2] > 0.9f);
        }
    }

    void samplesConvertWithTheirMaterials_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("everyPassDefines");
        QTest::addColumn<QString>("texture");
        QTest::newRow("figure") << "velmora-sample.fbx"
                                << "SKINNING"
                                << "tex/velmora-sample-skin.png";
        QTest::newRow("stage") << "velmora-stage.fbx"
                               << "SPOT_LIGHT"
                               << "";
    }

    void samplesConvertWithTheirMaterials()
    {
        QFETCH(QString, file);
        QFETCH(QString, everyPassDefines);
        QFETCH(QString, texture);
        BundleData b;
        Run run;
        const QString folder = nextFolder();
        checkConversion(QStringLiteral(VELMORA_SOURCE_DIR "/samples/") + file, folder, b, run);
        QVERIFY2(codes(run).isEmpty(), qPrintable(run.out + run.err));
        std::unique_ptr<engine::Properties> materials(
            engine::Properties::create((folder + "/model.material").toUtf8().constData()));
        QVERIFY(materials && materials->namespaceCount() == 3);
        QString textures;
        for (size_t i = 0; i < materials->namespaceCount(); ++i) {
            engine::Properties* material = materials->namespaceAt(i);
            const QString defines = material->getNamespace("pass", true)->getString("defines");
            QVERIFY2(defines.split(';').contains(everyPassDefines), qPrintable(defines));
            if (engine::Properties* sampler = material->getNamespace("sampler", true, false))
                textures = sampler->getString("path");
        }
        QCOMPARE(textures, texture);
    }

    void failuresLeaveNothingHalfWritten()
    {
        // The model folder cannot exist below a plain file.
        const QString blocker = m_work.path() + "/blocker";
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        Run run = convert(fixture("static_scene.fbx"), blocker + "/model/model.gpb");
        QVERIFY(!run.crashed && run.exitCode == 1 && codes(run).contains("1005"));
        QCOMPARE(badMessageLine(run), QString());
        // A broken source keeps the earlier bundle as it was.
        const QString folder = m_work.path() + "/earlier";
        QDir().mkpath(folder);
        QFile old(folder + "/model.gpb");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier bundle");
        old.close();
        QFile broken(m_work.path() + "/broken.fbx");
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("; FBX 7.4.0 project file\nObjects: { Model: 1, \"Model::x\", \"Mesh\" { Properties70: { P: ");
        broken.close();
        run = convert(broken.fileName(), folder + "/model.gpb");
        QVERIFY(!run.crashed && run.exitCode == 1);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("earlier bundle"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList {"model.gpb"});
    }
};

QTEST_GUILESS_MAIN(TestBundleFormat)
#include "tst_bundle_format.moc"

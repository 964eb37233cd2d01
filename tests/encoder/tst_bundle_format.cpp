// Bundles written from the project's own fixtures and sample models, read back
// by an independent reader and compared with what Assimp reads from the source.

#include "EncoderTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace encodertest;

class TestBundleFormat : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QString m_fixtures;
    int m_runs = 0;

    QString fixture(const QString& name) const { return m_fixtures + "/" + name; }
    QString nextFolder() { return m_work.path() + QString("/model%1").arg(++m_runs); }

    static const bundletest::Node* withLight(const bundletest::Bundle& b, uint8_t type)
    {
        for (const auto& n : b.nodes) {
            if (n.lightType == type)
                return &n;
        }
        return nullptr;
    }

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
        bundletest::Bundle b;
        Run run;
        const QString folder = nextFolder();
        checkConversion(fixture("static_scene.fbx"), folder, b, run);
        if (QTest::currentTestFailed())
            return;
        // Duplicate names become distinct ids; UTF-8 names pass through untouched.
        QVERIFY(b.node("Cube") && b.node("Cube__2"));
        QCOMPARE(b.node("Cube__2")->parentId, std::string("Cube"));
        QVERIFY(b.node("W\xC3\xBCrfel_\xE7\xAB\x8B\xE6\x96\xB9\xE4\xBD\x93_\xF0\x9F\x99\x82"));
        // Two materials: two parts, two distinct material names, texture coordinates kept.
        const auto* cube = b.node("Cube");
        QCOMPARE(b.meshes.at(cube->meshId).parts.size(), size_t(2));
        QVERIFY(cube->materials.size() == 2 && cube->materials[0] != cube->materials[1]);
        QVERIFY(b.meshes.at(cube->meshId).elementOffset(8) >= 0);
        // Every mesh and every node is its own table entry.
        QCOMPARE(b.entries.size(), 2 + b.nodes.size() + b.meshes.size());

        // Lights: colours as given, spot angles (whole cone in FBX) measured from the axis, the spot looking down the
        // source's -Y.
        const auto* point = withLight(b, 2);
        QVERIFY(point);
        QCOMPARE(std::vector<float>(point->light.begin(), point->light.begin() + 3),
                 std::vector<float>({1.0f, 0.5f, 0.25f}));
        QVERIFY(point->light[3] > 0);
        const auto* spot = withLight(b, 3);
        QVERIFY(spot);
        QVERIFY(std::fabs(spot->light[4] - 15 * M_PI / 180) < 1e-4
                && std::fabs(spot->light[5] - 30 * M_PI / 180) < 1e-4);
        QVERIFY(std::fabs(-spot->local[9] + 1) < 1e-5f);
        // The camera is active and looks where the source camera looks (+X of its node).
        QVERIFY(b.activeCamera.size() > 1);
        const auto* camera = b.node(b.activeCamera.substr(1));
        QVERIFY(camera && camera->cameraType == 1);
        QVERIFY(std::fabs(camera->camera[0] - 4.0f / 3.0f) < 1e-4f);
        QVERIFY(camera->camera[1] == 1.0f && camera->camera[2] == 500.0f);
        const double vertical = 2 * std::atan(std::tan(30 * M_PI / 180) / (4.0 / 3.0)) * 180 / M_PI;
        QVERIFY2(std::fabs(camera->camera[3] - vertical) < 1e-2, qPrintable(QString::number(camera->camera[3])));
        QVERIFY(std::fabs(-camera->local[8] - 1) < 1e-5f);

        // "-v 2" gives one summary line besides the messages, however big the scene.
        QCOMPARE(run.out.split('\n', Qt::SkipEmptyParts).filter(QRegularExpression("^(?!Warning \\(GP#)")).size(), 1);
        QCOMPARE(QDir(folder).entryList({"*.partial", "*.tmp"}, QDir::Files | QDir::Hidden), QStringList());
    }

    void skinnedBundleMatchesSource()
    {
        bundletest::Bundle b;
        Run run;
        checkConversion(fixture("skinned_takes.fbx"), nextFolder(), b, run);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(codes(run).count("2001"), 1); // one vertex has five influences: one warning for the mesh
        const auto* strip = b.node("Strip");
        QVERIFY(strip && strip->hasSkin && strip->joints.size() == 5);
        for (size_t j = 0; j < strip->joints.size(); ++j) {
            // In the rest pose every joint's world matrix times its inverse bind pose is the identity,
            // whatever the mesh node's own transform: otherwise the mesh would move before any animation.
            const auto* joint = b.node(strip->joints[j].substr(1));
            QCOMPARE(strip->inverseBindPoses[j][12], float('0' - joint->id.back()));
            QCOMPARE(strip->inverseBindPoses[j][14], 0.0f);
            QCOMPARE(worldOf(b, *joint).a4 + strip->inverseBindPoses[j][12], 0.0f);
        }
        QCOMPARE(strip->bindShape[14], 5.0f);
        // The top-left vertex: the weakest of its five influences (Bone0) is dropped, the rest rescaled.
        const bundletest::Mesh& mesh = b.meshes.at(strip->meshId);
        const int w = mesh.elementOffset(6), ix = mesh.elementOffset(7);
        int found = 0;
        for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
            const float* p = mesh.vertices.data() + size_t(v) * mesh.floatsPerVertex;
            if (p[0] != 0 || p[1] != 1)
                continue;
            ++found;
            std::map<int, float> weightOfBone;
            for (int k = 0; k < 4; ++k)
                weightOfBone[strip->joints[size_t(p[ix + k])].back() - '0'] = p[w + k];
            QCOMPARE(weightOfBone.count(0), size_t(0));
            QVERIFY(std::fabs(weightOfBone[4] - 0.9f / 2.4f) < 1e-5f
                    && std::fabs(weightOfBone[1] - 0.3f / 2.4f) < 1e-5f);
        }
        QVERIFY(found > 0);
        // Key times per take, in milliseconds.
        QCOMPARE(b.animations.size(), size_t(2));
        for (const auto& animation : b.animations) {
            const auto& channel = animation.channels.at(0);
            const bool bend = animation.id == "Bend";
            QCOMPARE(channel.target, std::string(bend ? "Bone1" : "Bone0"));
            QCOMPARE(channel.times,
                     (bend ? std::vector<uint32_t> {0, 500, 1000} : std::vector<uint32_t> {0, 500, 1000, 1500, 2000}));
            if (!bend)
                QCOMPARE(channel.values[10 * 2 + 7], 2.0f); // translation x at the middle key
        }
    }

    void groupingNamesAnimations()
    {
        const QMap<QString, QStringList> expected = {{"take", {"Bend", "Slide"}},
                                                     {"root", {"Bend_Bone0", "Slide_Bone0"}},
                                                     {"none", {"Bend_Bone1", "Slide_Bone0"}}};
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            bundletest::Bundle b;
            Run run;
            QVERIFY(convertAndRead(fixture("skinned_takes.fbx"), nextFolder(), it.key(), b, run));
            QStringList written;
            for (const auto& animation : b.animations)
                written << QString::fromStdString(animation.id);
            written.sort();
            QCOMPARE(written, it.value());
        }
    }

    void indexWidthFollowsVertexCount()
    {
        bundletest::Bundle b;
        Run run;
        QVERIFY(convertAndRead(fixture("big_grid.obj"), nextFolder(), "take", b, run));
        QCOMPARE(b.meshes.size(), size_t(1));
        const bundletest::Mesh& mesh = b.meshes.begin()->second;
        QCOMPARE(mesh.vertexCount, uint32_t(260 * 260));
        QCOMPARE(mesh.parts.at(0).indexFormat, uint32_t(0x1405));
        QCOMPARE(mesh.parts.at(0).indices.size(), size_t(259 * 259 * 6));
        // The OBJ has no normals: the generated ones are unit length and face the grid's front (+Z).
        for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
            const float* n = mesh.vertices.data() + size_t(v) * mesh.floatsPerVertex + 3;
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
        bundletest::Bundle b;
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

// Bundles written from the project's own fixtures, read back by an
// independent reader and compared with what Assimp reads from the source.

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

    QString fixture(const QString& name) const { return m_fixtures + "/" + name; }

    // Converts into a fresh model folder and reads the bundle back; fails the test on any irregularity.
    bool convertAndRead(const QString& source, const QString& grouping, bundletest::Bundle& bundle, Run& run,
                        QString* modelFolder = nullptr)
    {
        static int counter = 0;
        const QString folder = m_work.path() + QString("/model%1").arg(++counter);
        QDir().mkpath(folder);
        if (modelFolder)
            *modelFolder = folder;
        run = convert(source, folder + "/model.gpb", grouping);
        if (run.crashed || run.exitCode != 0) {
            qWarning() << run.out << run.err;
            return false;
        }
        if (!bundletest::readBundle((folder + "/model.gpb").toStdString(), bundle)) {
            qWarning() << "bundle unreadable:" << QString::fromStdString(bundle.problem);
            return false;
        }
        return true;
    }

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
        QString problem;
        QVERIFY2(makeFixtures(m_fixtures, problem), qPrintable(problem));
    }

    void staticSceneMatchesSource()
    {
        bundletest::Bundle b;
        Run run;
        QString folder;
        QVERIFY(convertAndRead(fixture("static_scene.fbx"), "take", b, run, &folder));
        QCOMPARE(badMessageLine(run.out, run.err), QString());
        Assimp::Importer importer;
        const aiScene* scene = importSource(importer, fixture("static_scene.fbx"));
        QVERIFY(scene);
        QString problem;
        QVERIFY2(matchesSource(b, *scene, problem), qPrintable(problem));
        QVERIFY2(meshesSound(b, problem), qPrintable(problem));

        // Duplicate names become distinct ids; UTF-8 names pass through untouched.
        QVERIFY(b.node("Cube"));
        QVERIFY(b.node("Cube__2"));
        QCOMPARE(b.node("Cube__2")->parentId, std::string("Cube"));
        QVERIFY(b.node("W\xC3\xBCrfel_\xE7\xAB\x8B\xE6\x96\xB9\xE4\xBD\x93_\xF0\x9F\x99\x82"));

        // Two materials: two parts, two distinct material names, texture coordinates kept.
        const auto* cube = b.node("Cube");
        const bundletest::Mesh& mesh = b.meshes.at(cube->meshId);
        QCOMPARE(mesh.parts.size(), size_t(2));
        QCOMPARE(cube->materials.size(), size_t(2));
        QVERIFY(!cube->materials[0].empty() && cube->materials[0] != cube->materials[1]);
        QVERIFY(mesh.elementOffset(8) >= 0);
        // Every mesh reference and every node is its own table entry.
        QCOMPARE(b.entries.size(), 2 + b.nodes.size() + b.meshes.size());

        // Lights: colours as given, spot angles measured from the axis, the spot looking down the source's -Y.
        const auto* point = withLight(b, 2);
        QVERIFY(point);
        QCOMPARE(point->light[0], 1.0f);
        QCOMPARE(point->light[1], 0.5f);
        QCOMPARE(point->light[2], 0.25f);
        QVERIFY(point->light[3] > 0);
        const auto* spot = withLight(b, 3);
        QVERIFY(spot);
        QVERIFY(std::fabs(spot->light[4] - 15 * M_PI / 180) < 1e-4);
        QVERIFY(std::fabs(spot->light[5] - 30 * M_PI / 180) < 1e-4);
        const float spotForward[3] = {-spot->local[8], -spot->local[9], -spot->local[10]};
        QVERIFY(std::fabs(spotForward[1] + 1) < 1e-5f);

        // The camera is active and looks where the source camera looks (+X of its node).
        QVERIFY(b.activeCamera.size() > 1);
        const auto* camera = b.node(b.activeCamera.substr(1));
        QVERIFY(camera && camera->cameraType == 1);
        QVERIFY(std::fabs(camera->camera[0] - 4.0f / 3.0f) < 1e-4f);
        QCOMPARE(camera->camera[1], 1.0f);
        QCOMPARE(camera->camera[2], 500.0f);
        const double vertical = 2 * std::atan(std::tan(30 * M_PI / 180) / (4.0 / 3.0)) * 180 / M_PI;
        QVERIFY2(std::fabs(camera->camera[3] - vertical) < 1e-2, qPrintable(QString::number(camera->camera[3])));
        QVERIFY(std::fabs(-camera->local[8] - 1) < 1e-5f);

        // The application's "-v 2" gets one summary line besides the messages, however big the scene:
        // it may read the pipe only after the encoder ends.
        QCOMPARE(run.out.split('\n', Qt::SkipEmptyParts).filter(QRegularExpression("^(?!Warning \\(GP#)")).size(), 1);

        // Nothing left under a temporary name.
        QCOMPARE(QDir(folder).entryList({"*.partial", "*.tmp"}, QDir::Files | QDir::Hidden), QStringList());
    }

    void skinnedBundleMatchesSource()
    {
        bundletest::Bundle b;
        Run run;
        QVERIFY(convertAndRead(fixture("skinned_takes.fbx"), "take", b, run));
        QCOMPARE(badMessageLine(run.out, run.err), QString());
        Assimp::Importer importer;
        const aiScene* scene = importSource(importer, fixture("skinned_takes.fbx"));
        QVERIFY(scene);
        QString problem;
        QVERIFY2(matchesSource(b, *scene, problem), qPrintable(problem));
        QVERIFY2(takesMatchSource(b, *scene, problem), qPrintable(problem));
        QVERIFY2(meshesSound(b, problem), qPrintable(problem));

        // One vertex has five influences: one warning for the mesh.
        QCOMPARE(codes(run).count("2001"), 1);

        const auto* strip = b.node("Strip");
        QVERIFY(strip && strip->hasSkin);
        QCOMPARE(strip->joints.size(), size_t(5));
        for (size_t j = 0; j < strip->joints.size(); ++j) {
            // In the rest pose every joint's world matrix times its inverse bind pose is the identity,
            // whatever the mesh node's own transform: otherwise the mesh would move before any animation.
            const auto* joint = b.node(strip->joints[j].substr(1));
            QCOMPARE(joint->type, uint32_t(2));
            const int bone = joint->id.back() - '0';
            QCOMPARE(strip->inverseBindPoses[j][12], float(-bone));
            QCOMPARE(strip->inverseBindPoses[j][14], 0.0f);
            float worldX = 0;
            for (const auto* n = joint; n; n = n->parent >= 0 ? &b.nodes[size_t(n->parent)] : nullptr)
                worldX += n->local[12];
            QCOMPARE(worldX + strip->inverseBindPoses[j][12], 0.0f);
        }
        QCOMPARE(strip->bindShape[14], 5.0f);

        // The top-left vertex: the weakest of its five influences (Bone0) is dropped, the rest rescaled.
        const bundletest::Mesh& mesh = b.meshes.at(strip->meshId);
        const int w = mesh.elementOffset(6), ix = mesh.elementOffset(7);
        bool found = false;
        for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
            const float* p = mesh.vertices.data() + size_t(v) * mesh.floatsPerVertex;
            if (p[0] != 0 || p[1] != 1)
                continue;
            found = true;
            std::map<int, float> weightOfBone;
            for (int k = 0; k < 4; ++k)
                weightOfBone[strip->joints[size_t(p[ix + k])].back() - '0'] = p[w + k];
            QCOMPARE(weightOfBone.count(0), size_t(0));
            QVERIFY(std::fabs(weightOfBone[4] - 0.9f / 2.4f) < 1e-5f);
            QVERIFY(std::fabs(weightOfBone[1] - 0.3f / 2.4f) < 1e-5f);
        }
        QVERIFY(found);

        // Key counts and times per take, in milliseconds.
        QCOMPARE(b.animations.size(), size_t(2));
        for (const auto& animation : b.animations) {
            QCOMPARE(animation.channels.size(), size_t(1));
            const auto& channel = animation.channels[0];
            if (animation.id == "Bend") {
                QCOMPARE(channel.target, std::string("Bone1"));
                QCOMPARE(channel.times, (std::vector<uint32_t>{0, 500, 1000}));
            } else {
                QCOMPARE(animation.id, std::string("Slide"));
                QCOMPARE(channel.target, std::string("Bone0"));
                QCOMPARE(channel.times, (std::vector<uint32_t>{0, 500, 1000, 1500, 2000}));
                QCOMPARE(channel.values[10 * 2 + 7], 2.0f);   // translation x at the middle key
            }
        }
    }

    void groupingNamesAnimations_data()
    {
        QTest::addColumn<QString>("grouping");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("take") << "take" << QStringList{"Bend", "Slide"};
        QTest::newRow("root") << "root" << QStringList{"Bend/Bone0", "Slide/Bone0"};
        QTest::newRow("none") << "none" << QStringList{"Bend/Bone1", "Slide/Bone0"};
    }

    void groupingNamesAnimations()
    {
        QFETCH(QString, grouping);
        QFETCH(QStringList, ids);
        bundletest::Bundle b;
        Run run;
        QVERIFY(convertAndRead(fixture("skinned_takes.fbx"), grouping, b, run));
        QStringList written;
        for (const auto& animation : b.animations)
            written << QString::fromStdString(animation.id);
        written.sort();
        QCOMPARE(written, ids);
    }

    void indexWidthFollowsVertexCount()
    {
        bundletest::Bundle b;
        Run run;
        QVERIFY(convertAndRead(fixture("big_grid.obj"), "take", b, run));
        QCOMPARE(b.meshes.size(), size_t(1));
        const bundletest::Mesh& mesh = b.meshes.begin()->second;
        QCOMPARE(mesh.vertexCount, uint32_t(260 * 260));
        QCOMPARE(mesh.parts.at(0).indexFormat, uint32_t(0x1405));
        QCOMPARE(mesh.parts.at(0).indices.size(), size_t(259 * 259 * 6));
        // The OBJ has no normals: the generated ones are unit length and face the grid's front (+Z).
        for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
            const float* n = mesh.vertices.data() + size_t(v) * mesh.floatsPerVertex + 3;
            QVERIFY(std::fabs(n[0] * n[0] + n[1] * n[1] + n[2] * n[2] - 1) < 1e-4f);
            QVERIFY(n[2] > 0.9f);
        }
        QString problem;
        QVERIFY2(meshesSound(b, problem), qPrintable(problem));
    }

    void failedWriteLeavesNothing()
    {
        // The model folder cannot exist below a plain file.
        const QString blocker = m_work.path() + "/blocker";
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const Run run = convert(fixture("static_scene.fbx"), blocker + "/model/model.gpb");
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(codes(run).contains("1005"));
        QCOMPARE(badMessageLine(run.out, run.err), QString());
    }

    void failedImportKeepsEarlierBundle()
    {
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
        const Run run = convert(broken.fileName(), folder + "/model.gpb");
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("earlier bundle"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"model.gpb"});
    }
};

QTEST_GUILESS_MAIN(TestBundleFormat)
#include "tst_bundle_format.moc"

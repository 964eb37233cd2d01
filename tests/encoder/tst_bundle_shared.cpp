// Every real third-party and generated FBX file in the shared models folder:
// those Assimp reads convert cleanly and their bundles match the source; the
// four it cannot read fail with an error that says why. Skipped when the
// folder is absent.

#include "EncoderTestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace encodertest;

namespace {

struct ExpectedFailure {
    const char* file;
    const char* code;
    const char* mustSay;
};

const ExpectedFailure kExpectedFailures[] = {
    {"maya_cube_6100_binary.fbx", "1001", "FBX 6.1 file (binary). FBX 7.1 (FBX 2011) or newer is needed"},
    {"maya_cube_6100_ascii.fbx", "1001", "FBX 6.1 file (ASCII). FBX 7.1 (FBX 2011) or newer is needed"},
    {"maya_cube_big_endian_7500_binary.fbx", "1002", "big-endian binary FBX 7.5"},
    {"transparentTest.fbx", "1003", "header is damaged"},
};

const ExpectedFailure* expectedFailure(const QString& path)
{
    for (const ExpectedFailure& f : kExpectedFailures) {
        if (path.endsWith(QString("/") + f.file))
            return &f;
    }
    return nullptr;
}

QString sharedModels()
{
    return qEnvironmentVariable("VELMORA_SHARED_MODELS");
}

} // namespace

class TestBundleShared : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_work;
    int m_runs = 0;

    bool convertShared(const QString& path, const QString& grouping, bundletest::Bundle& b, Run& run)
    {
        const QString folder = m_work.path() + QString("/m%1").arg(++m_runs);
        QDir().mkpath(folder);
        run = convert(path, folder + "/model.gpb", grouping);
        if (run.crashed || run.exitCode != 0) {
            qWarning() << run.out << run.err;
            return false;
        }
        if (!bundletest::readBundle((folder + "/model.gpb").toStdString(), b)) {
            qWarning() << QString::fromStdString(b.problem);
            return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        if (sharedModels().isEmpty() || !QDir(sharedModels()).exists())
            QSKIP("shared models not present");
        QVERIFY(m_work.isValid());
    }

    void everyFile_data()
    {
        QTest::addColumn<QString>("path");
        QDirIterator it(sharedModels(), {"*.fbx", "*.FBX"}, QDir::Files, QDirIterator::Subdirectories);
        QStringList files;
        while (it.hasNext())
            files << it.next();
        files.sort();
        for (const QString& file : files)
            QTest::newRow(qPrintable(QDir(sharedModels()).relativeFilePath(file))) << file;
    }

    void everyFile()
    {
        QFETCH(QString, path);
        if (const ExpectedFailure* failure = expectedFailure(path)) {
            const QString folder = m_work.path() + QString("/f%1").arg(++m_runs);
            QDir().mkpath(folder);
            const Run run = convert(path, folder + "/model.gpb");
            QVERIFY(!run.crashed);
            QCOMPARE(run.exitCode, 1);
            QCOMPARE(badMessageLine(run.out, run.err), QString());
            QCOMPARE(codes(run), QStringList{failure->code});
            QVERIFY2(run.err.contains(failure->mustSay), qPrintable(run.err));
            QVERIFY(!QFile::exists(folder + "/model.gpb"));
            return;
        }

        bundletest::Bundle b;
        Run run;
        QVERIFY(convertShared(path, "take", b, run));
        QCOMPARE(badMessageLine(run.out, run.err), QString());
        QCOMPARE(run.err, QString());

        Assimp::Importer importer;
        const aiScene* scene = importSource(importer, path);
        QVERIFY(scene);
        QString problem;
        QVERIFY2(matchesSource(b, *scene, problem), qPrintable(problem));
        QVERIFY2(takesMatchSource(b, *scene, problem), qPrintable(problem));
        QVERIFY2(meshesSound(b, problem), qPrintable(problem));
    }

    void multiTakeGroupings_data()
    {
        QTest::addColumn<QString>("grouping");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("take") << "take" << QStringList{"Skeleton|Base", "Skeleton|Spin", "Skeleton|Wiggle"};
        QTest::newRow("root") << "root" << QStringList{"Skeleton|Base/Skeleton", "Skeleton|Spin/Skeleton", "Skeleton|Wiggle/Skeleton"};
    }

    void multiTakeGroupings()
    {
        QFETCH(QString, grouping);
        QFETCH(QStringList, ids);
        bundletest::Bundle b;
        Run run;
        QVERIFY(convertShared(sharedModels() + "/ufbx/data/blender_279_sausage_7400_binary.fbx", grouping, b, run));
        QStringList written;
        for (const auto& animation : b.animations)
            written << QString::fromStdString(animation.id);
        written.sort();
        QCOMPARE(written, ids);
    }

    void everyGroupingKeepsEveryKey()
    {
        // However channels are grouped, the same channels and keys are written.
        const QString path = sharedModels() + "/ufbx/data/maya_kenney_character_7700_binary.fbx";
        size_t expectedChannels = 0, expectedKeys = 0;
        for (const char* grouping : {"take", "root", "none"}) {
            bundletest::Bundle b;
            Run run;
            QVERIFY(convertShared(path, grouping, b, run));
            size_t channels = 0, keys = 0;
            std::set<std::string> ids;
            for (const auto& animation : b.animations) {
                QVERIFY(ids.insert(animation.id).second);
                channels += animation.channels.size();
                for (const auto& channel : animation.channels)
                    keys += channel.times.size();
            }
            if (expectedChannels == 0) {
                expectedChannels = channels;
                expectedKeys = keys;
                QVERIFY(channels > 1);
            }
            QCOMPARE(channels, expectedChannels);
            QCOMPARE(keys, expectedKeys);
            if (QByteArray(grouping) == "none")
                QCOMPARE(b.animations.size(), channels);
        }
    }

    void zUpFileIsTurnedUpright()
    {
        // Written by 3ds Max with Z up, in inches: the root turns the file's +Z into the engine's +Y
        // and scales inches (2.54 cm) to metres.
        bundletest::Bundle b;
        Run run;
        QVERIFY(convertShared(sharedModels() + "/ufbx/data/max_unicode_7500_binary.fbx", "take", b, run));
        QCOMPARE(b.topLevel.size(), size_t(1));
        const auto& root = b.nodes[size_t(b.topLevel[0])];
        const float upOfSourceZ[3] = {root.local[8], root.local[9], root.local[10]};
        QCOMPARE(upOfSourceZ[0] + 1, 1.0f);
        QCOMPARE(upOfSourceZ[1], 0.0254f);
        QCOMPARE(upOfSourceZ[2] + 1, 1.0f);
        QVERIFY(b.node("a\xCE\xB2\xE3\x82\xAB\xF0\x9F\x98\x82"));
    }

    void mirroredFileKeepsFacesOutward()
    {
        // The file mirrors some cubes by negative scale; their triangles must be written reversed
        // (everyFile checks the order), so make sure the case really occurs.
        bundletest::Bundle b;
        Run run;
        QVERIFY(convertShared(sharedModels() + "/assimp/test/models/FBX/cubes_with_mirroring_and_pivot.fbx", "take", b, run));
        int mirrored = 0;
        for (const auto& node : b.nodes) {
            if (node.meshId.empty())
                continue;
            aiMatrix4x4 world;
            for (const bundletest::Node* n = &node; n; n = n->parent >= 0 ? &b.nodes[size_t(n->parent)] : nullptr) {
                aiMatrix4x4 local;
                for (int r = 0; r < 4; ++r) {
                    for (int c = 0; c < 4; ++c)
                        local[r][c] = n->local[size_t(c * 4 + r)];
                }
                world = local * world;
            }
            mirrored += world.Determinant() < 0;
        }
        QVERIFY(mirrored > 0);
    }

    void lightsAndCameraOfGeneratedScene()
    {
        bundletest::Bundle b;
        Run run;
        QVERIFY(convertShared(sharedModels() + "/generated/c_lights_camera.fbx", "take", b, run));
        int kinds[4] = {0, 0, 0, 0};
        for (const auto& node : b.nodes)
            kinds[node.lightType]++;
        QCOMPARE(kinds[1], 1);
        QCOMPARE(kinds[2], 1);
        QCOMPARE(kinds[3], 1);
        QVERIFY(b.activeCamera.rfind("#MainCamera", 0) == 0);
        for (const auto& node : b.nodes) {
            for (size_t c = 0; node.lightType && c < 3; ++c)
                QVERIFY(node.light[c] >= 0 && node.light[c] <= 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestBundleShared)
#include "tst_bundle_shared.moc"

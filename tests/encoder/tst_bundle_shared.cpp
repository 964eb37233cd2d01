// Every real third-party and generated FBX file in the shared models folder:
// those Assimp reads convert cleanly, their bundles match the source and their
// materials and textures are complete; the four it cannot read fail with an
// error that says why. Skipped when the folder is absent.

#include "EncoderTestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <set>

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

// Textures each file brings (found by absolute authors' paths, in subfolders, embedded, TGA and JPEG);
// files not listed have none (only diffuse maps are exported). Only maxPbrMaterial_metalRough names a texture that is
// missing.
const QMap<QString, int> kTextures = {{"assimp/test/models/FBX/spider.fbx", 4},
                                      {"assimp/test/models/FBX/embedded_ascii/box.FBX", 1},
                                      {"assimp/test/models-nonbsd/FBX/2013_BINARY/kwxport_test_vcolors.fbx", 3},
                                      {"assimp/test/models-nonbsd/FBX/2013_ASCII/jeep1.fbx", 1},
                                      {"ufbx/data/maya_material_chart_7700_ascii.fbx", 2},
                                      {"ufbx/data/blender_293_barbarian_7400_binary.fbx", 2},
                                      {"ufbx/data/maya_arnold_textures_7500_binary.fbx", 1},
                                      {"generated/b_three_materials.fbx", 1},
                                      {"generated/b_three_materials_embedded.fbx", 1}};

} // namespace

class TestBundleShared : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_work;
    int m_runs = 0;

    bool convertShared(const QString& relative, const QString& grouping, BundleData& b, QString* folder = nullptr)
    {
        Run run;
        const QString to = m_work.path() + QString("/m%1").arg(++m_runs);
        if (folder)
            *folder = to;
        return convertAndRead(sharedModels() + "/" + relative, to, grouping, b, run);
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
        QStringList files;
        for (QDirIterator it(sharedModels(), {"*.fbx", "*.FBX"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();)
            files << QDir(sharedModels()).relativeFilePath(it.next());
        files.sort();
        for (const QString& file : files)
            QTest::newRow(qPrintable(file)) << file;
    }

    void everyFile()
    {
        QFETCH(QString, path);
        const QString folder = m_work.path() + QString("/f%1").arg(++m_runs);
        for (const ExpectedFailure& failure : kExpectedFailures) {
            if (!path.endsWith(QString("/") + failure.file))
                continue;
            QDir().mkpath(folder);
            const Run run = convert(sharedModels() + "/" + path, folder + "/model.gpb");
            QVERIFY(!run.crashed && run.exitCode == 1);
            QCOMPARE(badMessageLine(run), QString());
            QCOMPARE(codes(run), QStringList {failure.code});
            QVERIFY2(run.err.contains(failure.mustSay), qPrintable(run.err));
            QVERIFY(!QFile::exists(folder + "/model.gpb"));
            return;
        }
        BundleData b;
        Run run;
        QStringList textures;
        checkConversion(sharedModels() + "/" + path, folder, b, run, &textures);
        QCOMPARE(run.err, QString());
        QCOMPARE(codes(run).contains("2050"), path.endsWith("maxPbrMaterial_metalRough.fbx"));
        QCOMPARE(textures.size(), kTextures.value(path));
    }

    void groupingsKeepEveryKey()
    {
        // However channels are grouped, the same channels and keys are written, under unique ids.
        size_t expectedChannels = 0, expectedKeys = 0;
        for (const char* grouping : {"take", "root", "none"}) {
            BundleData b;
            QVERIFY(convertShared("ufbx/data/maya_kenney_character_7700_binary.fbx", grouping, b));
            size_t channels = 0, keys = 0;
            std::set<std::string> ids;
            for (const auto& animation : b.animations) {
                QVERIFY(ids.insert(animation.id).second);
                channels += animation.channels.size();
                // The take runs 20 frames at 24 per second, its last key is on frame 16: the clip keeps all 20.
                for (const auto& channel : animation.channels) {
                    keys += channel.keyTimes.size();
                    QCOMPARE(channel.keyTimes.back(), 833u);
                }
            }
            expectedChannels = expectedChannels ? expectedChannels : channels;
            expectedKeys = expectedKeys ? expectedKeys : keys;
            QVERIFY(channels > 1 && channels == expectedChannels && keys == expectedKeys);
            QVERIFY(QByteArray(grouping) != "none" || b.animations.size() == channels);
        }
        // "root" groups under the scene's own root, not Assimp's invented one.
        BundleData b;
        QVERIFY(convertShared("ufbx/data/blender_279_sausage_7400_binary.fbx", "root", b));
        QStringList ids;
        for (const auto& animation : b.animations)
            ids << QString::fromStdString(animation.id);
        ids.sort();
        QCOMPARE(ids, QStringList({"Skeleton_Base_Skeleton", "Skeleton_Spin_Skeleton", "Skeleton_Wiggle_Skeleton"}));
    }

    void zUpInchesAreTurnedUprightInMetres()
    {
        // Written by 3ds Max with Z up, in inches: the root turns +Z into the engine's +Y and scales to metres.
        BundleData b;
        QVERIFY(convertShared("ufbx/data/max_unicode_7500_binary.fbx", "take", b));
        QCOMPARE(b.roots.size(), size_t(1));
        const float* root = b.nodes[size_t(b.roots[0])].transform.m;
        QCOMPARE(root[8] + 1, 1.0f);
        QCOMPARE(root[9], 0.0254f);
        QCOMPARE(root[10] + 1, 1.0f);
        QVERIFY(nodeNamed(b, "a\xCE\xB2\xE3\x82\xAB\xF0\x9F\x98\x82"));
    }

    void mirroredAndLitScenesOccur()
    {
        // everyFile checks reversed winding for mirrored nodes: make sure the case really occurs.
        BundleData b;
        QVERIFY(convertShared("assimp/test/models/FBX/cubes_with_mirroring_and_pivot.fbx", "take", b));
        QVERIFY(std::any_of(b.nodes.begin(), b.nodes.end(),
                            [&](const BundleData::Node& n) { return n.hasModel && worldOf(b, n).Determinant() < 0; }));
        // One light of each kind, the named camera active, colours normalised from Blender's wattage.
        BundleData lit;
        QVERIFY(convertShared("generated/c_lights_camera.fbx", "take", lit));
        for (BundleData::LightType type : {BundleData::DIRECTIONAL, BundleData::POINT, BundleData::SPOT}) {
            QCOMPARE(nodesWith(lit, type).size(), size_t(1));
            const engine::Vector3& colour = nodesWith(lit, type)[0]->light.color;
            QVERIFY(std::min({colour.x, colour.y, colour.z}) >= 0 && std::max({colour.x, colour.y, colour.z}) <= 1);
        }
        QVERIFY(lit.activeCameraNode >= 0 && lit.nodes[size_t(lit.activeCameraNode)].id.rfind("MainCamera", 0) == 0);
    }
};

QTEST_GUILESS_MAIN(TestBundleShared)
#include "tst_bundle_shared.moc"

// Bundles written from the project's own fixtures, its sample models and every
// FBX file of the shared models folder, read back through the engine's reader
// and compared with what Assimp reads from the source.

#include "EncoderTestSupport.h"
#include "Properties.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <map>
#include <memory>
#include <set>

using namespace encodertest;

namespace {

QString shared(const QString& relative) { return sharedModels() + "/" + relative; }

} // namespace

class TestBundleFormat : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QString m_fixtures;
    int m_runs = 0;

    QString fixture(const QString& name) const { return m_fixtures + "/" + name; }
    QString nextFolder() { return m_work.path() + QString("/model%1").arg(++m_runs); }
    QMap<QString, QString> m_convertedShared; // shared file -> model folder

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
        const double vertical = 2 * std::atan(std::tan(30 * M_PI / 180) / (4.0 / 3.0)) * 180 / M_PI;
        QVERIFY(camera.camera.type == BundleData::PERSPECTIVE && camera.camera.nearPlane == 1.0f
                && camera.camera.farPlane == 500.0f && std::fabs(camera.camera.aspectRatio - 4.0f / 3.0f) < 1e-4f
                && std::fabs(camera.camera.fieldOfView - vertical) < 1e-2);
        QVERIFY(std::fabs(-camera.transform.m[8] - 1) < 1e-5f);
        // "-v 2" gives one summary line besides the messages and the files used, however big the scene.
        QCOMPARE(run.out.split('\n', Qt::SkipEmptyParts)
                     .filter(QRegularExpression("^(?!Warning \\(GP#|(Read|Missing) file: )"))
                     .size(),
                 1);
        QCOMPARE(QDir(folder).entryList({"*.partial", "*.tmp"}, QDir::Files | QDir::Hidden), QStringList());
    }

    // glTF states a spot's cone from the axis, as the engine measures it (FBX the whole cone, above).
    void gltfSpotConeKeepsItsWidth()
    {
        QFile gltf(fixture("spot.gltf"));
        QVERIFY(gltf.open(QIODevice::WriteOnly)
                && gltf.write(R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":
[0]}],"extensionsUsed":["KHR_lights_punctual"],"extensions":{"KHR_lights_punctual":{"lights":[{"type":"spot","spot":{
"innerConeAngle":0.34906585,"outerConeAngle":0.6981317}}]}},"nodes":[{"extensions":{"KHR_lights_punctual":{"light":0}}}
]})") > 0 && gltf.flush());
        BundleData b;
        Run run;
        QVERIFY(convertAndRead(fixture("spot.gltf"), nextFolder(), "take", b, run)
                && nodesWith(b, BundleData::SPOT).size() == 1);
        const BundleData::Light& spot = nodesWith(b, BundleData::SPOT)[0]->light;
        QCOMPARE(QPoint(qRound(spot.innerAngle * 180 / M_PI), qRound(spot.outerAngle * 180 / M_PI)), QPoint(20, 40));
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
        for (const float* p = vertices.data(); p < vertices.data() + vertices.size(); p += floatsPerVertex(mesh)) {
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
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("grouping");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("take") << "skinned_takes.fbx"
                              << "take" << QStringList {"Bend", "Slide"};
        QTest::newRow("root") << "skinned_takes.fbx"
                              << "root" << QStringList {"Bend_Bone0", "Slide_Bone0"};
        QTest::newRow("none") << "skinned_takes.fbx"
                              << "none" << QStringList {"Bend_Bone1", "Slide_Bone0"};
        // Under the scene's own root, not the one Assimp makes up.
        QTest::newRow("root of a real file")
            << shared("ufbx/data/blender_279_sausage_7400_binary.fbx") << "root"
            << QStringList {"Skeleton_Base_Skeleton", "Skeleton_Spin_Skeleton", "Skeleton_Wiggle_Skeleton"};
    }

    void groupingNamesAnimations()
    {
        QFETCH(QString, file);
        QFETCH(QString, grouping);
        QFETCH(QStringList, ids);
        const QString source = QFileInfo(file).isAbsolute() ? file : fixture(file);
        if (!QFile::exists(source))
            QSKIP("shared models not present");
        BundleData b;
        Run run;
        QVERIFY(convertAndRead(source, nextFolder(), grouping, b, run));
        QStringList written;
        for (const BundleData::Animation& animation : b.animations) {
            written << QString::fromStdString(animation.id);
            // Key times per take in milliseconds, whichever way channels are grouped.
            const BundleData::Channel& channel = animation.channels.at(0);
            const bool bend = written.last().startsWith("Bend"), slide = written.last().startsWith("Slide");
            if (bend || slide)
                QCOMPARE(
                    channel.keyTimes,
                    (bend ? std::vector<uint32_t> {0, 500, 1000} : std::vector<uint32_t> {0, 500, 1000, 1500, 2000}));
            if (slide)
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
        for (const float* n = vertices.data() + 3; n < vertices.data() + vertices.size(); n += floatsPerVertex(mesh))
            QVERIFY(std::fabs(n[0] * n[0] + n[1] * n[1] + n[2] * n[2] - 1) < 1e-4f && n[2] > 0.9f);
    }

    void samplesConvertWithTheirMaterials_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("everyPassDefines");
        QTest::addColumn<QStringList>("textures");
        QTest::addColumn<QStringList>("warnings");
        QTest::newRow("figure") << "velmora-sample.fbx"
                                << "SKINNING" << QStringList {"tex/velmora-sample-skin.png"} << QStringList();
        // The sun reaches every part of the stage fully; the lamp and the spot light it beside the sun.
        QTest::newRow("stage") << "velmora-stage.fbx"
                               << "DIRECTIONAL_LIGHT_COUNT 1" << QStringList() << QStringList();
    }

    void samplesConvertWithTheirMaterials()
    {
        QFETCH(QString, file);
        QFETCH(QString, everyPassDefines);
        QFETCH(QStringList, textures);
        QFETCH(QStringList, warnings);
        BundleData b;
        Run run;
        const QString folder = nextFolder();
        QStringList written;
        checkConversion(QStringLiteral(VELMORA_SOURCE_DIR "/samples/") + file, folder, b, run, &written);
        QVERIFY2(codes(run) == warnings, qPrintable(run.out + run.err));
        QCOMPARE(written, textures);
        std::unique_ptr<engine::Properties> materials(
            engine::Properties::create(qPrintable(folder + "/model.material")));
        QVERIFY(materials && materials->namespaceCount() == 3);
        for (size_t i = 0; i < materials->namespaceCount(); ++i) {
            const QString defines = materials->namespaceAt(i)->getNamespace("pass", true)->getString("defines");
            QVERIFY2(defines.split(';').contains(everyPassDefines), qPrintable(defines));
        }
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
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("earlier bundle") == 14);
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

    void realFilesKeepTheirLook_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("material");
        QTest::addColumn<QString>("key"); // "block/key" reads inside the material's block
        QTest::addColumn<QString>("value");
        const QString chart = "ufbx/data/maya_material_chart_7700_ascii.fbx";
        const QString lights = "generated/c_lights_camera.fbx";
        QTest::newRow("FBX emissive colour") << chart << "FBX_EmissiveColorMaterial"
                                             << "u_emissiveColor"
                                             << "0.125,0.25,0.5";
        QTest::newRow("Standard Surface emission") << chart << "Standard_EmissiveColorMaterial"
                                                   << "u_emissiveColor"
                                                   << "0.125,0.25,0.5";
        QTest::newRow("emissive map") << chart << "FBX_EmissiveTextureMaterial"
                                      << "u_emissiveTexture/path"
                                      << "tex/chart_blue_srgb.png";
        QTest::newRow("emissive map defines")
            << chart << "Standard_EmissiveTextureMaterial"
            << "pass/defines"
            << "EMISSIVE;EMISSIVE_TEXTURE;DIRECTIONAL_LIGHT_COUNT 1;LINEAR_LIGHTING;DEFERRED_LIGHTING";
        QTest::newRow("Standard Surface base colour") << chart << "Standard_BaseColorMaterial"
                                                      << "u_diffuseColor"
                                                      << "0.125,0.25,0.5,1";
        QTest::newRow("FBX diffuse factor on a map") << chart << "FBX_DiffuseTextureFactorMaterial"
                                                     << "u_diffuseColor"
                                                     << "0.5,0.5,0.5,1";
        QTest::newRow("Standard Surface base weight on a map") << chart << "Standard_BaseTextureFactorMaterial"
                                                               << "u_diffuseColor"
                                                               << "0.5,0.5,0.5,1";
        QTest::newRow("3ds Max Physical emission") << "assimp/test/models/FBX/maxPbrMaterial_metalRough.fbx"
                                                   << "PBR_Material"
                                                   << "u_emissiveColor"
                                                   << "1,1,0";
        QTest::newRow("ground lit by the sun") << lights << "GroundGrey"
                                               << "pass/defines"
                                               << "DIRECTIONAL_LIGHT_COUNT 1;POINT_LIGHT_COUNT 1;SPOT_LIGHT_COUNT "
                                                  "1;SPECULAR;LINEAR_LIGHTING;DEFERRED_LIGHTING";
        QTest::newRow("STL without material: mid grey") << "assimp/test/models/STL/Spider_binary.stl"
                                                        << "DefaultMaterial"
                                                        << "u_diffuseColor"
                                                        << "0.5,0.5,0.5,1";
        QTest::newRow("glTF without material: mid grey") << "assimp/test/models/glTF2/cameras/Cameras.gltf"
                                                         << "material0"
                                                         << "u_diffuseColor"
                                                         << "0.5,0.5,0.5,1";
    }

    void realFilesKeepTheirLook()
    {
        QFETCH(QString, file);
        QFETCH(QString, material);
        QFETCH(QString, key);
        QFETCH(QString, value);
        if (!QFileInfo::exists(shared(file)))
            QSKIP("shared models not present");
        if (!m_convertedShared.contains(file)) {
            const QString folder = nextFolder();
            QVERIFY(QDir().mkpath(folder));
            const Run run = convert(shared(file), folder + "/model.gpb");
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
            m_convertedShared[file] = folder;
        }
        std::unique_ptr<engine::Properties> block(
            engine::Properties::create(qPrintable(m_convertedShared[file] + "/model.material#" + material)));
        QVERIFY2(block, qPrintable(material));
        const engine::Properties* inside
            = key.contains('/') ? block->getNamespace(qPrintable(key.section('/', 0, 0)), true) : block.get();
        QVERIFY(inside);
        QCOMPARE(QString(inside->getString(qPrintable(key.section('/', -1)), "<missing>")), value);
    }

    void everySharedFbxFile_data()
    {
        // Textures each file brings (by absolute authors' paths, in subfolders, embedded, TGA and JPEG); only
        // diffuse maps are exported. The three files that cannot be read fail with an error that says why.
        const QMap<QString, int> textures = {{"assimp/test/models/FBX/spider.fbx", 4},
                                             {"assimp/test/models/FBX/embedded_ascii/box.FBX", 1},
                                             {"assimp/test/models-nonbsd/FBX/2013_BINARY/kwxport_test_vcolors.fbx", 3},
                                             {"assimp/test/models-nonbsd/FBX/2013_ASCII/jeep1.fbx", 1},
                                             {"ufbx/data/maya_material_chart_7700_ascii.fbx", 2},
                                             {"ufbx/data/blender_293_barbarian_7400_binary.fbx", 2},
                                             {"ufbx/data/maya_arnold_textures_7500_binary.fbx", 1},
                                             {"generated/b_three_materials.fbx", 1},
                                             {"generated/b_three_materials_embedded.fbx", 1}};
        const QMap<QString, QString> failures = {{"transparentTest.fbx", "1003 header is damaged"}};
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("textures");
        QTest::addColumn<QString>("failure"); // code, then what the message says
        QStringList files;
        for (QDirIterator it(sharedModels(), {"*.fbx", "*.FBX"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();)
            files << QDir(sharedModels()).relativeFilePath(it.next());
        files.sort();
        for (const QString& file : files)
            QTest::newRow(qPrintable(file))
                << file << textures.value(file) << failures.value(QFileInfo(file).fileName());
        if (files.isEmpty())
            QTest::newRow("shared models not present") << QString() << 0 << QString();
    }

    void everySharedFbxFile()
    {
        QFETCH(QString, path);
        QFETCH(int, textures);
        QFETCH(QString, failure);
        if (path.isEmpty())
            QSKIP("shared models not present");
        const QString folder = nextFolder();
        BundleData b;
        Run run;
        if (!failure.isEmpty()) {
            QDir().mkpath(folder);
            run = convert(shared(path), folder + "/model.gpb");
            QVERIFY(!run.crashed && run.exitCode == 1 && !QFile::exists(folder + "/model.gpb"));
            QCOMPARE(badMessageLine(run), QString());
            QCOMPARE(codes(run), QStringList {failure.section(' ', 0, 0)});
            QVERIFY2(run.err.contains(failure.section(' ', 1)), qPrintable(run.err));
            return;
        }
        QStringList written;
        checkConversion(shared(path), folder, b, run, &written);
        QCOMPARE(run.err, QString());
        // Only maxPbrMaterial_metalRough names a texture that is missing.
        QCOMPARE(codes(run).contains("2050"), path.endsWith("maxPbrMaterial_metalRough.fbx"));
        QCOMPARE(written.size(), textures);
        if (path.endsWith("max_unicode_7500_binary.fbx")) {
            // Written by 3ds Max with Z up, in inches: the root turns +Z into the engine's +Y and scales to metres.
            const float* root = b.nodes[size_t(b.roots.at(0))].transform.m;
            QVERIFY(root[8] + 1 == 1.0f && root[9] == 0.0254f && root[10] + 1 == 1.0f);
        }
        // Mirrored nodes occur, so the reversed winding the source comparison expects of them is checked.
        QVERIFY(!path.endsWith("cubes_with_mirroring_and_pivot.fbx")
                || std::any_of(b.nodes.begin(), b.nodes.end(), [&](const BundleData::Node& n) {
                       return n.hasModel && worldOf(b, n).Determinant() < 0;
                   }));
        if (path.endsWith("c_lights_camera.fbx")) {
            // One light of each kind, the named camera active, colours normalised from Blender's wattage.
            for (BundleData::LightType type : {BundleData::DIRECTIONAL, BundleData::POINT, BundleData::SPOT}) {
                QCOMPARE(nodesWith(b, type).size(), size_t(1));
                const engine::Vector3& c = nodesWith(b, type)[0]->light.color;
                QVERIFY(std::min({c.x, c.y, c.z}) >= 0 && std::max({c.x, c.y, c.z}) <= 1);
            }
            QVERIFY(b.activeCameraNode >= 0 && b.nodes[size_t(b.activeCameraNode)].id.rfind("MainCamera", 0) == 0);
            // All three light the ground: none is left out.
            QVERIFY2(!run.out.contains("GP#2012"), qPrintable(run.out));
        }
        if (path.endsWith("blender_293_barbarian_7400_binary.fbx")) {
            // Thirteen nodes draw a copy of another node's mesh (one with another material): each draws that
            // node's record.
            std::set<int> records;
            const auto drawing = std::count_if(b.nodes.begin(), b.nodes.end(), [&](const BundleData::Node& n) {
                return n.hasModel && records.insert(n.model.mesh).second;
            });
            QCOMPARE(std::count_if(b.nodes.begin(), b.nodes.end(), [](const BundleData::Node& n) { return n.hasModel; })
                         - drawing,
                     long(13));
        }
    }
};

QTEST_GUILESS_MAIN(TestBundleFormat)
#include "tst_bundle_format.moc"

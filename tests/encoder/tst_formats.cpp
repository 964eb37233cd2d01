// Source formats other than FBX, end to end: every real non-FBX file of the
// shared models folder converts, its bundle matches Assimp's own reading of the
// source, and what the program's --convert writes reads back through the
// engine's reader, byte for byte what model-encoder wrote, every material resolved.
// Suffixes in any case are accepted, a folder named like a model and a glTF
// without its buffer file are refused with a message that says why.

#include "EncoderTestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace encodertest;

namespace {

QString program() { return qEnvironmentVariable("VELMORA_BUILD_DIR") + "/bin/Velmora3dEncoder"; }

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// The sides of the box around every drawn vertex in world space, over the longest: the model's proportions.
aiVector3D proportions(const BundleData& data)
{
    aiVector3D low(HUGE_VALF, HUGE_VALF, HUGE_VALF), high = -low;
    for (const BundleData::Node& node : data.nodes) {
        const std::vector<float> floats = node.hasModel ? vertexFloats(meshOf(data, node)) : std::vector<float>();
        for (size_t v = 0; v < floats.size(); v += floatsPerVertex(meshOf(data, node))) {
            const aiVector3D p = worldOf(data, node) * aiVector3D(floats[v], floats[v + 1], floats[v + 2]);
            low = aiVector3D(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
            high = aiVector3D(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
        }
    }
    return (high - low) / std::max({high.x - low.x, high.y - low.y, high.z - low.z});
}

// Two quads over one embedded buffer: the first with a plain material, the second with one whose colour
// texture is offset, turned and scaled by KHR_texture_transform.
QByteArray textureTransformGltf()
{
    const float floats[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 1};
    const uint16_t indices[] = {0, 1, 2, 0, 2, 3};
    const QByteArray buffer = QByteArray(reinterpret_cast<const char*>(floats), sizeof floats)
                                  .append(reinterpret_cast<const char*>(indices), sizeof indices)
                                  .toBase64();
    const QByteArray primitive = R"({"primitives": [{"attributes": {"POSITION": 0, "TEXCOORD_0": 1}, "indices": 2, )";
    return R"({"asset": {"version": "2.0"}, "extensionsUsed": ["KHR_texture_transform"], "scenes": [{"nodes": [0, 1]}],
"nodes": [{"name": "plain", "mesh": 0}, {"name": "moved", "mesh": 1}], "meshes": [)"
        + primitive + R"("material": 0}]}, )" + primitive + R"("material": 1}]}],
"materials": [{"pbrMetallicRoughness": {"baseColorTexture": {"index": 0}}}, {"pbrMetallicRoughness": {"baseColorTexture":
  {"index": 0, "extensions": {"KHR_texture_transform": {"offset": [0.25, 0.5], "rotation": 0.5, "scale": [2, 3]}}}}}],
"textures": [{"source": 0}], "images": [{"uri": "missing.png"}],
"buffers": [{"byteLength": 92, "uri": "data:application/octet-stream;base64,)"
        + buffer
        + R"("}], "bufferViews": [{"buffer": 0, "byteLength": 48}, {"buffer": 0, "byteOffset": 48, "byteLength": 32},
  {"buffer": 0, "byteOffset": 80, "byteLength": 12}],
"accessors": [{"bufferView": 0, "componentType": 5126, "count": 4, "type": "VEC3", "min": [0, 0, 0], "max": [1, 1, 0]},
  {"bufferView": 1, "componentType": 5126, "count": 4, "type": "VEC2"},
  {"bufferView": 2, "componentType": 5123, "count": 6, "type": "SCALAR"}]})";
}

// The texture coordinates of the node's mesh by the x and y of their vertex.
std::map<std::pair<float, float>, std::pair<float, float>> coordinatesOf(const BundleData& data, const char* node)
{
    std::map<std::pair<float, float>, std::pair<float, float>> uvAt;
    const BundleData::Mesh& mesh = meshOf(data, *nodeNamed(data, node));
    const std::vector<float> floats = vertexFloats(mesh);
    for (size_t v = 0, uv = size_t(elementOffset(mesh, 8)); v < floats.size(); v += floatsPerVertex(mesh))
        uvAt[{floats[v], floats[v + 1]}] = {floats[v + uv], floats[v + uv + 1]};
    return uvAt;
}

} // namespace

class TestFormats : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;
    int m_runs = 0;

    Run convertVm3(const QString& input, QString* output = nullptr, const QStringList& options = {})
    {
        const QString vm3 = m_work.path() + QString("/out%1.vm3").arg(++m_runs);
        if (output)
            *output = vm3;
        return runProgram(program(), options + QStringList {"--convert", input, vm3});
    }

private slots:
    void initTestCase() { QVERIFY(m_work.isValid()); }

    void sharedFileReadsBack_data()
    {
        // Textures the file brings: external by relative path (glTF uri, OBJ map_Kd with backslashes, 3DS in
        // the wrong case) or embedded (.glb).
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("textures");
        const struct {
            const char* file;
            int textures;
        } rows[] = {{"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", 1},
                    {"glTF2/BoxTextured-glTF/BoxTextured.gltf", 1},
                    {"glTF2/simple_skin/simple_skin.gltf", 0},
                    {"glTF2/cameras/Cameras.gltf", 0},
                    {"glTF2/textureTransform/TextureTransformTest.gltf", 5},
                    {"OBJ/spider.obj", 4},
                    {"OBJ/concave_polygon.obj", 0},
                    {"Collada/box_nested_animation.dae", 0},
                    {"Collada/teapot_instancenodes.DAE", 0},
                    {"Collada/lights.dae", 0},
                    {"PLY/cube_uv.ply", 0},
                    {"PLY/cube_binary.ply", 0},
                    {"STL/Spider_ascii.stl", 0},
                    {"STL/Spider_binary.stl", 0},
                    {"3DS/cube_with_diffuse_texture.3DS", 1}};
        for (const auto& row : rows)
            QTest::newRow(row.file) << QString("assimp/test/models/") + row.file << row.textures;
    }

    void sharedFileReadsBack()
    {
        QFETCH(QString, file);
        QFETCH(int, textures);
        const QString source = sharedModels() + "/" + file;
        if (!QFileInfo::exists(source))
            QSKIP("shared models not present");
        BundleData bundle, b;
        Run run;
        QStringList written;
        const QString direct = m_work.path() + QString("/direct%1").arg(m_runs);
        checkConversion(source, direct, bundle, run, &written);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(written.size(), textures);

        QString vm3;
        const Run converted = convertVm3(source, &vm3, {"--grouping", "take", "--culling", "off"});
        QVERIFY2(converted.exitCode == 0 && !converted.err.contains("error GP#"), qPrintable(converted.err));
        const QString folder = m_work.path() + QString("/unpacked%1").arg(m_runs);
        QCOMPARE(runProgram("unzip", {"-q", vm3, "-d", folder}).exitCode, 0);
        QCOMPARE(bundleProblem(folder + "/model/model.gpb", b), QString());
        QCOMPARE(unresolvedMaterials(b, folder + "/model/model.material"), QStringList());
        // With the same options the program writes what model-encoder wrote directly, byte for byte.
        for (const char* name : {"model.gpb", "model.material"})
            QVERIFY2(readFile(folder + "/model/" + name) == readFile(direct + "/" + name), name);
        QCOMPARE(QDir(folder + "/model/tex").entryList(QDir::Files).size(), textures);
        // Nothing to draw is said the same way for every format.
        const bool drawn
            = std::any_of(b.nodes.begin(), b.nodes.end(), [](const BundleData::Node& n) { return n.hasModel; });
        QCOMPARE(converted.err.contains("warning GP#2007 [Nothing to draw]"), !drawn);
    }

    void facetsWithoutNormalsStayFlat_data()
    {
        // Files without normals: each triangle corner gets its face's normal where faces meet at a hard edge.
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("vertices");
        QTest::newRow("cube: 8 corners, 3 faces each") << "PLY/cube_binary.ply" << 24;
        QTest::newRow("box of unshared corners") << "FBX/boxWithCompressedCTypeArray.FBX" << 24;
        // Every facet's normal points inwards, against its corners' order: made from that order instead.
        QTest::newRow("STL spider") << "STL/Spider_binary.stl" << 3806;
    }

    void facetsWithoutNormalsStayFlat()
    {
        QFETCH(QString, file);
        QFETCH(int, vertices);
        const QString source = sharedModels() + "/assimp/test/models/" + file;
        if (!QFileInfo::exists(source))
            QSKIP("shared models not present");
        const QString folder = m_work.path() + QString("/facets%1").arg(++m_runs);
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(convert(source, folder + "/model.gpb").exitCode, 0);
        BundleData bundle;
        QCOMPARE(bundleProblem(folder + "/model.gpb", bundle), QString());
        int written = 0;
        for (const BundleData::Mesh& mesh : bundle.meshes) {
            written += int(mesh.vertexCount);
            const std::vector<float> data = vertexFloats(mesh);
            const size_t stride = floatsPerVertex(mesh), normal = size_t(elementOffset(mesh, 2));
            const auto at = [&](uint32_t v, size_t offset) {
                return aiVector3D(data[v * stride + offset], data[v * stride + offset + 1],
                                  data[v * stride + offset + 2]);
            };
            for (const BundleData::Part& part : mesh.parts) {
                const std::vector<uint32_t> indices = indicesOf(part);
                for (size_t i = 0; i + 2 < indices.size(); i += 3) {
                    const aiVector3D face
                        = ((at(indices[i + 1], 0) - at(indices[i], 0)) ^ (at(indices[i + 2], 0) - at(indices[i], 0)));
                    for (size_t k = 0; k < 3 && face.SquareLength() > 0; ++k)
                        QVERIFY2(at(indices[i + k], normal) * face / face.Length() > 0.9999f,
                                 qPrintable(QString::number(i / 3)));
                }
            }
        }
        QCOMPARE(written, vertices);
    }

    void gltfBaseColourTintsItsTexture()
    {
        const QString box = sharedModels() + "/assimp/test/models/glTF2/BoxTextured-glTF/";
        if (!QFileInfo::exists(box))
            QSKIP("shared models not present");
        // A copy beside its buffer and image, given a base colour factor.
        const QString copy = m_work.path() + "/tinted/";
        QVERIFY(QDir().mkpath(copy));
        for (const QString& file : QDir(box).entryList(QDir::Files))
            QVERIFY(QFile::copy(box + file, copy + file));
        QFile gltf(copy + "BoxTextured.gltf");
        QVERIFY(gltf.open(QIODevice::ReadWrite));
        const QByteArray tinted = gltf.readAll().replace(
            "\"pbrMetallicRoughness\": {", "\"pbrMetallicRoughness\": {\"baseColorFactor\": [1, 0.5, 0.25, 1],");
        QVERIFY(gltf.seek(0) && gltf.write(tinted) == tinted.size());
        gltf.close();
        QString vm3;
        QCOMPARE(convertVm3(gltf.fileName(), &vm3).exitCode, 0);
        const QString written = runProgram("unzip", {"-p", vm3, "model/model.material"}).out;
        QVERIFY2(written.contains("u_diffuseColor = 1,0.5,0.25,1") && written.contains("tex/CesiumLogoFlat.png"),
                 qPrintable(written));
    }

    void stlStandsUprightLikeItsTwin()
    {
        // The same spider as OBJ (Y-up) and as binary STL (Z-up): the same proportions along the same axes.
        const QString models = sharedModels() + "/assimp/test/models/";
        if (!QFileInfo::exists(models + "STL/Spider_binary.stl") || !QFileInfo::exists(models + "OBJ/spider.obj"))
            QSKIP("shared models not present");
        BundleData stl, obj;
        Run run;
        QVERIFY(convertAndRead(models + "OBJ/spider.obj", m_work.filePath("spider_obj"), "take", obj, run));
        QVERIFY(convertAndRead(models + "STL/Spider_binary.stl", m_work.filePath("spider_stl"), "take", stl, run));
        QVERIFY2(codes(run).contains("2015"), qPrintable(run.out));
        const aiVector3D got = proportions(stl), want = proportions(obj);
        QVERIFY2((got - want).Length() < 0.01f, qPrintable(QString("%1 %2 %3").arg(got.x).arg(got.y).arg(got.z)));
    }

    void gltfTextureTransformMovesCoordinates()
    {
        QFile gltf(m_work.filePath("transformed.gltf"));
        QVERIFY(gltf.open(QIODevice::WriteOnly) && gltf.write(textureTransformGltf()) > 0);
        gltf.close();
        BundleData data;
        Run run;
        QVERIFY(convertAndRead(gltf.fileName(), m_work.filePath("transformed"), "take", data, run));
        const auto plain = coordinatesOf(data, "plain"), moved = coordinatesOf(data, "moved");
        QCOMPARE(moved.size(), size_t(4));
        // The quad's texture coordinates are its x and y, in glTF's v from the top (the bundle's v counts from
        // the bottom). The extension scales, turns about the origin (counter-clockwise with v downwards), then offsets.
        for (const auto& [xy, uv] : plain) {
            QCOMPARE(uv, std::make_pair(xy.first, 1 - xy.second));
            const double u = 2.0 * xy.first, v = 3.0 * xy.second;
            const double wantU = 0.25 + std::cos(0.5) * u + std::sin(0.5) * v;
            const double wantV = 1 - (0.5 - std::sin(0.5) * u + std::cos(0.5) * v);
            const auto got = moved.at(xy);
            QVERIFY2(std::hypot(got.first - wantU, got.second - wantV) < 1e-5,
                     qPrintable(QString("(%1, %2) for (%3, %4)").arg(got.first).arg(got.second).arg(wantU).arg(wantV)));
        }
    }

    void suffixesAndRefusals_data()
    {
        QTest::addColumn<QString>("name"); // created below the scratch folder from the shared .glb
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("upper case") << "BOX.GLB" << 0 << "";
        QTest::newRow("mixed case") << "box.GlB" << 0 << "";
        QTest::newRow("folder named x.glb") << "x.glb/" << 2 << "is a folder, not a file";
        QTest::newRow("unknown suffix") << "box.blend" << 2 << ".gltf, .glb, .obj, .dae, .ply, .stl, .3ds";
        QTest::newRow("gltf without its .bin")
            << "lonely/BoxTextured.gltf" << 3 << "\"BoxTextured0.bin\", which is missing";
    }

    void suffixesAndRefusals()
    {
        QFETCH(QString, name);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QString glb = sharedModels() + "/assimp/test/models/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb";
        const QString gltf = sharedModels() + "/assimp/test/models/glTF2/BoxTextured-glTF/BoxTextured.gltf";
        if (sharedModels().isEmpty() || !QFileInfo::exists(glb))
            QSKIP("shared models not present");
        const QString input = m_work.path() + "/in" + QString::number(m_runs) + "/" + name;
        QVERIFY(QDir().mkpath(QFileInfo(input).path()));
        if (name.endsWith('/'))
            QVERIFY(QDir().mkpath(input));
        else
            QVERIFY(QFile::copy(name.endsWith(".gltf") ? gltf : glb, input));
        QString vm3;
        const Run converted = convertVm3(QDir::cleanPath(input), &vm3);
        QCOMPARE(converted.exitCode, exitCode);
        QVERIFY2(converted.err.contains(message), qPrintable(converted.err));
        QCOMPARE(QFileInfo::exists(vm3), exitCode == 0);
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"

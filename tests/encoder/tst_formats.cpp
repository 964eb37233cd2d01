// Source formats other than FBX, end to end through the program's --convert:
// every real non-FBX file of the shared models folder converts, and what the
// engine's reader finds in the written bundle matches Assimp's own reading
// (`assimp info`); suffixes in any case are accepted, a folder named like a model
// and a glTF without its buffer file are refused with a message that says why.

#include "EncoderTestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <set>

using namespace encodertest;

namespace {

struct Counts {
    int nodes = 0, drawnNodes = 0, parts = 0, triangles = 0, materials = 0, animations = 0, joints = 0;
    QStringList nodeNames; // named nodes below the root
    QList<int> figures() const { return {drawnNodes, parts, triangles, materials, animations, joints}; }
};

QString program() { return qEnvironmentVariable("VELMORA_BUILD_DIR") + "/bin/Velmora3dEncoder"; }

int field(const QString& info, const char* name)
{
    const QRegularExpression line(QString("^%1:\\s+(\\d+)$").arg(name), QRegularExpression::MultilineOption);
    return line.match(info).captured(1).toInt();
}

// What `assimp info` says, counted the way the engine sees it: only triangle meshes are geometry (Assimp
// also lists the point and line meshes that degenerate faces turn into), each is a part of the node that
// draws it, and a mesh drawn by two nodes counts twice, as every drawing node has a model of its own.
// Assimp's Collada reader invents a stick-figure mesh (and material) for a scene without geometry, which
// the encoder asks it not to: those `invented` are not counted.
Counts assimpCounts(const QString& info, int invented)
{
    Counts counts;
    counts.nodes = field(info, "Nodes");
    counts.materials = field(info, "Materials");
    counts.animations = field(info, "Animations");
    counts.joints = field(info, "Bones");
    QMap<int, int> triangleMeshFaces;
    const QRegularExpression mesh("^\\s+(\\d+) \\(.*\\): \\[\\d+ / \\d+ / (\\d+) \\| triangle\\]$",
                                  QRegularExpression::MultilineOption);
    for (auto it = mesh.globalMatch(info); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        triangleMeshFaces[m.captured(1).toInt()] = m.captured(2).toInt();
    }
    const QStringList hierarchy = info.section("Node hierarchy:\n", 1).split('\n', Qt::SkipEmptyParts);
    const QRegularExpression node(
        QString::fromUtf8("^[\\s\u2502\u251c\u2514\u2574]*(.*?)(?: ?\\(mesh ([\\d, ]+)\\))?$"));
    for (const QString& line : hierarchy) {
        const QRegularExpressionMatch m = node.match(line);
        // The root may be left out of the bundle, and unnamed nodes get made-up names.
        if (&line != &hierarchy.first() && !m.captured(1).isEmpty())
            counts.nodeNames << m.captured(1);
        int parts = 0;
        for (const QString& index : m.captured(2).split(", ", Qt::SkipEmptyParts)) {
            parts += triangleMeshFaces.contains(index.toInt()) ? 1 : 0;
            counts.triangles += triangleMeshFaces.value(index.toInt());
        }
        counts.parts += parts;
        counts.drawnNodes += parts > 0 ? 1 : 0;
    }
    if (invented) {
        counts.drawnNodes -= invented, counts.parts -= invented, counts.materials -= invented;
        counts.triangles = counts.joints = 0;
    }
    return counts;
}

// The encoder's own summary line, as model-encoder prints it for the application.
QList<int> reported(const QString& out)
{
    static const QRegularExpression summary(
        R"(^Bundle: (\d+) nodes, (\d+) meshes \((\d+) shared uses\), (\d+) vertices, )"
        R"((\d+) skin joints, (\d+) lights, (\d+) animations \((\d+) keys\))",
        QRegularExpression::MultilineOption);
    QList<int> numbers;
    for (int i = 1; i <= summary.captureCount(); ++i)
        numbers << summary.match(out).captured(i).toInt();
    return numbers;
}

// The same figures, as the engine reads them from the bundle.
QList<int> readBack(const BundleData& b)
{
    int models = 0, vertices = 0, joints = 0, lights = 0, keys = 0;
    for (const BundleData::Node& node : b.nodes) {
        models += node.hasModel ? 1 : 0;
        joints += int(node.model.skin.joints.size());
        lights += node.light.type != BundleData::NO_LIGHT ? 1 : 0;
    }
    for (const BundleData::Mesh& mesh : b.meshes)
        vertices += int(mesh.vertexCount);
    for (const BundleData::Animation& animation : b.animations) {
        for (const BundleData::Channel& channel : animation.channels)
            keys += int(channel.keyTimes.size());
    }
    return {int(b.nodes.size()),
            int(b.meshes.size()),
            models - int(b.meshes.size()),
            vertices,
            joints,
            lights,
            int(b.animations.size()),
            keys};
}

// Triangles with a corner twice add nothing to the picture; Assimp's own reading drops them.
int drawableTriangles(const BundleData::Mesh& mesh)
{
    const std::vector<float> vertices = vertexFloats(mesh);
    const auto sameSpot = [&](uint32_t a, uint32_t b) {
        return std::equal(&vertices[a * floatsPerVertex(mesh)], &vertices[a * floatsPerVertex(mesh) + 3],
                          &vertices[b * floatsPerVertex(mesh)]);
    };
    int triangles = 0;
    for (const BundleData::Part& part : mesh.parts) {
        const std::vector<uint32_t> indices = indicesOf(part);
        for (size_t i = 0; i + 2 < indices.size(); i += 3) {
            const uint32_t* t = &indices[i];
            triangles += sameSpot(t[0], t[1]) || sameSpot(t[1], t[2]) || sameSpot(t[0], t[2]) ? 0 : 1;
        }
    }
    return triangles;
}

Counts bundleCounts(const BundleData& b, int materials)
{
    Counts counts;
    counts.nodes = int(b.nodes.size());
    counts.animations = int(b.animations.size());
    counts.materials = materials;
    std::set<int> joints;
    for (const BundleData::Node& node : b.nodes) {
        counts.nodeNames << QString::fromStdString(node.id);
        joints.insert(node.model.skin.joints.begin(), node.model.skin.joints.end());
        if (node.hasModel) {
            ++counts.drawnNodes;
            counts.parts += int(meshOf(b, node).parts.size());
            counts.triangles += drawableTriangles(meshOf(b, node));
        }
    }
    counts.joints = int(joints.size());
    return counts;
}

} // namespace

class TestFormats : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;
    int m_runs = 0;

    Run convertVm3(const QString& input, QString* output = nullptr)
    {
        const QString vm3 = m_work.path() + QString("/out%1.vm3").arg(++m_runs);
        if (output)
            *output = vm3;
        return runProgram(program(), {"--convert", input, vm3});
    }

private slots:
    void initTestCase() { QVERIFY(m_work.isValid()); }

    void sharedFileMatchesAssimp_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("inventedMeshes");
        // Textures the file brings: external by relative path (glTF uri, OBJ map_Kd with backslashes, 3DS in
        // the wrong case) or embedded (.glb).
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
                    {"PLY/cube_uv.ply", 0},
                    {"PLY/cube_binary.ply", 0},
                    {"STL/Spider_ascii.stl", 0},
                    {"STL/Spider_binary.stl", 0},
                    {"3DS/cube_with_diffuse_texture.3DS", 1}};
        for (const auto& row : rows)
            QTest::newRow(row.file) << QString("assimp/test/models/") + row.file << 0 << row.textures;
        QTest::newRow("Collada/lights.dae") << "assimp/test/models/Collada/lights.dae" << 1 << 0;
    }

    void sharedFileMatchesAssimp()
    {
        QFETCH(QString, file);
        QFETCH(int, inventedMeshes);
        QFETCH(int, textures);
        const QString source = sharedModels() + "/" + file;
        if (sharedModels().isEmpty() || !QFileInfo::exists(source))
            QSKIP("shared models not present");

        QString vm3;
        const Run converted = convertVm3(source, &vm3);
        QVERIFY2(converted.exitCode == 0, qPrintable(converted.err));
        QVERIFY2(!converted.err.contains("error GP#"), qPrintable(converted.err));
        const QString folder = m_work.path() + QString("/unpacked%1").arg(m_runs);
        QCOMPARE(runProgram("unzip", {"-q", vm3, "-d", folder}).exitCode, 0);
        BundleData b;
        QCOMPARE(bundleProblem(folder + "/model/model.gpb", b), QString());
        QStringList materials;
        QCOMPARE(unresolvedMaterials(b, folder + "/model/model.material", &materials), QStringList());

        const Run info = runProgram("assimp", {"info", source});
        QCOMPARE(info.exitCode, 0);
        const Counts expected = assimpCounts(info.out, inventedMeshes), written = bundleCounts(b, materials.size());
        // Every node is kept; the root is left out when it carries nothing, and a camera may get a child
        // that turns it to look down the engine's axis.
        QVERIFY2(written.nodes >= expected.nodes - 1, qPrintable(QString("%1 nodes").arg(written.nodes)));
        for (const QString& name : expected.nodeNames)
            QVERIFY2(written.nodeNames.contains(name), qPrintable(name));
        QCOMPARE(written.figures(), expected.figures());
        // What the encoder says it wrote is what the engine reads.
        QVERIFY(QDir().mkpath(folder + "/direct"));
        const Run encoded = convert(source, folder + "/direct/model.gpb");
        QCOMPARE(encoded.exitCode, 0);
        QCOMPARE(readBack(b), reported(encoded.out));
        QCOMPARE(QDir(folder + "/model/tex").entryList(QDir::Files).size(), textures);
        // Nothing to draw is said the same way for every format.
        QCOMPARE(converted.err.contains("warning GP#2007 [Nothing to draw]"), expected.drawnNodes == 0);
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

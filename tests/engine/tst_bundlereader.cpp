// The bundle reader on hand-written bundles: version rules, the table,
// node trees with re-parenting and cycles, failing meshes that must not
// desynchronise the rest, joints outside the scene, and hostile bytes.
#include "BundleReader.h"

#include "Bundle.h"
#include "BundleInfo.h"
#include "Model.h"
#include "Node.h"
#include "Scene.h"

#include "GpbBuilder.h"

#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <string>
#include <vector>

using namespace engine;
using enginetest::GpbBuilder;

namespace {

// "id" with markers: @ camera, * light, #mesh, ~joints; children in brackets.
std::string describe(const BundleData& data, int n)
{
    const BundleData::Node& node = data.nodes[size_t(n)];
    std::string s = node.id;
    if (node.camera.type != BundleData::NO_CAMERA)
        s += "@";
    if (node.light.type != BundleData::NO_LIGHT)
        s += "*";
    if (node.hasModel)
        s += "#" + data.meshes[size_t(node.model.mesh)].id;
    if (node.model.hasSkin) {
        s += "~";
        for (int j : node.model.skin.joints)
            s += j >= 0 ? data.nodes[size_t(j)].id : "?";
    }
    if (!node.children.empty()) {
        s += "(";
        for (size_t i = 0; i < node.children.size(); ++i)
            s += (i ? " " : "") + describe(data, node.children[i]);
        s += ")";
    }
    return s;
}

std::string describe(const BundleData& data)
{
    std::string s;
    for (int root : data.roots)
        s += (s.empty() ? "" : " ") + describe(data, root);
    for (int root : data.detachedRoots)
        s += " | " + describe(data, root);
    if (data.activeCameraNode >= 0)
        s += " active=" + data.nodes[size_t(data.activeCameraNode)].id;
    for (const BundleData::Animation& a : data.animations)
        s += " anim=" + a.id + ":" + std::to_string(a.channels.size());
    for (const BundleProblem& p : data.problems)
        s += std::string(" !") + BundleProblem::kindName(p.kind) + ":" + p.id;
    return s;
}

// Reads a whole bundle; the description, or "error" when it failed.
std::string readScene(const std::string& bytes, BundleData* out = nullptr)
{
    BundleReader reader;
    BundleData data;
    const bool ok
        = reader.open(std::vector<unsigned char>(bytes.begin(), bytes.end())) && reader.readScene(nullptr, &data);
    if (out)
        *out = data;
    return ok ? describe(data) : "error";
}

// Scene "a(b#m) c" with a mesh of 3 vertices, material "mat" on b.
std::string plainBundle(uint8_t major, uint8_t minor)
{
    GpbBuilder b(major, minor);
    b.record("scene", 1);
    b.u32(2);
    b.beginNode("a", 1);
    b.beginNode("b", 0, 1);
    b.endNode("#m", {"mat"});
    b.endNode("", {}, 1);
    b.leaf("c");
    b.sceneEnd("#a");
    b.mesh("m", 3);
    b.record("anims", 3);
    b.u32(1);
    b.str("walk");
    b.u32(2);
    for (const char* target : {"b", "nobody"}) {
        b.str(target);
        b.u32(10);
        b.u32(1);
        b.u32(0);
        b.u32(3);
        b.f32(1);
        b.f32(2);
        b.f32(3);
        b.u32(0);
        b.u32(0);
        b.u32(0);
    }
    return b.build();
}

std::string listed(const BundleProblems& problems)
{
    std::string s;
    for (const BundleProblem& p : problems)
        s += std::string(s.empty() ? "" : " ") + BundleProblem::kindName(p.kind) + ":" + p.id;
    return s;
}

using Build = std::function<void(GpbBuilder&)>;

std::string sceneOf(const Build& nodes, uint32_t rootCount, const Build& after = Build())
{
    GpbBuilder b;
    b.record("scene", 1);
    b.u32(rootCount);
    nodes(b);
    b.sceneEnd();
    if (after)
        after(b);
    return b.build();
}

} // namespace

class TestBundleReader : public QObject {
    Q_OBJECT

private slots:
    void readsWhatWasWritten_data();
    void readsWhatWasWritten();
    void meshBytesArriveUnchanged();
    void everyTruncationFailsCleanly();
    void engineAndInfoAgree_data();
    void engineAndInfoAgree();
};

void TestBundleReader::readsWhatWasWritten_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const std::string& bytes, const char* expected) {
        QTest::newRow(name) << QByteArray(bytes.data(), int(bytes.size())) << expected;
    };
    const char* plain = "a@(b#m) c active=a anim=walk:1 !channel:nobody";
    row("version 4.0", plainBundle(4, 0), plain);
    row("version 3.7 has no offset matrices", plainBundle(3, 7), plain);
    row("version 4.1", plainBundle(4, 1), "error");
    std::string emptyId = plainBundle(4, 0);
    emptyId[15] = emptyId[16] = emptyId[17] = emptyId[18] = 0; // first id's length
    row("empty reference id", emptyId, "error");

    row("camera type 3 reads its floats and makes no camera",
        sceneOf([](GpbBuilder& b) { b.beginNode("a", 0), b.endNode("", {}, 3), b.leaf("b"); }, 2), "a b");
    row("every light type",
        sceneOf(
            [](GpbBuilder& b) {
                for (uint8_t type : {1, 2, 3, 4})
                    b.beginNode(std::string("l") + char('0' + type), 0), b.endNode("", {}, 0, type);
            },
            4),
        "l1* l2* l3* l4");
    const Build failingMeshThenSibling = [](GpbBuilder& b) {
        b.beginNode("a", 0), b.endNode("#bad", {"m1", "m2"});
        b.leaf("b", 0, "#good");
    };
    row("index format 0x1402 fails the mesh, not what follows",
        sceneOf(failingMeshThenSibling, 2, [](GpbBuilder& b) { b.mesh("bad", 3, 0x1402), b.mesh("good", 3); }),
        "a b#good !part:bad part 0 !mesh:bad");
    row("an index past the vertices fails the mesh",
        sceneOf(failingMeshThenSibling, 2, [](GpbBuilder& b) { b.mesh("bad", 3, 0x1403, 0xFFFF), b.mesh("good", 3); }),
        "a b#good !part:bad part 0 !mesh:bad");
    row("a bad part leaves the mesh its good ones",
        sceneOf([](GpbBuilder& b) { b.leaf("a", 0, "#m"); }, 1, [](GpbBuilder& b) { b.mesh("m", 3, 0x1403, 3, 2); }),
        "a#m !part:m part 0");
    row("a missing mesh makes no model", sceneOf(failingMeshThenSibling, 2, [](GpbBuilder& b) { b.mesh("good", 3); }),
        "a b#good !mesh:bad");
    GpbBuilder moved;
    moved.record("scene", 1);
    moved.u32(2);
    moved.leaf("a");
    moved.beginNode("b", 1);
    moved.beginNode("a", 0, 5), moved.endNode(); // a second entry named "a": the first wins
    moved.endNode();
    moved.sceneEnd();
    row("re-parented child", moved.build(), "b(a)");
    GpbBuilder movedLate; // past the first look-ups, which walk the table rather than index it
    movedLate.record("scene", 1);
    movedLate.u32(22);
    for (int i = 0; i < 20; ++i)
        movedLate.leaf("n" + std::to_string(i));
    movedLate.leaf("a");
    movedLate.beginNode("b", 1);
    movedLate.beginNode("a", 0, 5), movedLate.endNode();
    movedLate.endNode();
    movedLate.sceneEnd();
    row("re-parented child after many look-ups", movedLate.build(),
        "n0 n1 n2 n3 n4 n5 n6 n7 n8 n9 n10 n11 n12 n13 n14 n15 n16 n17 n18 n19 b(a)");
    GpbBuilder cycle;
    cycle.record("scene", 1);
    cycle.u32(1);
    cycle.beginNode("a", 1);
    cycle.beginNode("b", 1);
    cycle.beginNode("a", 0), cycle.endNode(); // names its grandparent
    cycle.endNode();
    cycle.endNode();
    cycle.sceneEnd();
    row("a child naming its ancestor ends the cycle", cycle.build(), "a(b)");
    row("nesting beyond the limit",
        sceneOf(
            [](GpbBuilder& b) {
                for (int i = 0; i < 300; ++i)
                    b.beginNode("", 1);
                b.leaf("");
                for (int i = 0; i < 300; ++i)
                    b.endNode();
            },
            1),
        "error");
    row("child count beyond the file", sceneOf([](GpbBuilder& b) { b.beginNode("a", 0x7FFFFFFF), b.endNode(); }, 1),
        "error");

    const auto skinned = [](const std::vector<std::string>& joints) {
        return sceneOf([&](GpbBuilder& b) { b.beginNode("skinned", 0), b.endNode("#m", {}, 0, 0, &joints); }, 1,
                       [](GpbBuilder& b) {
                           b.mesh("m", 3);
                           b.record("hip", 2), b.beginNode("", 1), b.beginNode("j", 0, 0, 2, "hip"), b.endNode();
                           b.endNode();
                       });
    };
    const std::vector<std::string> none;
    row("joints outside the scene come with their parents", skinned({"#j", "#j"}), "skinned#m~jj | hip(j)");
    row("a missing joint leaves the skin out and loads none of its joints", skinned({"#j", "#missing", "#j"}),
        "skinned#m !skin:m");
    row("a joint that is no node reference leaves the skin out", skinned({"#j", "j"}), "skinned#m !skin:m");
    row("a skin without joints is left out",
        sceneOf([&](GpbBuilder& b) { b.beginNode("s", 0), b.endNode("#m", {}, 0, 0, &none), b.leaf("t"); }, 2,
                [](GpbBuilder& b) { b.mesh("m", 3); }),
        "s#m t !skin:m");
    const auto channels = [](const std::vector<std::vector<uint32_t>>& keyTimes, uint32_t values) {
        return sceneOf([](GpbBuilder& b) { b.leaf("a"); }, 1,
                       [&](GpbBuilder& b) {
                           b.record("anims", 3), b.u32(1), b.str("walk"), b.u32(uint32_t(keyTimes.size()));
                           for (const std::vector<uint32_t>& times : keyTimes) {
                               b.str("a"), b.u32(9), b.u32(uint32_t(times.size()));
                               for (uint32_t t : times)
                                   b.u32(t);
                               b.u32(values);
                               for (uint32_t v = 0; v < values; ++v)
                                   b.f32(float(v));
                               b.u32(0), b.u32(0), b.u32(0);
                           }
                       });
    };
    row("key times that run backwards", channels({{0, 20, 10}, {0, 10, 20}}, 9), "a anim=walk:1 !channel:a");
    row("too few values for the keys", channels({{0, 10, 20}}, 8), "a !channel:a");
    std::string listed = "s";
    for (int i = 1; i < 150; ++i)
        listed += " s";
    for (int i = 0; i < 100; ++i)
        listed += " !mesh:nobody";
    row("reported problems stop at a hundred",
        sceneOf(
            [](GpbBuilder& b) {
                for (int i = 0; i < 150; ++i)
                    b.leaf("s", 0, "#nobody");
            },
            150),
        (listed + " !mesh:").c_str());
}

void TestBundleReader::readsWhatWasWritten()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(readScene(bytes.toStdString())), expected);
}

void TestBundleReader::meshBytesArriveUnchanged()
{
    BundleData data;
    QVERIFY(readScene(plainBundle(4, 0), &data) != "error");
    QCOMPARE(int(data.meshes.size()), 1);
    const BundleData::Mesh& mesh = data.meshes[0];
    QCOMPARE(mesh.vertexCount, 3u);
    QCOMPARE(mesh.vertexSize, 12u);
    float last = 0;
    std::memcpy(&last, mesh.vertices + 32, 4);
    QCOMPARE(last, 8.0f);
    QCOMPARE(mesh.parts[0].indexCount, 3u);
    const unsigned char* indices = mesh.parts[0].indices;
    QCOMPARE(std::vector<unsigned char>(indices, indices + 6), (std::vector<unsigned char> {0, 0, 1, 0, 2, 0}));
    const BundleData::Node& b = data.nodes[size_t(data.nodes[size_t(data.roots[0])].children[0])];
    QCOMPARE(b.model.materials, std::vector<std::string> {"mat"});
    QCOMPARE(b.transform.m[12], 1.0f);
    QVERIFY(b.hasOffset);
    QCOMPARE(data.ambientColor.z, 0.3f);
    QCOMPARE(data.animations[0].channels[0].keyValues, (std::vector<float> {1, 2, 3}));
}

void TestBundleReader::everyTruncationFailsCleanly()
{
    const std::string whole = plainBundle(4, 0);
    for (size_t size = 0; size < whole.size(); ++size) {
        BundleData data;
        QCOMPARE(readScene(whole.substr(0, size), &data).c_str(), "error");
        QVERIFY(data.nodes.empty() && data.meshes.empty());
    }
}

void TestBundleReader::engineAndInfoAgree_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("materialFile");
    QTest::addColumn<QString>("problems");
    QTest::addColumn<float>("x"); // where the engine puts node "a"
    const auto row
        = [](const char* name, const std::string& bytes, const char* materials, const char* problems, float x) {
              QTest::newRow(name) << QByteArray(bytes.data(), int(bytes.size())) << materials << problems << x;
          };
    row("an index past the vertices",
        sceneOf([](GpbBuilder& b) { b.leaf("a", 0, "#bad"), b.leaf("b", 0, "#good"); }, 2,
                [](GpbBuilder& b) { b.mesh("bad", 3, 0x1403, 0xFFFF), b.mesh("good", 3); }),
        "", "part:bad part 0 mesh:bad", 0);
    row("a triangle fan, which the engine cannot draw",
        sceneOf([](GpbBuilder& b) { b.leaf("a", 0, "#fan"); }, 1,
                [](GpbBuilder& b) { b.mesh("fan", 3, 0x1403, 2, 1, 6); }),
        "", "part:fan part 0 mesh:fan", 0);
    const Build named = [](GpbBuilder& b) { b.beginNode("a", 0, 2), b.endNode("#m", {"material"}); };
    const Build mesh = [](GpbBuilder& b) { b.mesh("m", 3); };
    row("a part naming an id the file lacks gets no other material", sceneOf(named, 1, mesh), "material first\n{\n}\n",
        "material:material", 2);
    const std::vector<std::string> joints = {"#a", "#gone"};
    row("a skin naming a missing joint",
        sceneOf([&](GpbBuilder& b) { b.beginNode("a", 0, 3), b.endNode("#m", {}, 0, 0, &joints); }, 1, mesh), "",
        "skin:m", 3);
    row("scale 0 keeps the translation",
        sceneOf(
            [](GpbBuilder& b) {
                b.mark("a"), b.u32(1);
                for (int i = 0; i < 16; ++i)
                    b.f32(i == 12 ? 5.0f : i == 15 ? 1.0f : 0.0f);
                b.matrix(), b.str(""), b.u32(0), b.endNode();
            },
            1),
        "", "", 5);
}

// What --info says a model holds is what the engine builds from it.
void TestBundleReader::engineAndInfoAgree()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, materialFile);
    QFETCH(QString, problems);
    QFETCH(float, x);
    QTemporaryDir folder;
    QFile bundleFile(folder.filePath("model.gpb"));
    QVERIFY(bundleFile.open(QIODevice::WriteOnly) && bundleFile.write(bytes) == bytes.size());
    bundleFile.close();
    QFile materials(folder.filePath("model.material"));
    QVERIFY(materialFile.isEmpty() || (materials.open(QIODevice::WriteOnly) && materials.write(materialFile.toUtf8())));
    materials.close();

    Bundle* bundle = Bundle::create(std::string(), bundleFile.fileName().toUtf8().constData());
    QVERIFY(bundle);
    bundle->setLoadMaterials(false);
    Scene* scene = bundle->loadScene();
    QVERIFY(scene);
    unsigned nodes = 0, models = 0, parts = 0, skins = 0;
    scene->visit([&](Node* node) {
        ++nodes;
        if (auto* model = dynamic_cast<Model*>(node->getDrawable()))
            ++models, parts += model->getMeshPartCount(), skins += model->getSkin() != nullptr;
        return true;
    });
    BundleInfo::Summary summary;
    QVERIFY(BundleInfo::summarise(folder.path().toStdString(), &summary, nullptr));
    QCOMPARE(QVector<unsigned>({nodes, models, parts, skins}),
             QVector<unsigned>({summary.nodes, summary.models, summary.parts, unsigned(summary.skins.size())}));
    QCOMPARE(QString::fromStdString(listed(bundle->getProblems())), problems);
    QCOMPARE(QString::fromStdString(listed(summary.problems)), problems);
    QCOMPARE(scene->findNode("a")->getTranslationX(), x);
    scene->release();
    bundle->release();
}

QTEST_APPLESS_MAIN(TestBundleReader)
#include "tst_bundlereader.moc"

// Small scenes built in memory and converted as the encoder converts an
// imported file: shared meshes, take lengths, material ids the engine's
// properties grammar must find, influence warnings and dropped morph animation.

#include "Encoder.h"
#include "EncoderTestSupport.h"
#include "MessageCodes.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <set>

using namespace encodertest;

Q_DECLARE_METATYPE(AnimationGrouping)

namespace {

// `copies` unit quads of two triangles each, with material `material`; stacked along z when `spread`,
// else all in one place (their corners identical, to be joined). With `bones`, five bones ("bone0" to
// "bone4") move every vertex.
aiMesh* makeQuad(unsigned material = 0, unsigned copies = 1, bool spread = false, bool bones = false)
{
    auto* mesh = new aiMesh;
    const aiVector3D corners[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    std::vector<aiVector3D> positions;
    std::vector<aiFace> faces(2 * copies);
    for (unsigned v = 0; v < 4 * copies; ++v)
        positions.push_back(corners[v % 4] + aiVector3D(0, 0, spread ? float(v / 4) : 0.0f));
    for (unsigned f = 0; f < faces.size(); ++f) {
        const unsigned first = 4 * (f / 2);
        faces[f].mNumIndices = 3;
        faces[f].mIndices = new unsigned[3] {first, first + 1 + f % 2, first + 2 + f % 2};
    }
    setArray(mesh->mVertices, mesh->mNumVertices, positions);
    setArray(mesh->mNormals, mesh->mNumVertices, std::vector<aiVector3D>(positions.size(), aiVector3D(0, 0, 1)));
    setArray(mesh->mFaces, mesh->mNumFaces, faces);
    for (unsigned b = 0; bones && b < 5; ++b) {
        std::vector<aiVertexWeight> weights;
        for (unsigned v = 0; v < mesh->mNumVertices; ++v)
            weights.emplace_back(v, 0.1f + 0.1f * float(b));
        std::vector<aiBone*> all(mesh->mBones, mesh->mBones + mesh->mNumBones);
        all.push_back(new aiBone);
        all.back()->mName = aiString("bone" + std::to_string(b));
        setArray(all.back()->mWeights, all.back()->mNumWeights, weights);
        delete[] mesh->mBones;
        setArray(mesh->mBones, mesh->mNumBones, all);
    }
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh->mMaterialIndex = material;
    return mesh;
}

aiNode* addNode(aiNode& parent, const std::string& name, const std::vector<unsigned>& meshes = {})
{
    auto* node = new aiNode(name);
    node->mParent = &parent;
    setArray(node->mMeshes, node->mNumMeshes, meshes);
    std::vector<aiNode*> children(parent.mChildren, parent.mChildren + parent.mNumChildren);
    children.push_back(node);
    delete[] parent.mChildren;
    setArray(parent.mChildren, parent.mNumChildren, children);
    return node;
}

// A take that moves `node` with position keys at `keyTimes` (ticks, 30 per second).
aiAnimation* makeTake(const std::string& name, double duration, const std::string& node,
                      const std::vector<double>& keyTimes)
{
    auto* take = new aiAnimation;
    take->mName = aiString(name);
    take->mDuration = duration;
    take->mTicksPerSecond = 30;
    std::vector<aiVectorKey> keys;
    for (double time : keyTimes)
        keys.emplace_back(time, aiVector3D(float(keys.size()), 0, 0));
    if (!keys.empty()) {
        auto* channel = new aiNodeAnim;
        channel->mNodeName = aiString(node);
        setArray(channel->mPositionKeys, channel->mNumPositionKeys, keys);
        setArray(take->mChannels, take->mNumChannels, std::vector<aiNodeAnim*> {channel});
    }
    return take;
}

// A scene of these meshes, materials (by name) and takes, with only its root node.
std::unique_ptr<aiScene> scene(const std::vector<aiMesh*>& meshes, const std::vector<std::string>& materials,
                               const std::vector<aiAnimation*>& takes = {})
{
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("Root");
    std::vector<aiMaterial*> made;
    for (const std::string& name : materials)
        made.push_back(makeMaterial(name.c_str()));
    setArray(scene->mMaterials, scene->mNumMaterials, made);
    setArray(scene->mMeshes, scene->mNumMeshes, meshes);
    setArray(scene->mAnimations, scene->mNumAnimations, takes);
    return scene;
}

} // namespace

class TestSceneFaults : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_work;
    int m_runs = 0;
    QString m_folder;
    Messages m_messages;
    BundleData m_bundle;

    // Converts `scene` into a fresh model folder and reads the bundle back into m_bundle.
    QString convertScene(const aiScene& scene, AnimationGrouping grouping = AnimationGrouping::Take)
    {
        m_folder = m_work.filePath(QString("m%1").arg(++m_runs));
        QDir().mkpath(m_folder);
        EncoderOptions options;
        options.grouping = grouping;
        options.inputPath = (m_work.path() + "/scene.fbx").toStdString();
        options.outputPath = (m_folder + "/model.gpb").toStdString();
        m_messages = Messages();
        return Encoder(options, m_messages).convertScene(scene, false) == 0
            ? bundleProblem(m_folder + "/model.gpb", m_bundle)
            : "conversion failed";
    }

    QStringList warningsWith(int code) const
    {
        QStringList texts;
        for (const Messages::Entry& entry : m_messages.entries()) {
            if (entry.code == code)
                texts << QString::fromStdString(entry.text);
        }
        return texts;
    }

private slots:
    void instancesShareOneMeshRecord_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<int>("records");
        QTest::newRow("30 plain instances") << "plain" << 1;
        QTest::newRow("one instance mirrored: its winding differs") << "mirrored" << 2;
        QTest::newRow("skinned instances keep their own") << "skinned" << 30;
        QTest::newRow("one instance grouped with a second piece") << "grouped" << 2;
    }

    void instancesShareOneMeshRecord()
    {
        QFETCH(QString, variant);
        QFETCH(int, records);
        const std::unique_ptr<aiScene> crates
            = scene({makeQuad(0, 40, true, variant == "skinned"), makeQuad()}, {"Paint"});
        for (int i = 0; i < 5 && variant == "skinned"; ++i)
            addNode(*crates->mRootNode, "bone" + std::to_string(i));
        for (int i = 0; i < 30; ++i) {
            const bool last = i == 29;
            aiNode* node
                = addNode(*crates->mRootNode, "crate" + std::to_string(i),
                          last && variant == "grouped" ? std::vector<unsigned> {0, 1} : std::vector<unsigned> {0});
            aiMatrix4x4::Translation(aiVector3D(float(i), 0, 0), node->mTransformation);
            node->mTransformation.a1 = last && variant == "mirrored" ? -1 : 1;
        }
        QCOMPARE(convertScene(*crates), QString());
        QCOMPARE(int(m_bundle.meshes.size()), records);
        std::set<int> drawn;
        for (const BundleData::Node& node : m_bundle.nodes) {
            if (node.id.rfind("crate", 0) == 0)
                drawn.insert(node.model.mesh);
        }
        QCOMPARE(int(drawn.size()), records);
        QVERIFY2(variant != "plain" || QFileInfo(m_folder + "/model.gpb").size() < 16000,
                 "an instanced scene writes its mesh once");
    }

    void clipsSpanTheirTake_data()
    {
        // Frames 0-119 at 30 per second; the keys lie in frames 39-99.
        QTest::addColumn<AnimationGrouping>("grouping");
        QTest::newRow("one animation per take") << AnimationGrouping::Take;
        QTest::newRow("one per top-level node") << AnimationGrouping::Root;
        QTest::newRow("one per node") << AnimationGrouping::None;
    }

    void clipsSpanTheirTake()
    {
        QFETCH(AnimationGrouping, grouping);
        const std::unique_ptr<aiScene> walk
            = scene({}, {}, {makeTake("Walk", 119, "Hips", {39, 60, 99}), makeTake("Idle", 119, "Spine", {39, 99})});
        addNode(*addNode(*walk->mRootNode, "Hips"), "Spine");
        QCOMPARE(convertScene(*walk, grouping), QString());
        QVERIFY(!m_bundle.animations.empty());
        for (const BundleData::Animation& animation : m_bundle.animations) {
            for (const BundleData::Channel& channel : animation.channels) {
                QCOMPARE(channel.keyTimes.front(), 0u);
                QCOMPARE(channel.keyTimes.back(), 3967u);
                // Held: the first and last key values repeat at the take's ends.
                const std::vector<float>& values = channel.keyValues;
                QVERIFY(values[7] == values[17] && values[values.size() - 3] == values[values.size() - 13]);
            }
        }
    }

    void materialIdsNameTheirOwnBlock_data()
    {
        QTest::addColumn<QByteArrayList>("names"); // one source material each; "-" is a part without material
        for (const char* word :
             {"default", "technique", "pass", "renderState", "sampler", "material", "u_diffuseTexture"}) {
            QTest::newRow(word) << QByteArrayList {word};
            QTest::newRow(qPrintable(QString(word) + " among others")) << QByteArrayList {"Wood", word};
        }
        QTest::newRow("grammar characters, empty, UTF-8, broken UTF-8, twice the same")
            << QByteArrayList {"a b#c/d{e}=f:g", "", "Mat\xC3\xA9riau_\xE6\x9D\x90", "bad\xFFutf8", "Body", "Body"};
        QTest::newRow("part without material") << QByteArrayList {"-"};
        QTest::newRow("part without material beside one with") << QByteArrayList {"Wood", "-"};
    }

    void materialIdsNameTheirOwnBlock()
    {
        QFETCH(QByteArrayList, names);
        std::vector<std::string> materials;
        std::vector<aiMesh*> quads;
        for (const QByteArray& name : names) {
            if (name != "-")
                materials.push_back(name.toStdString());
            quads.push_back(makeQuad(name == "-" ? 99u : unsigned(materials.size() - 1)));
        }
        const std::unique_ptr<aiScene> parts = scene(quads, materials);
        for (unsigned i = 0; i < quads.size(); ++i)
            addNode(*parts->mRootNode, "part" + std::to_string(i), {i});
        QCOMPARE(convertScene(*parts), QString());
        // Each part's name finds its own material block, the way the engine looks it up.
        QCOMPARE(unresolvedMaterials(m_bundle, m_folder + "/model.material"), QStringList());
        // Safe source names are kept, others made safe; every part has its own id.
        const std::map<QByteArray, std::string> kept
            = {{"Wood", "Wood"},
               {"a b#c/d{e}=f:g", "a_b_c_d_e__f_g"},
               {"Mat\xC3\xA9riau_\xE6\x9D\x90", "Mat\xC3\xA9riau_\xE6\x9D\x90"},
               {"bad\xFFutf8", "bad_utf8"}};
        std::set<std::string> ids;
        for (int i = 0; i < names.size(); ++i) {
            const std::string id = nodeNamed(m_bundle, "part" + std::to_string(i))->model.materials.front();
            QVERIFY2(ids.insert(id).second && !id.empty(), id.c_str());
            QVERIFY2(!kept.count(names[i]) || id == kept.at(names[i]), id.c_str());
        }
    }

    void influenceWarningCountsWrittenVertices_data()
    {
        QTest::addColumn<int>("copies"); // each quad corner written this many times, all identical
        QTest::addColumn<int>("pieces"); // material pieces of the one mesh
        QTest::newRow("corners repeated") << 3 << 1;
        QTest::newRow("two pieces") << 1 << 2;
        QTest::newRow("two pieces, corners repeated") << 2 << 2;
    }

    void influenceWarningCountsWrittenVertices()
    {
        QFETCH(int, copies);
        QFETCH(int, pieces);
        std::vector<aiMesh*> quads;
        for (unsigned p = 0; p < unsigned(pieces); ++p)
            quads.push_back(makeQuad(p, unsigned(copies), false, true));
        const std::unique_ptr<aiScene> body = scene(quads, {"M0", "M1"});
        addNode(*body->mRootNode, "Body", pieces == 1 ? std::vector<unsigned> {0} : std::vector<unsigned> {0, 1});
        for (int i = 0; i < 5; ++i)
            addNode(*body->mRootNode, "bone" + std::to_string(i));
        QCOMPARE(convertScene(*body), QString());
        QCOMPARE(m_bundle.meshes.at(0).vertexCount, uint32_t(4 * pieces));
        const QStringList warnings = warningsWith(MessageCode::TooManyInfluences);
        QVERIFY2(warnings.size() == 1 && warnings[0].startsWith(QString("%1 vertices").arg(4 * pieces)),
                 qPrintable(warnings.join('\n')));
    }

    void sourceAmbientColourIsKept_data()
    {
        QTest::addColumn<QVector<float>>("source"); // FBX's global "AmbientColor"
        QTest::addColumn<QVector<float>>("written");
        QTest::newRow("as given") << QVector<float> {0.25f, 0.5f, 0.125f} << QVector<float> {0.25f, 0.5f, 0.125f};
        QTest::newRow("brighter than white: its hue") << QVector<float> {3, 1.5f, 0} << QVector<float> {1, 0.5f, 0};
    }

    void sourceAmbientColourIsKept()
    {
        QFETCH(QVector<float>, source);
        QFETCH(QVector<float>, written);
        auto ground = scene({makeQuad()}, {"Ground"});
        addNode(*ground->mRootNode, "ground", {0});
        ground->mMetaData = aiMetadata::Alloc(1);
        ground->mMetaData->Set(0, "AmbientColor", aiVector3D(source[0], source[1], source[2]));
        QCOMPARE(convertScene(*ground), QString());
        const engine::Vector3& ambient = m_bundle.ambientColor;
        QCOMPARE((QVector<float> {ambient.x, ambient.y, ambient.z}), written);
    }

    void morphAnimationIsReported_data()
    {
        QTest::addColumn<bool>("withNodeChannel");
        QTest::newRow("morph channels only") << false;
        QTest::newRow("morph and node channels") << true;
    }

    void morphAnimationIsReported()
    {
        QFETCH(bool, withNodeChannel);
        aiAnimation* take
            = makeTake("Smile", 30, "Face", withNodeChannel ? std::vector<double> {0, 30} : std::vector<double> {});
        setArray(take->mMorphMeshChannels, take->mNumMorphMeshChannels,
                 std::vector<aiMeshMorphAnim*> {new aiMeshMorphAnim});
        take->mMorphMeshChannels[0]->mName = aiString("Face");
        const std::unique_ptr<aiScene> face = scene({makeQuad()}, {"Skin"}, {take});
        addNode(*face->mRootNode, "Face", {0});
        QCOMPARE(convertScene(*face), QString());
        const QStringList warnings = warningsWith(MessageCode::MorphAnimationDropped);
        QVERIFY(warnings.size() == 1 && warnings[0].contains("\"Smile\""));
        QCOMPARE(m_bundle.animations.size(), size_t(withNodeChannel ? 1 : 0));
    }
};

QTEST_GUILESS_MAIN(TestSceneFaults)
#include "tst_scene_faults.moc"

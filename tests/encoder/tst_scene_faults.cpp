// Small scenes built in memory and converted as the encoder converts an
// imported file: shared meshes, take lengths, ids the engine's properties
// grammar must find, influence warnings and dropped morph animation.

#include "Encoder.h"
#include "EncoderTestSupport.h"
#include "MessageCodes.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace encodertest;
using engine::Properties;

Q_DECLARE_METATYPE(AnimationGrouping)

namespace {

// `copies` unit quads of two triangles each, with material `material`; stacked along z when `spread`,
// else all in one place (their corners identical, to be joined).
aiMesh* makeQuad(unsigned material = 0, unsigned copies = 1, bool spread = false)
{
    auto* mesh = new aiMesh;
    const aiVector3D corners[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    mesh->mNumVertices = 4 * copies;
    mesh->mVertices = new aiVector3D[mesh->mNumVertices];
    mesh->mNormals = new aiVector3D[mesh->mNumVertices];
    for (unsigned v = 0; v < mesh->mNumVertices; ++v)
        mesh->mVertices[v] = corners[v % 4] + aiVector3D(0, 0, spread ? float(v / 4) : 0.0f),
        mesh->mNormals[v] = aiVector3D(0, 0, 1);
    const unsigned triangles[2][3] = {{0, 1, 2}, {0, 2, 3}};
    mesh->mNumFaces = 2 * copies;
    mesh->mFaces = new aiFace[mesh->mNumFaces];
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        mesh->mFaces[f].mNumIndices = 3;
        mesh->mFaces[f].mIndices = new unsigned[3];
        for (unsigned k = 0; k < 3; ++k)
            mesh->mFaces[f].mIndices[k] = triangles[f % 2][k] + 4 * (f / 2);
    }
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh->mMaterialIndex = material;
    return mesh;
}

// Five bones (children of the root named "bone0".."bone4") that all move every vertex.
void addFiveInfluences(aiMesh& mesh)
{
    mesh.mNumBones = 5;
    mesh.mBones = new aiBone*[5];
    for (unsigned b = 0; b < 5; ++b) {
        auto* bone = new aiBone;
        bone->mName = aiString("bone" + std::to_string(b));
        bone->mNumWeights = mesh.mNumVertices;
        bone->mWeights = new aiVertexWeight[mesh.mNumVertices];
        for (unsigned v = 0; v < mesh.mNumVertices; ++v)
            bone->mWeights[v] = aiVertexWeight(v, 0.1f + 0.1f * float(b));
        mesh.mBones[b] = bone;
    }
}

aiNode* addNode(aiNode& parent, const std::string& name, std::vector<unsigned> meshes = {})
{
    auto* node = new aiNode(name);
    node->mParent = &parent;
    node->mNumMeshes = unsigned(meshes.size());
    node->mMeshes = new unsigned[meshes.size() + 1];
    std::copy(meshes.begin(), meshes.end(), node->mMeshes);
    aiNode** children = new aiNode*[parent.mNumChildren + 1];
    std::copy(parent.mChildren, parent.mChildren + parent.mNumChildren, children);
    children[parent.mNumChildren++] = node;
    delete[] parent.mChildren;
    parent.mChildren = children;
    return node;
}

void setMeshes(aiScene& scene, const std::vector<aiMesh*>& meshes)
{
    scene.mNumMeshes = unsigned(meshes.size());
    scene.mMeshes = new aiMesh*[meshes.size()];
    std::copy(meshes.begin(), meshes.end(), scene.mMeshes);
}

// A take that moves `node` with position keys at `keyTimes` (ticks, 30 per second).
aiAnimation* makeTake(const std::string& name, double duration, const std::string& node, std::vector<double> keyTimes)
{
    auto* take = new aiAnimation;
    take->mName = aiString(name);
    take->mDuration = duration;
    take->mTicksPerSecond = 30;
    if (keyTimes.empty())
        return take;
    auto* channel = new aiNodeAnim;
    channel->mNodeName = aiString(node);
    channel->mNumPositionKeys = unsigned(keyTimes.size());
    channel->mPositionKeys = new aiVectorKey[keyTimes.size()];
    for (size_t k = 0; k < keyTimes.size(); ++k)
        channel->mPositionKeys[k] = aiVectorKey(keyTimes[k], aiVector3D(float(k), 0, 0));
    take->mNumChannels = 1;
    take->mChannels = new aiNodeAnim* [1] { channel };
    return take;
}

void setTakes(aiScene& scene, const std::vector<aiAnimation*>& takes)
{
    scene.mNumAnimations = unsigned(takes.size());
    scene.mAnimations = new aiAnimation*[takes.size()];
    std::copy(takes.begin(), takes.end(), scene.mAnimations);
}

aiScene* emptyScene()
{
    auto* scene = new aiScene;
    scene->mRootNode = new aiNode("Root");
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

    // Converts `scene` into a fresh model folder and reads the bundle back.
    bool convertScene(const aiScene& scene, bundletest::Bundle& b, AnimationGrouping grouping = AnimationGrouping::Take)
    {
        m_folder = m_work.filePath(QString("m%1").arg(++m_runs));
        QDir().mkpath(m_folder);
        EncoderOptions options;
        options.grouping = grouping;
        options.inputPath = (m_work.path() + "/scene.fbx").toStdString();
        options.outputPath = (m_folder + "/model.gpb").toStdString();
        m_messages = Messages();
        if (Encoder(options, m_messages).convertScene(scene, false) != 0)
            return false;
        const bool read = bundletest::readBundle(options.outputPath, b);
        if (!read)
            qWarning() << b.problem.c_str();
        return read;
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
        std::unique_ptr<aiScene> scene(emptyScene());
        aiMesh* quad = makeQuad(0, 40, true);
        if (variant == "skinned")
            addFiveInfluences(*quad);
        setMeshes(*scene, {quad, makeQuad()});
        setMaterials(*scene, {makeMaterial("Paint")});
        for (int i = 0; i < 5 && variant == "skinned"; ++i)
            addNode(*scene->mRootNode, "bone" + std::to_string(i));
        for (int i = 0; i < 30; ++i) {
            aiNode* node
                = addNode(*scene->mRootNode, "crate" + std::to_string(i),
                          i == 29 && variant == "grouped" ? std::vector<unsigned> {0, 1} : std::vector<unsigned> {0});
            aiMatrix4x4::Translation(aiVector3D(float(i), 0, 0), node->mTransformation);
            if (i == 29 && variant == "mirrored")
                node->mTransformation.a1 = -1;
        }
        bundletest::Bundle b;
        QVERIFY(convertScene(*scene, b));
        QCOMPARE(int(b.meshes.size()), records);
        std::set<std::string> drawn;
        for (const bundletest::Node& node : b.nodes) {
            if (QString::fromStdString(node.id).startsWith("crate"))
                drawn.insert(node.meshId);
        }
        QCOMPARE(int(drawn.size()), records);
        if (variant == "plain")
            QVERIFY2(QFileInfo(m_folder + "/model.gpb").size() < 16000, "an instanced scene writes its mesh once");
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
        std::unique_ptr<aiScene> scene(emptyScene());
        addNode(*addNode(*scene->mRootNode, "Hips"), "Spine");
        setTakes(*scene, {makeTake("Walk", 119, "Hips", {39, 60, 99}), makeTake("Idle", 119, "Spine", {39, 99})});
        bundletest::Bundle b;
        QVERIFY(convertScene(*scene, b, grouping));
        QVERIFY(!b.animations.empty());
        for (const bundletest::Animation& animation : b.animations) {
            for (const bundletest::Channel& channel : animation.channels) {
                QCOMPARE(channel.times.front(), 0u);
                QCOMPARE(channel.times.back(), 3967u);
                // Held: the first and last key values repeat at the take's ends.
                QCOMPARE(channel.values[7], channel.values[17]);
                QCOMPARE(channel.values[channel.values.size() - 3], channel.values[channel.values.size() - 13]);
            }
        }
    }

    void materialIdsNameTheirOwnBlock_data()
    {
        QTest::addColumn<QStringList>("names"); // one source material each; "-" is a part without material
        for (const char* word :
             {"default", "technique", "pass", "renderState", "sampler", "material", "u_diffuseTexture"}) {
            QTest::newRow(word) << QStringList {word};
            QTest::newRow(qPrintable(QString(word) + " among others")) << QStringList {"Wood", word};
        }
        QTest::newRow("part without material") << QStringList {"-"};
        QTest::newRow("part without material beside one with") << QStringList {"Wood", "-"};
    }

    void materialIdsNameTheirOwnBlock()
    {
        QFETCH(QStringList, names);
        std::unique_ptr<aiScene> scene(emptyScene());
        std::vector<aiMesh*> meshes;
        std::vector<aiMaterial*> materials;
        for (int i = 0; i < names.size(); ++i) {
            if (names[i] != "-")
                materials.push_back(makeMaterial(qPrintable(names[i])));
            meshes.push_back(makeQuad(names[i] == "-" ? 99u : unsigned(materials.size() - 1)));
            addNode(*scene->mRootNode, "part" + std::to_string(i), {unsigned(i)});
        }
        setMeshes(*scene, meshes);
        setMaterials(*scene, materials);
        bundletest::Bundle b;
        QVERIFY(convertScene(*scene, b));
        for (const bundletest::Node& node : b.nodes) {
            for (const std::string& id : node.materials) {
                // The URL the engine's bundle reader builds for this part.
                std::unique_ptr<Properties> block(
                    Properties::create(qPrintable(m_folder + "/model.material#" + QString::fromStdString(id))));
                QVERIFY2(block && std::string(block->getNamespace()) == "material" && block->getId() == id, id.c_str());
            }
        }
        if (names.front() == "Wood") // a safe source name is kept
            QCOMPARE(b.node("part0")->materials.front(), std::string("Wood"));
    }

    void animationIdsAreGrammarWords_data()
    {
        QTest::addColumn<QString>("take");
        QTest::addColumn<AnimationGrouping>("grouping");
        for (const char* take : {"Take 001", "Armature|Run", "a:b", "x{y}=z", "tab\tand\nline", "", "Läuft"}) {
            QTest::newRow(qPrintable(QString("%1 per take").arg(take))) << take << AnimationGrouping::Take;
            QTest::newRow(qPrintable(QString("%1 per node").arg(take))) << take << AnimationGrouping::None;
        }
    }

    void animationIdsAreGrammarWords()
    {
        QFETCH(QString, take);
        QFETCH(AnimationGrouping, grouping);
        QStringList ids;
        for (int run = 0; run < 2; ++run) {
            std::unique_ptr<aiScene> scene(emptyScene());
            addNode(*addNode(*scene->mRootNode, "Root bone"), "Arm:L");
            setTakes(*scene, {makeTake(take.toStdString(), 30, "Arm:L", {0, 30})});
            bundletest::Bundle b;
            QVERIFY(convertScene(*scene, b, grouping));
            QCOMPARE(b.animations.size(), size_t(1));
            ids << QString::fromStdString(b.animations[0].id);
        }
        QCOMPARE(ids[0], ids[1]);
        // A clip defined for the id in "model.animation" is found under it.
        QFile file(m_folder + "/model.animation");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(("animation " + ids[0] + "\n{\n    frameCount = 2\n}\nanimation other\n{\n}\n").toUtf8());
        file.close();
        std::unique_ptr<Properties> clips(Properties::create(qPrintable(file.fileName())));
        QVERIFY(clips);
        Properties* found = clips->getNamespace(ids[0].toUtf8().constData(), false, false);
        QVERIFY2(found && QString::fromUtf8(found->getId()) == ids[0], qPrintable(ids[0]));
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
        std::unique_ptr<aiScene> scene(emptyScene());
        std::vector<aiMesh*> meshes;
        std::vector<aiMaterial*> materials;
        std::vector<unsigned> indices;
        for (int p = 0; p < pieces; ++p) {
            meshes.push_back(makeQuad(unsigned(p), unsigned(copies)));
            addFiveInfluences(*meshes.back());
            materials.push_back(makeMaterial(qPrintable(QString("M%1").arg(p))));
            indices.push_back(unsigned(p));
        }
        setMeshes(*scene, meshes);
        setMaterials(*scene, materials);
        addNode(*scene->mRootNode, "Body", indices);
        for (int i = 0; i < 5; ++i)
            addNode(*scene->mRootNode, "bone" + std::to_string(i));
        bundletest::Bundle b;
        QVERIFY(convertScene(*scene, b));
        const QStringList warnings = warningsWith(MessageCode::TooManyInfluences);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].startsWith(QString("%1 vertices").arg(b.meshes.begin()->second.vertexCount)),
                 qPrintable(warnings[0]));
        QCOMPARE(b.meshes.begin()->second.vertexCount, uint32_t(4 * pieces));
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
        std::unique_ptr<aiScene> scene(emptyScene());
        setMeshes(*scene, {makeQuad()});
        setMaterials(*scene, {makeMaterial("Skin")});
        addNode(*scene->mRootNode, "Face", {0});
        aiAnimation* take
            = makeTake("Smile", 30, "Face", withNodeChannel ? std::vector<double> {0, 30} : std::vector<double> {});
        take->mNumMorphMeshChannels = 1;
        take->mMorphMeshChannels = new aiMeshMorphAnim* [1] { new aiMeshMorphAnim };
        take->mMorphMeshChannels[0]->mName = aiString("Face");
        setTakes(*scene, {take});
        bundletest::Bundle b;
        QVERIFY(convertScene(*scene, b));
        const QStringList warnings = warningsWith(MessageCode::MorphAnimationDropped);
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings[0].contains("\"Smile\""));
        QCOMPARE(b.animations.size(), size_t(withNodeChannel ? 1 : 0));
    }
};

QTEST_GUILESS_MAIN(TestSceneFaults)
#include "tst_scene_faults.moc"

#include "EncoderTestSupport.h"

#include "BundleInfo.h"
#include "BundleReader.h"
#include "FbxSource.h"
#include "Properties.h"

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>

namespace encodertest {

QString sharedModels() { return qEnvironmentVariable("VELMORA_SHARED_MODELS"); }

Run runProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run run;
    const bool finished = process.waitForFinished(300000);
    if (!finished)
        process.kill(), process.waitForFinished(5000);
    run.crashed = !finished || process.exitStatus() != QProcess::NormalExit;
    run.exitCode = finished ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError())
        + (finished ? QString() : program + " did not start or finish: " + process.errorString());
    return run;
}

QString encoderPath() { return qEnvironmentVariable("VELMORA_BUILD_DIR") + "/tools/linux/model-encoder"; }

Run runEncoder(const QStringList& arguments) { return runProgram(encoderPath(), arguments); }

Run convert(const QString& input, const QString& bundle, const QString& grouping)
{
    return runEncoder({"-group:" + grouping, "-cull:off", "-m", "-v", "2", "-options", input, bundle});
}

bool makeFixtures(const QString& folder)
{
    const Run python = runProgram(
        "python3", {qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/tests/encoder/fixtures/make_fixtures.py", folder});
    if (python.crashed || python.exitCode != 0)
        qWarning() << "fixture script failed:" << python.err;
    return !python.crashed && python.exitCode == 0;
}

QString badMessageLine(const Run& run)
{
    static const QRegularExpression kWarning(R"(^Warning \(GP#2\d{3}\|[^|)\n]+\): .+$)");
    static const QRegularExpression kError(R"(^Error \(GP#1\d{3}\|[^|)\n]+\): .+$)");
    for (const QString& line : run.out.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("Error") || (line.startsWith("Warning") && !kWarning.match(line).hasMatch()))
            return line;
    }
    for (const QString& line : run.err.split('\n', Qt::SkipEmptyParts)) {
        if (!kError.match(line).hasMatch())
            return line;
    }
    return QString();
}

QStringList codes(const Run& run)
{
    QStringList found;
    static const QRegularExpression kCode(R"(^(?:Warning|Error) \(GP#(\d+)\|)", QRegularExpression::MultilineOption);
    for (auto it = kCode.globalMatch(run.out + "\n" + run.err); it.hasNext();)
        found << it.next().captured(1);
    return found;
}

int countOf(const Messages& messages, int code)
{
    return int(std::count_if(messages.entries().begin(), messages.entries().end(),
                             [code](const Messages::Entry& e) { return e.code == code && e.error == (code < 2000); }));
}

QStringList filesBelow(const QString& folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
         it.hasNext();)
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

aiMaterial* makeMaterial(const char* name, const std::map<std::string, float>& values, const char* texture,
                         aiColor3D diffuse)
{
    auto* material = new aiMaterial;
    const aiString materialName(name);
    material->AddProperty(&materialName, AI_MATKEY_NAME);
    material->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
    for (const auto& [key, value] : values) {
        const aiColor3D grey(value, value, value);
        const int flag = int(value);
        if (key == "opacity")
            material->AddProperty(&value, 1, AI_MATKEY_OPACITY);
        else if (key == "shininess")
            material->AddProperty(&value, 1, AI_MATKEY_SHININESS);
        else if (key == "strength")
            material->AddProperty(&value, 1, AI_MATKEY_SHININESS_STRENGTH);
        else if (key == "specular")
            material->AddProperty(&grey, 1, AI_MATKEY_COLOR_SPECULAR);
        else if (key == "twoSided")
            material->AddProperty(&flag, 1, AI_MATKEY_TWOSIDED);
        else if (key == "emissive")
            material->AddProperty(&grey, 1, AI_MATKEY_COLOR_EMISSIVE);
        else if (key == "shading")
            material->AddProperty(&flag, 1, AI_MATKEY_SHADING_MODEL);
    }
    if (texture) {
        const aiString path(texture);
        material->AddProperty(&path, AI_MATKEY_TEXTURE_DIFFUSE(0));
        if (values.count("emissiveMap"))
            material->AddProperty(&path, AI_MATKEY_TEXTURE_EMISSIVE(0));
    }
    return material;
}

// ---- reading bundles back ---------------------------------------------------------------------

QStringList unresolvedMaterials(const BundleData& data, const QString& materialFile, QStringList* used)
{
    const engine::BundleInfo::Summary summary = engine::BundleInfo::summarise(data, materialFile.toStdString());
    QStringList unresolved, resolved;
    for (const std::string& name : summary.unresolvedMaterials)
        unresolved << QString::fromStdString(name);
    for (const std::string& name : summary.materials)
        (used ? *used : resolved) << QString::fromStdString(name);
    return unresolved;
}

const BundleData::Node* nodeNamed(const BundleData& data, const std::string& id)
{
    const auto found
        = std::find_if(data.nodes.begin(), data.nodes.end(), [&](const auto& node) { return node.id == id; });
    return found == data.nodes.end() ? nullptr : &*found;
}

std::vector<const BundleData::Node*> nodesWith(const BundleData& data, BundleData::LightType light)
{
    std::vector<const BundleData::Node*> found;
    for (const BundleData::Node& node : data.nodes) {
        if (node.light.type == light)
            found.push_back(&node);
    }
    return found;
}

const BundleData::Mesh& meshOf(const BundleData& data, const BundleData::Node& node)
{
    return data.meshes.at(size_t(node.model.mesh));
}

std::vector<float> vertexFloats(const BundleData::Mesh& mesh)
{
    std::vector<float> floats(size_t(mesh.vertexCount) * floatsPerVertex(mesh));
    if (!floats.empty())
        std::memcpy(floats.data(), mesh.vertices, floats.size() * 4);
    return floats;
}

std::vector<uint32_t> indicesOf(const BundleData::Part& part)
{
    const size_t size = part.indexFormat == 0x1405 ? 4 : part.indexFormat == 0x1403 ? 2 : 1;
    std::vector<uint32_t> indices(part.indexCount, 0);
    for (size_t i = 0; i < indices.size(); ++i)
        std::memcpy(&indices[i], part.indices + i * size, size); // little-endian, as the file
    return indices;
}

int elementOffset(const BundleData::Mesh& mesh, uint32_t usage)
{
    uint32_t at = 0;
    for (const BundleData::VertexElement& element : mesh.format) {
        if (element.usage == usage)
            return int(at);
        at += element.size;
    }
    return -1;
}

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// What the engine's lenient reader passes over: the header and reference table byte for byte (version
// 4.0 exactly, unique ids, one scene and one animations record, the first record right behind the
// table), entries that point at no record, and meshes, materials or joints that did not load.
QString layoutOrLoadProblem(const BundleData& data)
{
    static const unsigned char kHeader[11] = {0xAB, 'G', 'P', 'B', 0xBB, 0x0D, 0x0A, 0x1A, 0x0A, 4, 0};
    if (data.bytes->size() <= 15 || std::memcmp(data.bytes->data(), kHeader, 11) != 0)
        return "not a version 4.0 bundle";
    size_t tableEnd = 15;
    uint32_t firstRecord = UINT32_MAX;
    std::set<std::string> ids;
    std::map<uint32_t, size_t> ofType;
    engine::BundleReader table;
    table.open(*data.bytes);
    const std::vector<BundleData::Reference> references = table.references();
    for (const BundleData::Reference& r : references) {
        tableEnd += 12 + r.id.size();
        firstRecord = std::min(firstRecord, r.offset);
        ++ofType[r.type];
        if (!ids.insert(r.id).second)
            return "id " + q(r.id) + " written twice";
    }
    if (ofType[BundleData::SCENE] != 1 || ofType[BundleData::ANIMATIONS] != 1
        || ofType[BundleData::NODE] + ofType[BundleData::MESH] + 2 != references.size())
        return "entries of unknown types, or not one scene and one animations entry";
    if (firstRecord != tableEnd)
        return "the first record does not follow the reference table";
    if (ofType[BundleData::NODE] != data.nodes.size() || !data.detachedRoots.empty()
        || ofType[BundleData::MESH] != data.meshes.size())
        return "node or mesh entries that the scene does not hold";
    for (const BundleData::Node& node : data.nodes) {
        const BundleData::Skin& skin = node.model.skin;
        const bool jointsFound = std::all_of(skin.joints.begin(), skin.joints.end(), [&](int joint) {
            return joint >= 0 && data.nodes[size_t(joint)].type == BundleData::JOINT;
        });
        if (node.id.empty() || (!node.hasModel && !node.model.materials.empty())
            || (node.hasModel && node.model.materials.size() != meshOf(data, node).parts.size())
            || (node.model.hasSkin && skin.inverseBindPoses.size() != skin.joints.size()) || !jointsFound)
            return "node \"" + q(node.id)
                + "\" has no entry, a mesh that did not load, not one material per "
                  "part, or a skin that does not resolve";
    }
    return QString();
}

} // namespace

QString bundleProblem(const QString& path, BundleData& data)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "cannot read " + path;
    const QByteArray bytes = file.readAll();
    engine::BundleReader reader;
    if (!reader.open(std::vector<unsigned char>(bytes.begin(), bytes.end())) || !reader.readScene(nullptr, &data))
        return q(reader.error());
    return layoutOrLoadProblem(data);
}

bool convertAndRead(const QString& source, const QString& folder, const QString& grouping, BundleData& data, Run& run)
{
    QDir().mkpath(folder);
    run = convert(source, folder + "/model.gpb", grouping);
    const QString problem
        = !run.crashed && run.exitCode == 0 ? bundleProblem(folder + "/model.gpb", data) : "conversion failed";
    if (!problem.isEmpty())
        qWarning() << run.out << run.err << problem;
    return problem.isEmpty();
}

// ---- comparison with the source scene --------------------------------------------------------

namespace {

aiMatrix4x4 toAssimp(const engine::Matrix& columnMajor)
{
    aiMatrix4x4 m;
    std::memcpy(&m, columnMajor.m, sizeof m);
    return m.Transpose();
}

bool sameMatrix(const aiMatrix4x4& a, const aiMatrix4x4& b)
{
    for (int i = 0; i < 16; ++i) {
        if (std::fabs(a[i / 4][i % 4] - b[i / 4][i % 4]) > 1e-4f * std::max(1.0f, std::fabs(b[i / 4][i % 4])))
            return false;
    }
    return true;
}

// Whether `written` is `source` turned by a signed permutation of the axes and scaled uniformly
// (the encoder's up-axis and unit correction on the root): a rotation, not a mirror, positive scale.
bool axisTurn(const aiMatrix4x4& written, aiMatrix4x4 source)
{
    const aiMatrix4x4 turn = written * source.Inverse();
    const float scale = std::max({std::fabs(turn[0][0]), std::fabs(turn[0][1]), std::fabs(turn[0][2])});
    for (int r = 0; r < 3 && scale > 0; ++r) {
        int ones = 0;
        for (int c = 0; c < 3; ++c) {
            const float v = std::fabs(turn[r][c]) / scale;
            if (v > 1e-4f && std::fabs(v - 1) > 1e-4f)
                return false;
            ones += v > 0.5f;
        }
        if (ones != 1 || std::fabs(turn[r][3]) > 1e-4f * std::max(1.0f, std::fabs(written[r][3])))
            return false;
    }
    return scale > 0 && turn.Determinant() > 0;
}

// An id stands for a source name when it is the name or the name made unique ("__2", ...).
bool idNames(const std::string& id, const std::string& name)
{
    static const QRegularExpression kSuffix(R"(^__\d+$)");
    return id == name || (id.compare(0, name.size(), name) == 0 && kSuffix.match(q(id.substr(name.size()))).hasMatch());
}

// A triangle's corner positions, bit for bit, turned to start at its smallest corner: equal for
// the same triangle with the same winding, whichever corner an index list starts with.
using Triangle = std::array<std::array<uint32_t, 3>, 3>;

Triangle triangle(const float* a, const float* b, const float* c)
{
    Triangle t;
    const float* corners[3] = {a, b, c};
    for (size_t k = 0; k < 3; ++k)
        std::memcpy(t[k].data(), corners[k], 12);
    std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
    return t;
}

// The written triangles are the source's, as a set: the encoder may reorder triangles and vertices,
// but every triangle keeps its corners and their winding; reversed where `reversed` (a mirroring node
// without a skin, so culling keeps front faces).
bool sameTriangles(const aiMesh& source, const BundleData::Mesh& mesh, size_t part, bool reversed)
{
    std::vector<Triangle> want, got;
    for (const aiFace* face = source.mFaces; face != source.mFaces + source.mNumFaces; ++face) {
        const aiVector3D* p = source.mVertices;
        if (face->mNumIndices == 3)
            want.push_back(triangle(&p[face->mIndices[0]].x, &p[face->mIndices[reversed ? 2 : 1]].x,
                                    &p[face->mIndices[reversed ? 1 : 2]].x));
    }
    const std::vector<float> vertices = vertexFloats(mesh);
    const std::vector<uint32_t> indices = indicesOf(mesh.parts.at(part));
    const auto corner = [&](size_t i) { return vertices.data() + size_t(indices[i]) * floatsPerVertex(mesh); };
    for (size_t i = 0; i + 2 < indices.size(); i += 3)
        got.push_back(triangle(corner(i), corner(i + 1), corner(i + 2)));
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    return want == got;
}

// Blend indices stay inside the skin, weights sum to 1.
void checkBlending(const BundleData::Node& carrier, const BundleData::Mesh& mesh)
{
    const int w = elementOffset(mesh, 6), i = elementOffset(mesh, 7);
    QVERIFY2(w >= 0 && i >= 0, "skinned mesh without blend weights and indices");
    const std::vector<float> vertices = vertexFloats(mesh);
    for (const float* vertex = vertices.data(); vertex < vertices.data() + vertices.size();
         vertex += floatsPerVertex(mesh)) {
        float sum = 0;
        for (int k = 0; k < 4; ++k) {
            sum += vertex[w + k];
            QVERIFY2(vertex[i + k] >= 0 && vertex[i + k] < float(carrier.model.skin.joints.size())
                         && vertex[i + k] == std::floor(vertex[i + k]),
                     "blend index outside the skin");
        }
        QVERIFY2(std::fabs(sum - 1) <= 1e-3f || sum == 0, qPrintable(QString("blend weights sum to %1").arg(sum)));
    }
}

// Geometry and skin of one node: its mesh plus those of the children the encoder added for other vertex
// layouts hold the source node's triangles; the joints are exactly the bones of its meshes, and the engine
// takes the inverse of each bone's world matrix at bind time (`inverseWorld`: the node's, inverted).
void checkNodeGeometry(const BundleData& b, const aiScene& scene, const aiNode& source, const BundleData::Node& node,
                       const aiMatrix4x4& inverseWorld)
{
    const QString id = q(node.id);
    std::vector<const aiMesh*> meshes;
    uint64_t expected[2] = {0, 0}, written[2] = {0, 0}; // vertices, indices
    uint64_t split = 0; // vertices a mesh without normals may gain: one per triangle corner at most
    for (unsigned m = 0; m < source.mNumMeshes; ++m) {
        const aiMesh& mesh = *scene.mMeshes[source.mMeshes[m]];
        if (mesh.mNumVertices == 0 || mesh.mNumFaces == 0 || !(mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE))
            continue;
        meshes.push_back(&mesh);
        expected[0] += mesh.mNumVertices;
        for (unsigned f = 0; f < mesh.mNumFaces; ++f)
            expected[1] += mesh.mFaces[f].mNumIndices == 3 ? 3 : 0;
        split += mesh.mNormals
            ? 0
            : std::max<uint64_t>(uint64_t(mesh.mNumFaces) * 3, mesh.mNumVertices) - mesh.mNumVertices;
    }
    std::vector<const BundleData::Node*> carriers {&node};
    for (size_t c = source.mNumChildren; c < node.children.size(); ++c)
        carriers.push_back(&b.nodes[size_t(node.children[c])]);
    std::set<std::string> bones, joints;
    for (const aiMesh* mesh : meshes) {
        for (unsigned i = 0; i < mesh->mNumBones; ++i)
            bones.insert(mesh->mBones[i]->mName.C_Str());
    }
    for (const BundleData::Node* carrier : carriers) {
        if (!carrier->hasModel)
            continue;
        written[0] += meshOf(b, *carrier).vertexCount;
        for (const BundleData::Part& part : meshOf(b, *carrier).parts)
            written[1] += part.indexCount;
        const BundleData::Skin& skin = carrier->model.skin;
        for (size_t j = 0; carrier->model.hasSkin && j < skin.joints.size(); ++j) {
            const std::string& joint = b.nodes[size_t(skin.joints[j])].id;
            const aiBone* bone = nullptr;
            for (size_t m = 0; m < meshes.size() && !bone; ++m) {
                for (unsigned i = 0; !bone && i < meshes[m]->mNumBones; ++i)
                    bone = idNames(joint, meshes[m]->mBones[i]->mName.C_Str()) ? meshes[m]->mBones[i] : nullptr;
            }
            QVERIFY2(!bone || sameMatrix(toAssimp(skin.inverseBindPoses[j]), bone->mOffsetMatrix * inverseWorld),
                     qPrintable("inverse bind pose of " + q(joint) + " differs"));
            joints.insert(bone ? bone->mName.C_Str() : joint);
        }
        if (carrier->model.hasSkin)
            checkBlending(*carrier, meshOf(b, *carrier));
    }
    QVERIFY2(written[0] >= expected[0] && written[0] <= expected[0] + split && expected[1] == written[1],
             qPrintable(QString("node %1: %2 vertices / %3 indices written for %4 / %5")
                            .arg(id)
                            .arg(written[0])
                            .arg(written[1])
                            .arg(expected[0])
                            .arg(expected[1])));
    QVERIFY2(bones == joints,
             qPrintable(QString("node %1: %2 joints for %3 bones").arg(id).arg(joints.size()).arg(bones.size())));
    if (carriers.size() > 1 || !node.hasModel)
        return;
    const bool reversed = !node.model.hasSkin && worldOf(b, node).Determinant() < 0;
    QVERIFY2(meshOf(b, node).parts.size() >= meshes.size(), qPrintable("fewer parts than source meshes in " + id));
    for (size_t part = 0; part < meshes.size(); ++part)
        QVERIFY2(sameTriangles(*meshes[part], meshOf(b, node), part, reversed),
                 qPrintable(QString("part %1 of %2 draws other triangles").arg(part).arg(id)));
}

// Node tree and transforms, then each node's geometry and skin.
void checkAgainstSource(const BundleData& b, const aiScene& scene)
{
    const aiNode* root = scene.mRootNode;
    const auto name = [](const aiNode* n) { return n->mName.length ? n->mName.C_Str() : "node"; };
    std::vector<std::pair<const aiNode*, int>> pairs; // source node, bundle node
    // The encoder leaves out Assimp's root node when it carries nothing; then its children are the top level.
    bool folded = b.roots.size() == root->mNumChildren;
    for (unsigned i = 0; folded && i < root->mNumChildren; ++i)
        folded = idNames(b.nodes[size_t(b.roots[i])].id, name(root->mChildren[i]));
    for (unsigned i = 0; folded && i < root->mNumChildren; ++i)
        pairs.push_back({root->mChildren[i], b.roots[i]});
    if (!folded) {
        QVERIFY2(b.roots.size() == 1, qPrintable(QString("%1 top-level nodes").arg(b.roots.size())));
        pairs.push_back({root, b.roots[0]});
    }
    // What the encoder put on the root to turn the file upright and into metres (identity when folded).
    const aiMatrix4x4 correction = folded
        ? aiMatrix4x4()
        : toAssimp(b.nodes[size_t(b.roots[0])].transform) * aiMatrix4x4(root->mTransformation).Inverse();
    for (size_t p = 0; p < pairs.size(); ++p) {
        const aiNode& source = *pairs[p].first;
        const BundleData::Node& node = b.nodes[size_t(pairs[p].second)];
        const QString id = q(node.id);
        QVERIFY2(idNames(node.id, name(&source)), qPrintable("node " + id + " stands for " + name(&source)));
        QVERIFY2(sameMatrix(toAssimp(node.transform), source.mTransformation)
                     || (&source == root && axisTurn(toAssimp(node.transform), source.mTransformation)),
                 qPrintable("local transform of " + id + " differs"));
        QVERIFY2(node.children.size() >= source.mNumChildren, qPrintable("node " + id + " lost children"));
        for (unsigned c = 0; c < source.mNumChildren; ++c)
            pairs.push_back({source.mChildren[c], node.children[c]});
        aiMatrix4x4 world;
        for (const aiNode* up = &source; up; up = up->mParent)
            world = up->mTransformation * world;
        checkNodeGeometry(b, scene, source, node, (correction * world).Inverse());
        if (QTest::currentTestFailed())
            return;
    }
}

// With "-group:take": one animation per take with a channel per animated node; every channel keys
// scale, rotation and translation at the union of the source's key times and the take's start and end.
void checkTakes(const BundleData& b, const aiScene& scene)
{
    QCOMPARE(b.animations.size(), size_t(scene.mNumAnimations));
    for (unsigned a = 0; a < scene.mNumAnimations; ++a) {
        const aiAnimation& take = *scene.mAnimations[a];
        const BundleData::Animation& animation = b.animations[a];
        // A take name becomes a word of the properties grammar.
        QString word = take.mName.length ? take.mName.C_Str() : "animation";
        word.replace(QRegularExpression(R"([^A-Za-z0-9_.\-\x{80}-\x{10FFFF}])"), "_");
        QVERIFY2(idNames(animation.id, word.toStdString()) && animation.channels.size() == take.mNumChannels,
                 qPrintable("animation " + q(animation.id) + " does not stand for take " + take.mName.C_Str()));
        const double tps = take.mTicksPerSecond > 0 ? take.mTicksPerSecond : 25;
        for (unsigned c = 0; c < take.mNumChannels; ++c) {
            const aiNodeAnim& source = *take.mChannels[c];
            const BundleData::Channel& channel = animation.channels[c];
            const QString target = q(b.nodes[size_t(channel.target)].id);
            QVERIFY2(idNames(target.toStdString(), source.mNodeName.C_Str()) && channel.attribute == 17,
                     qPrintable("channel for " + target + " stands for " + source.mNodeName.C_Str()));
            std::set<long long> times {0, llround(take.mDuration * 1000 / tps)};
            for (unsigned k = 0; k < source.mNumPositionKeys; ++k)
                times.insert(llround(source.mPositionKeys[k].mTime * 1000 / tps));
            for (unsigned k = 0; k < source.mNumRotationKeys; ++k)
                times.insert(llround(source.mRotationKeys[k].mTime * 1000 / tps));
            for (unsigned k = 0; k < source.mNumScalingKeys; ++k)
                times.insert(llround(source.mScalingKeys[k].mTime * 1000 / tps));
            QVERIFY2(channel.keyTimes.size() == times.size() && channel.keyValues.size() == 10 * times.size()
                         && std::is_sorted(channel.keyTimes.begin(), channel.keyTimes.end())
                         && std::llabs((long long)channel.keyTimes.back() - *times.rbegin()) <= 1,
                     qPrintable(QString("channel %1: %2 keys for %3 source key times")
                                    .arg(target)
                                    .arg(channel.keyTimes.size())
                                    .arg(times.size())));
        }
    }
}

// Holds for every mesh: boxes and spheres enclose the vertices, 16-bit indices exactly up to
// 65 535 vertices, triangles only, position and normal first.
void checkMeshes(const BundleData& b)
{
    for (const BundleData::Mesh& mesh : b.meshes) {
        const QString id = q(mesh.id);
        for (const BundleData::Part& part : mesh.parts)
            QVERIFY2(part.indexFormat == (mesh.vertexCount <= 65535 ? 0x1403u : 0x1405u) && part.primitiveType == 4
                         && part.indexCount % 3 == 0,
                     qPrintable("mesh " + id + " has a part of the wrong index format or primitive"));
        QVERIFY2(mesh.format.size() >= 2 && mesh.format[0].usage == 1 && mesh.format[0].size == 3
                     && mesh.format[1].usage == 2 && mesh.format[1].size == 3,
                 qPrintable("mesh " + id + " does not start with position and normal"));
        const std::vector<float> vertices = vertexFloats(mesh);
        for (size_t v = 0; v < vertices.size(); v += floatsPerVertex(mesh)) {
            const engine::Vector3 p(vertices[v], vertices[v + 1], vertices[v + 2]);
            const float slack = 1e-4f * std::max({1.0f, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
            const engine::Vector3 &low = mesh.boundingBox.min, &high = mesh.boundingBox.max;
            QVERIFY2(p.x >= low.x - slack && p.y >= low.y - slack && p.z >= low.z - slack && p.x <= high.x + slack
                         && p.y <= high.y + slack && p.z <= high.z + slack,
                     qPrintable("mesh " + id + " has a vertex outside its box"));
            const engine::Vector3 d = p - mesh.boundingSphere.center;
            QVERIFY2(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) <= mesh.boundingSphere.radius * 1.0001f + 1e-4f,
                     qPrintable("mesh " + id + " has a vertex outside its sphere"));
        }
    }
}

} // namespace

aiMatrix4x4 worldOf(const BundleData& data, const BundleData::Node& node)
{
    aiMatrix4x4 world;
    for (const BundleData::Node* n = &node; n; n = n->parent >= 0 ? &data.nodes[size_t(n->parent)] : nullptr)
        world = toAssimp(n->transform) * world;
    return world;
}

void checkConversion(const QString& source, const QString& folder, BundleData& data, Run& run, QStringList* written)
{
    QVERIFY(convertAndRead(source, folder, "take", data, run));
    QCOMPARE(badMessageLine(run), QString());
    Assimp::Importer importer;
    importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true); // as the encoder asks
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false); // folds pivots as the encoder does
    // Through the same door as the encoder: files the importer cannot read arrive rewritten.
    Messages ignored;
    SourceProbe::FbxHeader header;
    SourceProbe::check(source.toStdString(), ignored, header);
    std::string error;
    const aiScene* scene
        = FbxSource(source.toStdString(), header)
              .import(importer, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_SortByPType, error);
    QVERIFY2(scene, error.c_str());
    checkAgainstSource(data, *scene);
    checkTakes(data, *scene);
    checkMeshes(data);
    if (QTest::currentTestFailed())
        return;
    const QString materialPath = folder + "/model.material";
    QStringList used, textures;
    QCOMPARE(unresolvedMaterials(data, materialPath, &used), QStringList());
    for (const QString& file : filesBelow(folder)) {
        QFile png(folder + "/" + file);
        const bool texture
            = file.startsWith("tex/") && png.open(QIODevice::ReadOnly) && png.read(8) == "\x89PNG\r\n\x1a\n";
        QVERIFY2(texture || file == "model.gpb" || file == "model.material", qPrintable(file));
        if (texture)
            textures << file;
    }
    for (const QString& name : used) {
        std::unique_ptr<engine::Properties> material(engine::Properties::create(qPrintable(materialPath + "#" + name)));
        if (engine::Properties* sampler = material->getNamespace("sampler", true, false))
            QVERIFY2(textures.contains(sampler->getString("path")), sampler->getString("path"));
    }
    if (written)
        *written = textures;
}

} // namespace encodertest

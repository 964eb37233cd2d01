#pragma once

// Shared by the encoder's test programs: running model-encoder, making the
// project's own fixtures and source materials, checking message lines, and
// comparing a written bundle against the scene Assimp reads from the same source.

#include "BundleTestReader.h"
#include "Messages.h"

#include "Properties.h"

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QtTest>

#include <memory>

namespace encodertest {

struct Run {
    int exitCode = -1;
    bool crashed = false;
    QString out, err;
};

inline QString encoderPath() { return qEnvironmentVariable("VELMORA_BUILD_DIR") + "/tools/linux/model-encoder"; }

inline Run runEncoder(const QStringList& arguments)
{
    QProcess process;
    process.start(encoderPath(), arguments);
    Run run;
    if (!process.waitForFinished(300000)) {
        process.kill();
        process.waitForFinished(5000);
        run.crashed = true;
        run.err = "model-encoder did not start or finish: " + process.errorString();
        return run;
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The application's own argument list, with the given grouping.
inline Run convert(const QString& input, const QString& bundle, const QString& grouping = "take")
{
    return runEncoder({"-group:" + grouping, "-cull:off", "-m", "-v", "2", "-options", input, bundle});
}

inline bool makeFixtures(const QString& folder)
{
    QProcess python;
    python.start("python3",
                 {qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/tests/encoder/fixtures/make_fixtures.py", folder});
    const bool ok
        = python.waitForFinished(120000) && python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0;
    if (!ok)
        qWarning() << "fixture script failed:" << python.readAllStandardError();
    return ok;
}

// Every message line must follow the grammar the application parses; returns the offending line or empty.
inline QString badMessageLine(const Run& run)
{
    static const QRegularExpression warning(R"(^Warning \(GP#2\d{3}\|[^|)\n]+\): .+$)");
    static const QRegularExpression error(R"(^Error \(GP#1\d{3}\|[^|)\n]+\): .+$)");
    for (const QString& line : run.out.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("Error") || (line.startsWith("Warning") && !warning.match(line).hasMatch()))
            return line;
    }
    for (const QString& line : run.err.split('\n', Qt::SkipEmptyParts)) {
        if (!error.match(line).hasMatch())
            return line;
    }
    return QString();
}

inline QStringList codes(const Run& run)
{
    QStringList found;
    static const QRegularExpression code(R"(^(?:Warning|Error) \(GP#(\d+)\|)", QRegularExpression::MultilineOption);
    for (auto it = code.globalMatch(run.out + "\n" + run.err); it.hasNext();)
        found << it.next().captured(1);
    return found;
}

inline QSet<QString> filesBelow(const QString& folder)
{
    QSet<QString> files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
         it.hasNext();)
        files.insert(it.next());
    return files;
}

// Sorted, relative to `folder`.
inline QStringList relativeFilesBelow(const QString& folder)
{
    QStringList files;
    for (const QString& file : filesBelow(folder))
        files << QDir(folder).relativeFilePath(file);
    files.sort();
    return files;
}

// Entries with `code`; codes below 2000 must be errors, the others warnings.
inline int countOf(const Messages& messages, int code)
{
    return int(std::count_if(messages.entries().begin(), messages.entries().end(),
                             [code](const Messages::Entry& e) { return e.code == code && e.error == (code < 2000); }));
}

// A source material; `values` may hold "opacity", "shininess", "strength", "specular" (a grey), "twoSided".
inline aiMaterial* makeMaterial(const char* name, const std::map<std::string, float>& values = {},
                                const char* texture = nullptr, aiColor3D diffuse = aiColor3D(0.8f, 0.1f, 0.1f))
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
    }
    if (texture) {
        const aiString path(texture);
        material->AddProperty(&path, AI_MATKEY_TEXTURE_DIFFUSE(0));
    }
    return material;
}

// The scene takes ownership.
inline void setMaterials(aiScene& scene, const std::vector<aiMaterial*>& materials)
{
    scene.mNumMaterials = unsigned(materials.size());
    scene.mMaterials = new aiMaterial*[materials.size()];
    std::copy(materials.begin(), materials.end(), scene.mMaterials);
}

// Converts into `folder` and reads the bundle back; false (with the reason logged) on any irregularity.
inline bool convertAndRead(const QString& source, const QString& folder, const QString& grouping, bundletest::Bundle& b,
                           Run& run)
{
    QDir().mkpath(folder);
    run = convert(source, folder + "/model.gpb", grouping);
    if (run.crashed || run.exitCode != 0) {
        qWarning() << run.out << run.err;
        return false;
    }
    if (!bundletest::readBundle((folder + "/model.gpb").toStdString(), b)) {
        qWarning() << "bundle unreadable:" << QString::fromStdString(b.problem);
        return false;
    }
    return true;
}

// ---- comparison with the source scene --------------------------------------------------------

inline const aiScene* importSource(Assimp::Importer& importer, const QString& path)
{
    return importer.ReadFile(path.toUtf8().constData(),
                             aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_GenSmoothNormals
                                 | aiProcess_SortByPType);
}

inline aiMatrix4x4 toAssimp(const bundletest::Matrix& columnMajor)
{
    aiMatrix4x4 m;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c)
            m[r][c] = columnMajor[size_t(c * 4 + r)];
    }
    return m;
}

inline aiMatrix4x4 worldOf(const bundletest::Bundle& b, const bundletest::Node& node)
{
    aiMatrix4x4 world;
    for (const bundletest::Node* n = &node; n; n = n->parent >= 0 ? &b.nodes[size_t(n->parent)] : nullptr)
        world = toAssimp(n->local) * world;
    return world;
}

inline bool sameMatrix(const aiMatrix4x4& a, const aiMatrix4x4& b)
{
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (std::fabs(a[r][c] - b[r][c]) > 1e-4f * std::max(1.0f, std::fabs(b[r][c])))
                return false;
        }
    }
    return true;
}

// Whether `written` is `source` turned by a signed permutation of the axes and scaled uniformly
// (the encoder's up-axis and unit correction on the root): a rotation, not a mirror, positive scale.
inline bool axisTurn(const aiMatrix4x4& written, aiMatrix4x4 source)
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
inline bool idNames(const std::string& id, const std::string& name)
{
    static const QRegularExpression suffix(R"(^__\d+$)");
    return id == name
        || (id.size() > name.size() && id.compare(0, name.size(), name) == 0
            && suffix.match(QString::fromStdString(id.substr(name.size()))).hasMatch());
}

inline bool drawable(const aiMesh& mesh)
{
    return mesh.mNumVertices > 0 && mesh.mNumFaces > 0 && (mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE);
}

// A triangle's corner positions, bit for bit, turned to start at its smallest corner: equal for
// the same triangle with the same winding, whichever corner an index list starts with.
using Triangle = std::array<std::array<uint32_t, 3>, 3>;

inline Triangle triangle(const float* a, const float* b, const float* c)
{
    Triangle t;
    const float* corners[3] = {a, b, c};
    for (int k = 0; k < 3; ++k)
        std::memcpy(t[size_t(k)].data(), corners[k], 12);
    std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
    return t;
}

#define ENCODERTEST_CHECK(condition, message)                                                                          \
    if (!(condition)) {                                                                                                \
        problem = message;                                                                                             \
        return false;                                                                                                  \
    }

inline QString q(const std::string& s) { return QString::fromStdString(s); }

// Node tree, transforms, per-node vertex and index counts, every triangle's corners, skins.
inline bool matchesSource(const bundletest::Bundle& b, const aiScene& scene, QString& problem)
{
    using bundletest::Node;
    const aiNode* root = scene.mRootNode;
    std::vector<std::pair<const aiNode*, int>> pairs; // source node, bundle node
    // The encoder leaves out Assimp's root node when it carries nothing; then its children are the top level.
    bool folded = b.topLevel.size() == root->mNumChildren;
    for (unsigned i = 0; folded && i < root->mNumChildren; ++i)
        folded = idNames(b.nodes[size_t(b.topLevel[i])].id,
                         root->mChildren[i]->mName.length ? root->mChildren[i]->mName.C_Str() : "node");
    for (unsigned i = 0; folded && i < root->mNumChildren; ++i)
        pairs.push_back({root->mChildren[i], b.topLevel[i]});
    if (!folded) {
        ENCODERTEST_CHECK(
            b.topLevel.size() == 1,
            QString("%1 top-level nodes for %2 source nodes").arg(b.topLevel.size()).arg(root->mNumChildren));
        pairs.push_back({root, b.topLevel[0]});
    }
    // What the encoder put on the root to turn the file upright and into metres (identity when folded).
    aiMatrix4x4 correction;
    if (!folded)
        correction = toAssimp(b.nodes[size_t(b.topLevel[0])].local) * aiMatrix4x4(root->mTransformation).Inverse();

    for (size_t p = 0; p < pairs.size(); ++p) {
        const aiNode& source = *pairs[p].first;
        const Node& node = b.nodes[size_t(pairs[p].second)];
        const QString id = q(node.id);
        ENCODERTEST_CHECK(idNames(node.id, source.mName.length ? source.mName.C_Str() : "node"),
                          "node " + id + " stands for source node " + source.mName.C_Str());
        ENCODERTEST_CHECK(sameMatrix(toAssimp(node.local), source.mTransformation)
                              || (&source == root && axisTurn(toAssimp(node.local), source.mTransformation)),
                          "local transform of " + id + " differs");
        ENCODERTEST_CHECK(node.children.size() >= source.mNumChildren, "node " + id + " lost children");
        for (unsigned c = 0; c < source.mNumChildren; ++c)
            pairs.push_back({source.mChildren[c], node.children[c]});

        // Geometry: the node's mesh plus the meshes of the children the encoder added for other vertex layouts.
        std::vector<const aiMesh*> meshes;
        uint64_t expectedVertices = 0, expectedIndices = 0, writtenVertices = 0, writtenIndices = 0;
        for (unsigned m = 0; m < source.mNumMeshes; ++m) {
            const aiMesh& mesh = *scene.mMeshes[source.mMeshes[m]];
            if (!drawable(mesh))
                continue;
            meshes.push_back(&mesh);
            expectedVertices += mesh.mNumVertices;
            for (unsigned f = 0; f < mesh.mNumFaces; ++f)
                expectedIndices += mesh.mFaces[f].mNumIndices == 3 ? 3 : 0;
        }
        std::vector<const Node*> carriers {&node};
        for (size_t c = source.mNumChildren; c < node.children.size(); ++c)
            carriers.push_back(&b.nodes[size_t(node.children[c])]);
        for (const Node* carrier : carriers) {
            if (carrier->meshId.empty())
                continue;
            writtenVertices += b.meshes.at(carrier->meshId).vertexCount;
            for (const auto& part : b.meshes.at(carrier->meshId).parts)
                writtenIndices += part.indices.size();
        }
        ENCODERTEST_CHECK(expectedVertices == writtenVertices && expectedIndices == writtenIndices,
                          QString("node %1: %2 vertices / %3 indices written for %4 / %5")
                              .arg(id)
                              .arg(writtenVertices)
                              .arg(writtenIndices)
                              .arg(expectedVertices)
                              .arg(expectedIndices));

        // The written triangles are the source's, as a set: the encoder may reorder triangles and
        // vertices, but every triangle keeps its corners and their winding; reversed where the node
        // mirrors (negative world determinant) and has no skin, so culling keeps front faces.
        if (carriers.size() == 1 && !node.meshId.empty()) {
            const bundletest::Mesh& mesh = b.meshes.at(node.meshId);
            const bool reversed = !node.hasSkin && worldOf(b, node).Determinant() < 0;
            ENCODERTEST_CHECK(mesh.parts.size() >= meshes.size(), "fewer parts than source meshes in " + id);
            for (size_t part = 0; part < meshes.size(); ++part) {
                std::vector<Triangle> want, got;
                for (unsigned f = 0; f < meshes[part]->mNumFaces; ++f) {
                    const aiFace& face = meshes[part]->mFaces[f];
                    if (face.mNumIndices == 3) {
                        const aiVector3D* p = meshes[part]->mVertices;
                        want.push_back(triangle(&p[face.mIndices[0]].x, &p[face.mIndices[reversed ? 2 : 1]].x,
                                                &p[face.mIndices[reversed ? 1 : 2]].x));
                    }
                }
                const std::vector<uint32_t>& indices = mesh.parts[part].indices;
                const auto corner
                    = [&](size_t i) { return mesh.vertices.data() + size_t(indices.at(i)) * mesh.floatsPerVertex; };
                for (size_t i = 0; i + 2 < indices.size(); i += 3)
                    got.push_back(triangle(corner(i), corner(i + 1), corner(i + 2)));
                std::sort(want.begin(), want.end());
                std::sort(got.begin(), got.end());
                ENCODERTEST_CHECK(want == got, QString("part %1 of %2 draws other triangles").arg(part).arg(id));
            }
        }

        // Skins: the joints are exactly the bones of the node's meshes; the engine takes the inverse
        // of each bone's world matrix at bind time; blend indices stay inside the skin, weights sum to 1.
        std::set<std::string> bones, joints;
        for (const aiMesh* mesh : meshes) {
            for (unsigned i = 0; i < mesh->mNumBones; ++i)
                bones.insert(mesh->mBones[i]->mName.C_Str());
        }
        aiMatrix4x4 inverseWorld;
        for (const aiNode* up = &source; up; up = up->mParent)
            inverseWorld = up->mTransformation * inverseWorld;
        inverseWorld = correction * inverseWorld;
        inverseWorld.Inverse();
        for (const Node* carrier : carriers) {
            for (size_t j = 0; j < carrier->joints.size(); ++j) {
                const Node* jointNode = b.node(carrier->joints[j].substr(1));
                ENCODERTEST_CHECK(jointNode && jointNode->type == 2,
                                  "joint " + q(carrier->joints[j]) + " is not a joint node");
                const aiBone* bone = nullptr;
                for (const aiMesh* mesh : meshes) {
                    for (unsigned i = 0; !bone && i < mesh->mNumBones; ++i)
                        bone = idNames(jointNode->id, mesh->mBones[i]->mName.C_Str()) ? mesh->mBones[i] : nullptr;
                }
                ENCODERTEST_CHECK(
                    !bone || sameMatrix(toAssimp(carrier->inverseBindPoses[j]), bone->mOffsetMatrix * inverseWorld),
                    "inverse bind pose of " + q(jointNode->id) + " differs");
                joints.insert(bone ? bone->mName.C_Str() : jointNode->id);
            }
            if (carrier->meshId.empty() || !carrier->hasSkin)
                continue;
            const bundletest::Mesh& mesh = b.meshes.at(carrier->meshId);
            const int w = mesh.elementOffset(6), i = mesh.elementOffset(7);
            ENCODERTEST_CHECK(w >= 0 && i >= 0, "skinned mesh without blend weights and indices");
            for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
                const float* vertex = mesh.vertices.data() + size_t(v) * mesh.floatsPerVertex;
                float sum = 0;
                for (int k = 0; k < 4; ++k) {
                    sum += vertex[w + k];
                    const float index = vertex[i + k];
                    ENCODERTEST_CHECK(index >= 0 && index < float(carrier->joints.size()) && index == std::floor(index),
                                      QString("blend index %1 outside the skin").arg(index));
                }
                ENCODERTEST_CHECK(std::fabs(sum - 1) <= 1e-3f || sum == 0,
                                  QString("blend weights of vertex %1 sum to %2").arg(v).arg(sum));
            }
        }
        ENCODERTEST_CHECK(bones == joints,
                          QString("node %1: %2 joints for %3 bones").arg(id).arg(joints.size()).arg(bones.size()));
    }
    return true;
}

// A take name as an id of the properties grammar: one word of letters, digits, "_", "-", "." and UTF-8.
inline std::string grammarWord(const std::string& name)
{
    QString word = QString::fromStdString(name);
    word.replace(QRegularExpression(R"([^A-Za-z0-9_.\-\x{80}-\x{10FFFF}])"), "_");
    return word.toStdString();
}

// With "-group:take": one animation per take with a channel per animated node; every channel keys
// scale, rotation and translation at the union of the source's key times and the take's start and end.
inline bool takesMatchSource(const bundletest::Bundle& b, const aiScene& scene, QString& problem)
{
    ENCODERTEST_CHECK(b.animations.size() == scene.mNumAnimations,
                      QString("%1 animations for %2 takes").arg(b.animations.size()).arg(scene.mNumAnimations));
    for (unsigned a = 0; a < scene.mNumAnimations; ++a) {
        const aiAnimation& take = *scene.mAnimations[a];
        const bundletest::Animation& animation = b.animations[a];
        ENCODERTEST_CHECK(idNames(animation.id, take.mName.length ? grammarWord(take.mName.C_Str()) : "animation")
                              && animation.channels.size() == take.mNumChannels,
                          "animation " + q(animation.id) + " does not stand for take " + take.mName.C_Str());
        const double tps = take.mTicksPerSecond > 0 ? take.mTicksPerSecond : 25;
        for (unsigned c = 0; c < take.mNumChannels; ++c) {
            const aiNodeAnim& source = *take.mChannels[c];
            const bundletest::Channel& channel = animation.channels[c];
            const QString target = q(channel.target);
            ENCODERTEST_CHECK(idNames(channel.target, source.mNodeName.C_Str()) && channel.attribute == 17,
                              "channel for " + target + " stands for " + source.mNodeName.C_Str());
            std::set<long long> times;
            double last = 0;
            const auto add
                = [&](double time) { times.insert(llround(time * 1000 / tps)), last = std::max(last, time); };
            for (unsigned k = 0; k < source.mNumPositionKeys; ++k)
                add(source.mPositionKeys[k].mTime);
            for (unsigned k = 0; k < source.mNumRotationKeys; ++k)
                add(source.mRotationKeys[k].mTime);
            for (unsigned k = 0; k < source.mNumScalingKeys; ++k)
                add(source.mScalingKeys[k].mTime);
            add(0);
            add(take.mDuration);
            ENCODERTEST_CHECK(channel.times.size() == times.size()
                                  && channel.values.size() == 10 * channel.times.size(),
                              QString("channel %1: %2 keys for %3 source key times")
                                  .arg(target)
                                  .arg(channel.times.size())
                                  .arg(times.size()));
            ENCODERTEST_CHECK(std::is_sorted(channel.times.begin(), channel.times.end())
                                  && std::llabs((long long)channel.times.back() - llround(last * 1000 / tps)) <= 1,
                              "key times of " + target + " out of order or mis-scaled");
        }
    }
    return true;
}

// Holds for every mesh: boxes and spheres enclose the vertices, 16-bit indices exactly up to
// 65 535 vertices, triangles only, position and normal first.
inline bool meshesSound(const bundletest::Bundle& b, QString& problem)
{
    for (const auto& [id, mesh] : b.meshes) {
        const uint32_t expectedFormat = mesh.vertexCount <= 65535 ? 0x1403 : 0x1405;
        for (const auto& part : mesh.parts)
            ENCODERTEST_CHECK(part.indexFormat == expectedFormat && part.primitive == 4 && part.indices.size() % 3 == 0,
                              "mesh " + q(id)
                                  + QString(": part with format %1 for %2 vertices")
                                        .arg(part.indexFormat, 0, 16)
                                        .arg(mesh.vertexCount));
        ENCODERTEST_CHECK(mesh.elements.size() >= 2 && mesh.elements[0] == std::make_pair(1u, 3u)
                              && mesh.elements[1] == std::make_pair(2u, 3u),
                          "mesh " + q(id) + " does not start with position and normal");
        for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
            const float* p = mesh.vertices.data() + size_t(v) * mesh.floatsPerVertex;
            float d2 = 0;
            for (int k = 0; k < 3; ++k) {
                const float slack = 1e-4f * std::max(1.0f, std::fabs(p[k]));
                ENCODERTEST_CHECK(p[k] >= mesh.boxMin[k] - slack && p[k] <= mesh.boxMax[k] + slack,
                                  "mesh " + q(id) + " has a vertex outside its box");
                d2 += (p[k] - mesh.centre[k]) * (p[k] - mesh.centre[k]);
            }
            ENCODERTEST_CHECK(std::sqrt(d2) <= mesh.radius * 1.0001f + 1e-4f,
                              "mesh " + q(id) + " has a vertex outside its sphere");
        }
    }
    return true;
}

#undef ENCODERTEST_CHECK

// Converts `source` into `folder` with "-group:take" and checks everything that holds for any model:
// the bundle against Assimp's reading of the source, and the material file as the engine reads it
// (every material a node names is there, every sampler names a PNG in tex/, nothing else is written).
// Returns the textures written through `textures`.
inline void checkConversion(const QString& source, const QString& folder, bundletest::Bundle& b, Run& run,
                            QStringList* written = nullptr)
{
    QStringList textures;
    QVERIFY(convertAndRead(source, folder, "take", b, run));
    QCOMPARE(badMessageLine(run), QString());
    Assimp::Importer importer;
    const aiScene* scene = importSource(importer, source);
    QVERIFY(scene);
    QString problem;
    QVERIFY2(matchesSource(b, *scene, problem), qPrintable(problem));
    QVERIFY2(takesMatchSource(b, *scene, problem), qPrintable(problem));
    QVERIFY2(meshesSound(b, problem), qPrintable(problem));
    std::unique_ptr<engine::Properties> materials(
        engine::Properties::create((folder + "/model.material").toUtf8().constData()));
    QVERIFY(materials);
    for (const auto& node : b.nodes) {
        for (const std::string& name : node.materials)
            QVERIFY2(materials->getId() == name || materials->getNamespace(name.c_str(), false, false), name.c_str());
    }
    for (const QString& file : filesBelow(folder)) {
        QFile png(file);
        const bool texture
            = file.startsWith(folder + "/tex/") && png.open(QIODevice::ReadOnly) && png.read(8) == "\x89PNG\r\n\x1a\n";
        QVERIFY2(texture || file == folder + "/model.gpb" || file == folder + "/model.material", qPrintable(file));
        if (texture)
            textures << file.mid(folder.size() + 1);
    }
    // A file with a single material reads as that material.
    const bool single = QString(materials->getNamespace()) == "material";
    for (size_t i = 0; i < (single ? 1 : materials->namespaceCount()); ++i) {
        engine::Properties* material = single ? materials.get() : materials->namespaceAt(i);
        if (engine::Properties* sampler = material->getNamespace("sampler", true, false))
            QVERIFY2(textures.contains(sampler->getString("path")), sampler->getString("path"));
    }
    if (written)
        *written = textures;
}

} // namespace encodertest

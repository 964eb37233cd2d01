#pragma once

// Shared by the encoder's test programs: running model-encoder, making the
// project's own fixtures, checking message lines, and comparing a written
// bundle against the scene Assimp reads from the same source.

#include "BundleTestReader.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstring>
#include <functional>

namespace encodertest {

struct Run {
    int exitCode = -1;
    bool crashed = false;
    QString out;
    QString err;
};

inline QString encoderPath()
{
    return qEnvironmentVariable("VELMORA_BUILD_DIR") + "/tools/linux/model-encoder";
}

inline Run runEncoder(const QStringList& arguments, int timeoutMs = 300000)
{
    QProcess process;
    process.start(encoderPath(), arguments);
    Run run;
    if (!process.waitForStarted(30000)) {
        run.crashed = true;
        run.err = "model-encoder did not start: " + process.errorString();
        return run;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        run.crashed = true;
        run.err = "model-encoder did not finish in time";
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

inline bool makeFixtures(const QString& folder, QString& problem)
{
    QProcess python;
    python.start("python3", {qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/tests/encoder/fixtures/make_fixtures.py", folder});
    if (!python.waitForFinished(120000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        problem = "fixture script failed: " + QString::fromUtf8(python.readAllStandardError());
        return false;
    }
    return true;
}

// Every message line must follow the grammar the application parses; returns the offending line or empty.
inline QString badMessageLine(const QString& out, const QString& err)
{
    static const QRegularExpression warning(R"(^Warning \(GP#2\d{3}\|[^|)\n]+\): .+$)");
    static const QRegularExpression error(R"(^Error \(GP#1\d{3}\|[^|)\n]+\): .+$)");
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("Error"))
            return "error on standard output: " + line;
        if (line.startsWith("Warning") && !warning.match(line).hasMatch())
            return line;
    }
    for (const QString& line : err.split('\n', Qt::SkipEmptyParts)) {
        if (!error.match(line).hasMatch())
            return line;
    }
    return QString();
}

inline QStringList codes(const Run& run)
{
    QStringList found;
    static const QRegularExpression code(R"(^(?:Warning|Error) \(GP#(\d+)\|)", QRegularExpression::MultilineOption);
    for (const QString* text : {&run.out, &run.err}) {
        auto it = code.globalMatch(*text);
        while (it.hasNext())
            found << it.next().captured(1);
    }
    return found;
}

inline QSet<QString> filesBelow(const QString& folder)
{
    QSet<QString> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.insert(it.next());
    return files;
}

// ---- comparison with the source scene --------------------------------------------------------

inline const aiScene* importSource(Assimp::Importer& importer, const QString& path)
{
    return importer.ReadFile(path.toUtf8().constData(), aiProcess_Triangulate | aiProcess_JoinIdenticalVertices
                                 | aiProcess_GenSmoothNormals | aiProcess_SortByPType);
}

inline bool sameMatrix(const bundletest::Matrix& columnMajor, const aiMatrix4x4& m)
{
    const float rowMajor[16] = {m.a1, m.a2, m.a3, m.a4, m.b1, m.b2, m.b3, m.b4,
                                m.c1, m.c2, m.c3, m.c4, m.d1, m.d2, m.d3, m.d4};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const float a = columnMajor[size_t(c * 4 + r)], b = rowMajor[r * 4 + c];
            if (std::fabs(a - b) > 1e-4f * std::max(1.0f, std::fabs(b)))
                return false;
        }
    }
    return true;
}

// Whether `columnMajor` is `m` turned by a signed permutation of the axes and
// scaled uniformly (the encoder's up-axis and unit correction on the root): a
// rotation and not a mirror, with a positive scale.
inline bool axisTurn(const bundletest::Matrix& columnMajor, const aiMatrix4x4& m)
{
    aiMatrix4x4 written;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c)
            written[r][c] = columnMajor[size_t(c * 4 + r)];
    }
    aiMatrix4x4 inverse = m;
    inverse.Inverse();
    const aiMatrix4x4 turn = written * inverse;
    float scale = 0;
    for (int c = 0; c < 3; ++c)
        scale = std::max(scale, std::fabs(turn[0][c]));
    if (!(scale > 0))
        return false;
    for (int r = 0; r < 3; ++r) {
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
    return turn.Determinant() > 0;
}

inline bool idNames(const std::string& id, const std::string& name)
{
    if (id == name)
        return true;
    static const QRegularExpression suffix(R"(^__\d+$)");
    return id.size() > name.size() && id.compare(0, name.size(), name) == 0
        && suffix.match(QString::fromStdString(id.substr(name.size()))).hasMatch();
}

inline bool drawable(const aiMesh& mesh)
{
    return mesh.mNumVertices > 0 && mesh.mNumFaces > 0 && (mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE);
}

struct Totals {
    uint64_t vertices = 0;
    uint64_t indices = 0;
};

// Checks node tree, transforms, per-node vertex and index counts, skins and
// animation key counts. `problem` names the first difference.
inline bool matchesSource(const bundletest::Bundle& b, const aiScene& scene, QString& problem)
{
    using bundletest::Node;
    const aiNode* root = scene.mRootNode;
    std::vector<std::pair<const aiNode*, int>> pairs;   // source node, bundle node
    // The encoder leaves out Assimp's root node when it carries nothing; then its children are the top level.
    auto nameOrDefault = [](const aiNode* n) { return n->mName.length ? std::string(n->mName.C_Str()) : std::string("node"); };
    bool folded = b.topLevel.size() == root->mNumChildren;
    for (unsigned i = 0; folded && i < root->mNumChildren; ++i)
        folded = idNames(b.nodes[size_t(b.topLevel[i])].id, nameOrDefault(root->mChildren[i]));
    if (folded) {
        for (unsigned i = 0; i < root->mNumChildren; ++i)
            pairs.push_back({root->mChildren[i], b.topLevel[i]});
    } else if (b.topLevel.size() == 1) {
        pairs.push_back({root, b.topLevel[0]});
    } else {
        problem = QString("%1 top-level nodes for %2 source nodes").arg(b.topLevel.size()).arg(root->mNumChildren);
        return false;
    }

    // What the encoder put on the root to turn the file upright and into metres (identity when folded).
    aiMatrix4x4 correction;
    if (!folded) {
        const bundletest::Matrix& m = b.nodes[size_t(b.topLevel[0])].local;
        aiMatrix4x4 writtenRoot;
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c)
                writtenRoot[r][c] = m[size_t(c * 4 + r)];
        }
        aiMatrix4x4 inverseRoot = root->mTransformation;
        inverseRoot.Inverse();
        correction = writtenRoot * inverseRoot;
    }

    for (size_t p = 0; p < pairs.size(); ++p) {
        const aiNode& source = *pairs[p].first;
        const Node& node = b.nodes[size_t(pairs[p].second)];
        const std::string name = source.mName.C_Str();
        if (!idNames(node.id, name.empty() ? "node" : name)) {
            problem = QString("node %1 stands for source node %2").arg(QString::fromStdString(node.id), QString::fromStdString(name));
            return false;
        }
        if (!sameMatrix(node.local, source.mTransformation) && !(&source == root && axisTurn(node.local, source.mTransformation))) {
            problem = QString("local transform of %1 differs").arg(QString::fromStdString(node.id));
            return false;
        }
        if (node.children.size() < source.mNumChildren) {
            problem = QString("node %1 has %2 children for %3").arg(QString::fromStdString(node.id)).arg(node.children.size()).arg(source.mNumChildren);
            return false;
        }
        for (unsigned c = 0; c < source.mNumChildren; ++c)
            pairs.push_back({source.mChildren[c], node.children[c]});

        // Geometry: the node's mesh plus the meshes of the children the encoder added for other vertex layouts.
        Totals expected, written;
        for (unsigned m = 0; m < source.mNumMeshes; ++m) {
            const aiMesh& mesh = *scene.mMeshes[source.mMeshes[m]];
            if (!drawable(mesh))
                continue;
            expected.vertices += mesh.mNumVertices;
            for (unsigned f = 0; f < mesh.mNumFaces; ++f)
                expected.indices += mesh.mFaces[f].mNumIndices == 3 ? 3 : 0;
        }
        std::vector<const Node*> carriers{&node};
        for (size_t c = source.mNumChildren; c < node.children.size(); ++c)
            carriers.push_back(&b.nodes[size_t(node.children[c])]);
        for (const Node* carrier : carriers) {
            if (carrier->meshId.empty())
                continue;
            const bundletest::Mesh& mesh = b.meshes.at(carrier->meshId);
            written.vertices += mesh.vertexCount;
            for (const auto& part : mesh.parts)
                written.indices += part.indices.size();
        }
        if (expected.vertices != written.vertices || expected.indices != written.indices) {
            problem = QString("node %1: %2 vertices / %3 indices written for %4 / %5")
                          .arg(QString::fromStdString(node.id)).arg(written.vertices).arg(written.indices)
                          .arg(expected.vertices).arg(expected.indices);
            return false;
        }

        // Every written triangle has the corners of its source triangle, in order; reversed where
        // the node mirrors (its world matrix has a negative determinant) and has no skin.
        if (carriers.size() == 1 && !node.meshId.empty()) {
            const bundletest::Mesh& mesh = b.meshes.at(node.meshId);
            aiMatrix4x4 world;
            for (const Node* n = &node; n; n = n->parent >= 0 ? &b.nodes[size_t(n->parent)] : nullptr) {
                aiMatrix4x4 local;
                for (int r = 0; r < 4; ++r) {
                    for (int c = 0; c < 4; ++c)
                        local[r][c] = n->local[size_t(c * 4 + r)];
                }
                world = local * world;
            }
            const bool reversed = !node.hasSkin && world.Determinant() < 0;
            static const unsigned kKeep[3] = {0, 1, 2}, kReverse[3] = {0, 2, 1};
            size_t part = 0;
            for (unsigned m = 0; m < source.mNumMeshes; ++m) {
                const aiMesh& sourceMesh = *scene.mMeshes[source.mMeshes[m]];
                if (!drawable(sourceMesh))
                    continue;
                if (part >= mesh.parts.size()) {
                    problem = "fewer parts than source meshes in " + QString::fromStdString(node.id);
                    return false;
                }
                const auto& indices = mesh.parts[part++].indices;
                size_t corner = 0;
                for (unsigned f = 0; f < sourceMesh.mNumFaces; ++f) {
                    const aiFace& face = sourceMesh.mFaces[f];
                    for (unsigned k = 0; face.mNumIndices == 3 && k < 3; ++k, ++corner) {
                        const aiVector3D& want = sourceMesh.mVertices[face.mIndices[(reversed ? kReverse : kKeep)[k]]];
                        const float* got = mesh.vertices.data() + size_t(indices.at(corner)) * mesh.floatsPerVertex;
                        if (std::memcmp(got, &want, 12) != 0) {
                            problem = QString("corner %1 of %2 moved").arg(corner).arg(QString::fromStdString(node.id));
                            return false;
                        }
                    }
                }
            }
        }

        // Skins: the joints are exactly the bones of the node's meshes.
        std::set<std::string> bones;
        for (unsigned m = 0; m < source.mNumMeshes; ++m) {
            const aiMesh& mesh = *scene.mMeshes[source.mMeshes[m]];
            for (unsigned i = 0; drawable(mesh) && i < mesh.mNumBones; ++i)
                bones.insert(mesh.mBones[i]->mName.C_Str());
        }
        std::set<std::string> joints;
        aiMatrix4x4 inverseWorld;
        for (const aiNode* up = &source; up; up = up->mParent)
            inverseWorld = up->mTransformation * inverseWorld;
        inverseWorld = correction * inverseWorld;
        inverseWorld.Inverse();
        for (const Node* carrier : carriers) {
            for (size_t j = 0; j < carrier->joints.size(); ++j) {
                const std::string& joint = carrier->joints[j];
                const Node* jointNode = b.node(joint.substr(1));
                if (!jointNode || jointNode->type != 2) {
                    problem = QString("joint %1 is not a joint node").arg(QString::fromStdString(joint));
                    return false;
                }
                std::string jointName = jointNode->id;
                const aiBone* sourceBone = nullptr;
                for (unsigned m = 0; m < source.mNumMeshes; ++m) {
                    const aiMesh& mesh = *scene.mMeshes[source.mMeshes[m]];
                    for (unsigned i = 0; i < mesh.mNumBones; ++i) {
                        if (idNames(jointNode->id, mesh.mBones[i]->mName.C_Str()) && !sourceBone) {
                            sourceBone = mesh.mBones[i];
                            jointName = mesh.mBones[i]->mName.C_Str();
                        }
                    }
                }
                // The engine takes the inverse of the bone's world matrix at bind time.
                if (sourceBone && !sameMatrix(carrier->inverseBindPoses[j], sourceBone->mOffsetMatrix * inverseWorld)) {
                    problem = QString("inverse bind pose of %1 differs").arg(QString::fromStdString(joint));
                    return false;
                }
                joints.insert(jointName);
            }
            if (!carrier->meshId.empty() && carrier->hasSkin) {
                const bundletest::Mesh& mesh = b.meshes.at(carrier->meshId);
                const int w = mesh.elementOffset(6), i = mesh.elementOffset(7);
                if (w < 0 || i < 0) {
                    problem = "skinned mesh without blend weights and indices";
                    return false;
                }
                for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
                    const float* vertex = mesh.vertices.data() + size_t(v) * mesh.floatsPerVertex;
                    float sum = 0;
                    for (int k = 0; k < 4; ++k) {
                        sum += vertex[w + k];
                        const float index = vertex[i + k];
                        if (index < 0 || index >= float(carrier->joints.size()) || index != std::floor(index)) {
                            problem = QString("blend index %1 outside the skin").arg(index);
                            return false;
                        }
                    }
                    if (std::fabs(sum - 1) > 1e-3f && sum != 0) {
                        problem = QString("blend weights of vertex %1 sum to %2").arg(v).arg(sum);
                        return false;
                    }
                }
            }
        }
        if (bones != joints) {
            problem = QString("node %1: %2 joints for %3 bones").arg(QString::fromStdString(node.id)).arg(joints.size()).arg(bones.size());
            return false;
        }
    }
    return true;
}

// With "-group:take": one animation per take with a channel per animated node;
// every channel keys scale, rotation and translation at the union of the
// source's key times.
inline bool takesMatchSource(const bundletest::Bundle& b, const aiScene& scene, QString& problem)
{
    if (b.animations.size() != scene.mNumAnimations) {
        problem = QString("%1 animations for %2 takes").arg(b.animations.size()).arg(scene.mNumAnimations);
        return false;
    }
    for (unsigned a = 0; a < scene.mNumAnimations; ++a) {
        const aiAnimation& take = *scene.mAnimations[a];
        const bundletest::Animation& animation = b.animations[a];
        if (!idNames(animation.id, take.mName.length ? take.mName.C_Str() : "animation")) {
            problem = "animation id " + QString::fromStdString(animation.id) + " for take " + take.mName.C_Str();
            return false;
        }
        if (animation.channels.size() != take.mNumChannels) {
            problem = QString("take %1: %2 channels for %3").arg(take.mName.C_Str()).arg(animation.channels.size()).arg(take.mNumChannels);
            return false;
        }
        const double tps = take.mTicksPerSecond > 0 ? take.mTicksPerSecond : 25;
        for (unsigned c = 0; c < take.mNumChannels; ++c) {
            const aiNodeAnim& source = *take.mChannels[c];
            const bundletest::Channel& channel = animation.channels[c];
            if (!idNames(channel.target, source.mNodeName.C_Str()) || channel.attribute != 17) {
                problem = "channel for " + QString::fromStdString(channel.target) + " stands for " + source.mNodeName.C_Str();
                return false;
            }
            std::set<long long> times;
            double last = 0;
            for (unsigned k = 0; k < source.mNumPositionKeys; ++k)
                times.insert(llround(source.mPositionKeys[k].mTime * 1000 / tps)), last = std::max(last, source.mPositionKeys[k].mTime);
            for (unsigned k = 0; k < source.mNumRotationKeys; ++k)
                times.insert(llround(source.mRotationKeys[k].mTime * 1000 / tps)), last = std::max(last, source.mRotationKeys[k].mTime);
            for (unsigned k = 0; k < source.mNumScalingKeys; ++k)
                times.insert(llround(source.mScalingKeys[k].mTime * 1000 / tps)), last = std::max(last, source.mScalingKeys[k].mTime);
            if (channel.times.size() != times.size() || channel.values.size() != 10 * channel.times.size()) {
                problem = QString("channel %1: %2 keys / %3 values for %4 source key times")
                              .arg(QString::fromStdString(channel.target)).arg(channel.times.size())
                              .arg(channel.values.size()).arg(times.size());
                return false;
            }
            if (!std::is_sorted(channel.times.begin(), channel.times.end())
                || std::llabs((long long)channel.times.back() - llround(last * 1000 / tps)) > 1) {
                problem = "key times of " + QString::fromStdString(channel.target) + " out of order or mis-scaled";
                return false;
            }
        }
    }
    return true;
}

// Geometry sanity that holds for every mesh: boxes and spheres enclose the
// vertices, 16-bit indices exactly up to 65 535 vertices.
inline bool meshesSound(const bundletest::Bundle& b, QString& problem)
{
    for (const auto& [id, mesh] : b.meshes) {
        const uint32_t expectedFormat = mesh.vertexCount <= 65535 ? 0x1403 : 0x1405;
        for (const auto& part : mesh.parts) {
            if (part.indexFormat != expectedFormat || part.primitive != 4 || part.indices.size() % 3 != 0) {
                problem = QString("mesh %1: part with format %2, primitive %3 for %4 vertices")
                              .arg(QString::fromStdString(id)).arg(part.indexFormat, 0, 16).arg(part.primitive).arg(mesh.vertexCount);
                return false;
            }
        }
        if (mesh.elements.size() < 2 || mesh.elements[0] != std::make_pair(1u, 3u) || mesh.elements[1] != std::make_pair(2u, 3u)) {
            problem = "mesh " + QString::fromStdString(id) + " does not start with position and normal";
            return false;
        }
        for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
            const float* p = mesh.vertices.data() + size_t(v) * mesh.floatsPerVertex;
            float d2 = 0;
            for (int k = 0; k < 3; ++k) {
                const float slack = 1e-4f * std::max(1.0f, std::fabs(p[k]));
                if (p[k] < mesh.boxMin[k] - slack || p[k] > mesh.boxMax[k] + slack) {
                    problem = "mesh " + QString::fromStdString(id) + " has a vertex outside its box";
                    return false;
                }
                d2 += (p[k] - mesh.centre[k]) * (p[k] - mesh.centre[k]);
            }
            if (std::sqrt(d2) > mesh.radius * 1.0001f + 1e-4f) {
                problem = "mesh " + QString::fromStdString(id) + " has a vertex outside its sphere";
                return false;
            }
        }
    }
    return true;
}

} // namespace encodertest

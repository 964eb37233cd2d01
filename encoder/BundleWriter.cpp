#include "BundleWriter.h"

#include "MessageCodes.h"
#include "SkinInfluences.h"

#include <assimp/scene.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const unsigned char kIdentifier[9] = {0xAB, 'G', 'P', 'B', 0xBB, 0x0D, 0x0A, 0x1A, 0x0A};
const uint32_t kTriangles = 4;
const uint32_t kUnsignedShort = 0x1403, kUnsignedInt = 0x1405;
const unsigned kMaxInfluences = 4;

// The strongest four influences of each vertex, renormalised to sum 1.
// Marks in `overLimit` the vertices that had more than four.
void limitInfluences(const aiMesh& mesh, const std::vector<int>& jointOfBone, std::vector<float>& weights,
                     std::vector<float>& indices, std::vector<bool>& overLimit)
{
    using Influence = SkinInfluences::Influence;
    const unsigned n = mesh.mNumVertices;
    SkinInfluences influences = SkinInfluences::gather(mesh, jointOfBone);
    for (Influence& influence : influences.list)
        influence.weight = std::isfinite(influence.weight) ? std::max(influence.weight, 0.0f) : 0.0f;
    const std::vector<uint32_t>& count = influences.first;
    Influence* const all = influences.list.data();
    weights.assign(size_t(n) * kMaxInfluences, 0.0f);
    indices.assign(size_t(n) * kMaxInfluences, 0.0f);
    overLimit.assign(n, false);
    for (unsigned v = 0; v < n; ++v) {
        Influence* first = all + count[v];
        Influence* last = all + count[v + 1];
        if (last - first > int(kMaxInfluences)) {
            overLimit[v] = true;
            std::partial_sort(first, first + kMaxInfluences, last,
                              [](const Influence& a, const Influence& b) { return a.weight > b.weight; });
            last = first + kMaxInfluences;
        }
        float sum = 0;
        for (Influence* i = first; i != last; ++i)
            sum += i->weight;
        for (Influence* i = first; i != last; ++i) {
            const size_t slot = size_t(v) * kMaxInfluences + size_t(i - first);
            weights[slot] = sum > 0 ? i->weight / sum : 0.0f;
            indices[slot] = float(i->joint);
        }
    }
}

} // namespace

BundleWriter::BundleWriter(const aiScene& scene, const BundlePlan& plan, Messages& messages)
    : m_scene(scene)
    , m_plan(plan)
    , m_messages(messages)
{
}

bool BundleWriter::write(const std::string& path)
{
    const std::string temporary = path + ".partial";
    if (!m_out.open(temporary)) {
        m_messages.error(MessageCode::OutputFailed, "Cannot write bundle",
                         "The file \"" + temporary + "\" cannot be created: " + std::strerror(errno) + ".");
        return false;
    }

    // The table's size is known before any record, so the records can be
    // streamed right after it and the offsets filled in afterwards.
    m_out.bytes(kIdentifier, sizeof(kIdentifier));
    m_out.u8(4);
    m_out.u8(0);
    const uint32_t entries = uint32_t(2 + m_plan.nodes.size() + m_plan.meshes.size());
    m_out.u32(entries);
    const uint64_t tableStart = m_out.position();
    auto writeTable = [&](uint32_t sceneOffset, uint32_t animationsOffset) {
        m_out.string(m_plan.sceneId);
        m_out.u32(uint32_t(ReferenceType::SCENE));
        m_out.u32(sceneOffset);
        for (size_t i = 0; i < m_plan.nodes.size(); ++i) {
            m_out.string(m_plan.nodes[i].id);
            m_out.u32(uint32_t(ReferenceType::NODE));
            m_out.u32(i < m_nodeOffsets.size() ? m_nodeOffsets[i] : 0);
        }
        for (size_t i = 0; i < m_plan.meshes.size(); ++i) {
            m_out.string(m_plan.meshes[i].id);
            m_out.u32(uint32_t(ReferenceType::MESH));
            m_out.u32(i < m_meshOffsets.size() ? m_meshOffsets[i] : 0);
        }
        m_out.string(m_plan.animationsId);
        m_out.u32(uint32_t(ReferenceType::ANIMATIONS));
        m_out.u32(animationsOffset);
    };
    writeTable(0, 0);

    m_nodeOffsets.assign(m_plan.nodes.size(), 0);
    const uint64_t sceneOffset = m_out.position();
    m_out.u32(uint32_t(m_plan.topLevel.size()));
    for (int top : m_plan.topLevel)
        writeNode(top);
    m_out.string(m_plan.activeCamera.empty() ? std::string() : "#" + m_plan.activeCamera);
    m_out.floats(m_plan.ambient, 3);

    for (const PlanMesh& mesh : m_plan.meshes) {
        m_meshOffsets.push_back(uint32_t(m_out.position()));
        writeMesh(mesh);
    }
    const uint64_t animationsOffset = m_out.position();
    writeAnimations();

    // Offsets are 32-bit in the format.
    const bool fits = m_out.position() <= 0xFFFFFFFFull;
    if (fits && m_out.seek(tableStart))
        writeTable(uint32_t(sceneOffset), uint32_t(animationsOffset));
    const bool written = m_out.close() && fits;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = fits ? std::strerror(errno) : "the bundle would be larger than 4 GiB";
        std::remove(temporary.c_str());
        m_messages.error(MessageCode::OutputFailed, "Cannot write bundle",
                         "Writing \"" + path + "\" failed: " + reason + ".");
        return false;
    }
    return true;
}

void BundleWriter::writeMatrix(const aiMatrix4x4& m)
{
    // Assimp's matrices are row-major; the bundle's are column-major, translation in 12..14.
    const float columnMajor[16]
        = {m.a1, m.b1, m.c1, m.d1, m.a2, m.b2, m.c2, m.d2, m.a3, m.b3, m.c3, m.d3, m.a4, m.b4, m.c4, m.d4};
    m_out.floats(columnMajor, 16);
}

void BundleWriter::writeNode(int index)
{
    const PlanNode& node = m_plan.nodes[size_t(index)];
    m_nodeOffsets[size_t(index)] = uint32_t(m_out.position());
    m_out.u32(uint32_t(node.type));
    writeMatrix(node.local);
    writeMatrix(aiMatrix4x4()); // offset: transforms are fully in the local matrices
    m_out.string(node.parent < 0 ? std::string() : m_plan.nodes[size_t(node.parent)].id);
    m_out.u32(uint32_t(node.children.size()));
    for (int child : node.children)
        writeNode(child);
    writeCamera(node.camera);
    writeLight(node.light);
    writeModel(node);
}

void BundleWriter::writeCamera(const PlanCamera& camera)
{
    m_out.u8(uint8_t(camera.type));
    if (camera.type == CameraType::NONE)
        return;
    m_out.f32(camera.aspectRatio);
    m_out.f32(camera.nearPlane);
    m_out.f32(camera.farPlane);
    if (camera.type == CameraType::PERSPECTIVE) {
        m_out.f32(camera.fieldOfView);
    } else {
        m_out.f32(camera.zoomX);
        m_out.f32(camera.zoomY);
    }
}

void BundleWriter::writeLight(const PlanLight& light)
{
    m_out.u8(uint8_t(light.type));
    if (light.type == LightType::NONE)
        return;
    m_out.floats(light.color, 3);
    if (light.type == LightType::POINT) {
        m_out.f32(light.range);
    } else if (light.type == LightType::SPOT) {
        m_out.f32(light.range);
        m_out.f32(light.innerAngle);
        m_out.f32(light.outerAngle);
    }
}

void BundleWriter::writeModel(const PlanNode& node)
{
    if (node.mesh < 0) {
        m_out.string(std::string());
        return;
    }
    const PlanMesh& mesh = m_plan.meshes[size_t(node.mesh)];
    m_out.string("#" + mesh.id);
    m_out.u8(mesh.joints.empty() ? 0 : 1);
    if (!mesh.joints.empty()) {
        writeMatrix(mesh.bindShape);
        m_out.u32(uint32_t(mesh.joints.size()));
        for (int joint : mesh.joints)
            m_out.string("#" + m_plan.nodes[size_t(joint)].id);
        m_out.u32(uint32_t(mesh.joints.size() * 16));
        for (const aiMatrix4x4& pose : mesh.inverseBindPoses)
            writeMatrix(pose);
    }
    m_out.u32(uint32_t(node.materials.size()));
    for (const std::string& material : node.materials)
        m_out.string(material);
}

// Little-endian, of indexSize bytes each, in one write.
void BundleWriter::writeIndices(const std::vector<uint32_t>& indices, unsigned indexSize)
{
    std::vector<unsigned char> le(indices.size() * indexSize);
    unsigned char* out = le.data();
    for (const uint32_t index : indices) {
        for (unsigned byte = 0; byte < indexSize; ++byte)
            *out++ = static_cast<unsigned char>(index >> (8 * byte));
    }
    m_out.bytes(le.data(), le.size());
}

void BundleWriter::writeMesh(const PlanMesh& mesh)
{
    const auto elements = mesh.layout.elements();
    m_out.u32(uint32_t(elements.size()));
    for (const auto& element : elements) {
        m_out.u32(element.first);
        m_out.u32(element.second);
    }
    m_out.u32(mesh.vertexCount * mesh.layout.floatsPerVertex() * 4);

    const aiVector3D centre = (mesh.boxMin + mesh.boxMax) * 0.5f;
    float radiusSquared = 0;
    // Skin weights of every piece first: the vertices are written in fetch order, across pieces.
    std::vector<std::vector<float>> weights(mesh.pieces.size()), indices(mesh.pieces.size());
    std::vector<bool> overLimit;
    size_t verticesOverLimit = 0; // as written: after joining, over all parts
    std::vector<uint32_t> pieceStart;
    uint32_t start = 0;
    for (size_t p = 0; p < mesh.pieces.size(); ++p) {
        const PlanPiece& piece = mesh.pieces[p];
        pieceStart.push_back(start);
        start += uint32_t(piece.weld.source.size());
        if (!mesh.layout.skinned)
            continue;
        limitInfluences(*m_scene.mMeshes[piece.sourceMesh], piece.jointOfBone, weights[p], indices[p], overLimit);
        for (const uint32_t v : piece.weld.source)
            verticesOverLimit += overLimit[v] ? 1 : 0;
    }

    // One vertex at a time, element after element, as the layout lists them.
    std::vector<float> vertex(mesh.layout.floatsPerVertex());
    for (const uint32_t welded : mesh.writeOrder) {
        const size_t p
            = size_t(std::upper_bound(pieceStart.begin(), pieceStart.end(), welded) - pieceStart.begin()) - 1;
        const PlanPiece& piece = mesh.pieces[p];
        const aiMesh& source = *m_scene.mMeshes[piece.sourceMesh];
        const uint32_t v = piece.weld.source[welded - pieceStart[p]];
        float* out = vertex.data();
        const auto put
            = [&out](std::initializer_list<float> values) { out = std::copy(values.begin(), values.end(), out); };
        const aiVector3D& position = source.mVertices[v];
        put({position.x, position.y, position.z});
        if (std::isfinite(position.x) && std::isfinite(position.y) && std::isfinite(position.z))
            radiusSquared = std::max(radiusSquared, (position - centre).SquareLength());
        const aiVector3D n = source.mNormals ? source.mNormals[v] : aiVector3D(0, 1, 0);
        put({n.x, n.y, n.z});
        if (mesh.layout.colors) {
            const aiColor4D& c = source.mColors[0][v];
            put({c.r, c.g, c.b, c.a});
        }
        if (mesh.layout.tangents) {
            const aiVector3D& t = source.mTangents[v];
            const aiVector3D& b = source.mBitangents[v];
            put({t.x, t.y, t.z, b.x, b.y, b.z});
        }
        for (unsigned set = 0; set < mesh.layout.texCoordSets; ++set) {
            const aiVector3D& uv = source.mTextureCoords[set][v];
            put({uv.x, uv.y});
        }
        if (mesh.layout.skinned) {
            out = std::copy(weights[p].begin() + v * 4, weights[p].begin() + v * 4 + 4, out);
            out = std::copy(indices[p].begin() + v * 4, indices[p].begin() + v * 4 + 4, out);
        }
        m_out.floats(vertex.data(), size_t(out - vertex.data()));
    }
    if (verticesOverLimit > 0) {
        m_messages.warning(MessageCode::TooManyInfluences, "More than 4 bone influences",
                           std::to_string(verticesOverLimit) + " vertices of mesh \"" + mesh.id
                               + "\" are moved by more than 4 bones; the 4 strongest are kept and "
                                 "their weights rescaled, which can change the deformation slightly.");
    }

    m_out.floats(&mesh.boxMin.x, 3);
    m_out.floats(&mesh.boxMax.x, 3);
    m_out.floats(&centre.x, 3);
    m_out.f32(std::sqrt(radiusSquared));

    const bool shortIndices = mesh.vertexCount <= kMaxShortIndexedVertices;
    m_out.u32(uint32_t(mesh.pieces.size()));
    for (const PlanPiece& piece : mesh.pieces) {
        m_out.u32(kTriangles);
        m_out.u32(shortIndices ? kUnsignedShort : kUnsignedInt);
        m_out.u32(uint32_t(piece.indices.size()) * (shortIndices ? 2 : 4));
        writeIndices(piece.indices, shortIndices ? 2 : 4);
    }
}

void BundleWriter::writeAnimations()
{
    m_out.u32(uint32_t(m_plan.animations.size()));
    for (const PlanAnimation& animation : m_plan.animations) {
        m_out.string(animation.id);
        m_out.u32(uint32_t(animation.channels.size()));
        for (const PlanChannel& channel : animation.channels) {
            m_out.string(m_plan.nodes[size_t(channel.node)].id);
            m_out.u32(kChannelAttribute);
            m_out.u32(uint32_t(channel.keyTimes.size()));
            for (uint32_t time : channel.keyTimes)
                m_out.u32(time);
            m_out.u32(uint32_t(channel.keyValues.size()));
            m_out.floats(channel.keyValues.data(), channel.keyValues.size());
            m_out.u32(0); // in-tangents
            m_out.u32(0); // out-tangents
            m_out.u32(uint32_t(channel.keyTimes.size()));
            const uint32_t kLinear = 4;
            for (size_t k = 0; k < channel.keyTimes.size(); ++k)
                m_out.u32(kLinear);
        }
    }
}

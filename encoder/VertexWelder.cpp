#include "VertexWelder.h"

#include "SkinInfluences.h"

#include <assimp/mesh.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const float kEpsilon = 1e-5f;

bool close(const aiVector3D& a, const aiVector3D& b)
{
    // NaN compares as different, so such vertices are simply kept apart.
    return (a - b).SquareLength() <= kEpsilon * kEpsilon;
}

uint64_t mix(uint64_t hash, const void* data, size_t size)
{
    // FNV-1a over the bytes; avalanche() then spreads them so that the low bits index well.
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

uint64_t avalanche(uint64_t h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

class VertexData {
public:
    VertexData(const aiMesh& mesh, const aiVector3D* normals, unsigned texCoordSets, bool colors, bool tangents,
               const std::vector<int>& jointOfBone)
        : m_mesh(mesh)
        , m_normals(normals)
        , m_sets(texCoordSets)
        , m_colors(colors)
        , m_tangents(tangents)
    {
        if (jointOfBone.empty())
            return;
        // Sorted by joint, so that equal sets compare equal.
        m_skin = SkinInfluences::gather(mesh, jointOfBone);
        for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
            std::sort(influences() + m_skin.first[v], influences() + m_skin.first[v + 1],
                      [](const Influence& a, const Influence& b) {
                          return a.joint != b.joint ? a.joint < b.joint : a.weight < b.weight;
                      });
        }
    }

    uint64_t hash(unsigned v) const
    {
        uint64_t h = 14695981039346656037ull;
        h = mix(h, &m_mesh.mVertices[v], sizeof(aiVector3D));
        if (skinned())
            h = mix(h, influences() + m_skin.first[v], (m_skin.first[v + 1] - m_skin.first[v]) * sizeof(Influence));
        return avalanche(h);
    }

    bool same(unsigned a, unsigned b) const
    {
        if (std::memcmp(&m_mesh.mVertices[a], &m_mesh.mVertices[b], sizeof(aiVector3D)) != 0)
            return false;
        if (m_normals && !close(m_normals[a], m_normals[b]))
            return false;
        if (m_colors) {
            const aiColor4D& ca = m_mesh.mColors[0][a];
            const aiColor4D& cb = m_mesh.mColors[0][b];
            if (!close(aiVector3D(ca.r, ca.g, ca.b), aiVector3D(cb.r, cb.g, cb.b))
                || !(std::fabs(ca.a - cb.a) <= kEpsilon))
                return false;
        }
        if (m_tangents
            && (!close(m_mesh.mTangents[a], m_mesh.mTangents[b])
                || !close(m_mesh.mBitangents[a], m_mesh.mBitangents[b])))
            return false;
        for (unsigned s = 0; s < m_sets; ++s) {
            if (!close(m_mesh.mTextureCoords[s][a], m_mesh.mTextureCoords[s][b]))
                return false;
        }
        if (skinned()) {
            const uint32_t na = m_skin.first[a + 1] - m_skin.first[a], nb = m_skin.first[b + 1] - m_skin.first[b];
            if (na != nb
                || std::memcmp(influences() + m_skin.first[a], influences() + m_skin.first[b], na * sizeof(Influence))
                    != 0)
                return false;
        }
        return true;
    }

private:
    using Influence = SkinInfluences::Influence;

    bool skinned() const { return !m_skin.first.empty(); }
    Influence* influences() { return m_skin.list.data(); }
    const Influence* influences() const { return m_skin.list.data(); }

    const aiMesh& m_mesh;
    const aiVector3D* m_normals;
    unsigned m_sets;
    bool m_colors;
    bool m_tangents;
    SkinInfluences m_skin; // empty when the mesh is written without skin
};

// Groups the vertices 0..count-1 with an open-addressing hash table: a vertex
// joins the first group whose representative `same` accepts, else starts one
// and represents it. Returns the group of every vertex.
template <typename Hash, typename Same>
std::vector<uint32_t> groupVertices(unsigned count, std::vector<uint32_t>& representatives, Hash hash, Same same)
{
    size_t buckets = 16;
    while (buckets < size_t(count) * 2)
        buckets *= 2;
    const uint32_t kEmpty = 0xFFFFFFFFu;
    std::vector<uint32_t> table(buckets, kEmpty); // group per slot
    std::vector<uint32_t> groupOf(count);
    for (unsigned v = 0; v < count; ++v) {
        for (size_t slot = size_t(hash(v)) & (buckets - 1);; slot = (slot + 1) & (buckets - 1)) {
            const uint32_t group = table[slot];
            if (group == kEmpty) {
                table[slot] = groupOf[v] = uint32_t(representatives.size());
                representatives.push_back(v);
                break;
            }
            if (same(representatives[group], v)) {
                groupOf[v] = group;
                break;
            }
        }
    }
    return groupOf;
}

} // namespace

VertexWeld VertexWelder::weld(const aiMesh& mesh, const aiVector3D* normals, unsigned texCoordSets, bool colors,
                              bool tangents, const std::vector<int>& jointOfBone)
{
    const VertexData data(mesh, normals, texCoordSets, colors, tangents, jointOfBone);
    VertexWeld weld;
    weld.source.reserve(mesh.mNumVertices);
    weld.remap = groupVertices(
        mesh.mNumVertices, weld.source, [&](unsigned v) { return data.hash(v); },
        [&](unsigned a, unsigned b) { return data.same(a, b); });
    return weld;
}

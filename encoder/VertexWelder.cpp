#include "VertexWelder.h"

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

struct Influence {
    int joint;
    float weight;
};

uint64_t mix(uint64_t hash, const void* data, size_t size)
{
    // FNV-1a over the bytes, then a final avalanche so that the low bits index well.
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
        : m_mesh(mesh), m_normals(normals), m_sets(texCoordSets), m_colors(colors), m_tangents(tangents)
    {
        if (jointOfBone.empty())
            return;
        // Influences per vertex, sorted by joint, so that equal sets compare equal.
        const unsigned n = mesh.mNumVertices;
        m_first.assign(n + 1, 0);
        for (unsigned b = 0; b < mesh.mNumBones && b < jointOfBone.size(); ++b) {
            if (jointOfBone[b] < 0)
                continue;
            for (unsigned w = 0; w < mesh.mBones[b]->mNumWeights; ++w) {
                if (mesh.mBones[b]->mWeights[w].mVertexId < n)
                    m_first[mesh.mBones[b]->mWeights[w].mVertexId + 1]++;
            }
        }
        for (unsigned v = 0; v < n; ++v)
            m_first[v + 1] += m_first[v];
        m_influences.resize(m_first[n]);
        std::vector<uint32_t> fill(m_first.begin(), m_first.end() - 1);
        for (unsigned b = 0; b < mesh.mNumBones && b < jointOfBone.size(); ++b) {
            if (jointOfBone[b] < 0)
                continue;
            for (unsigned w = 0; w < mesh.mBones[b]->mNumWeights; ++w) {
                const aiVertexWeight& vw = mesh.mBones[b]->mWeights[w];
                if (vw.mVertexId < n)
                    m_influences[fill[vw.mVertexId]++] = {jointOfBone[b], vw.mWeight};
            }
        }
        for (unsigned v = 0; v < n; ++v) {
            std::sort(m_influences.begin() + m_first[v], m_influences.begin() + m_first[v + 1],
                      [](const Influence& a, const Influence& b) {
                          return a.joint != b.joint ? a.joint < b.joint : a.weight < b.weight;
                      });
        }
    }

    uint64_t hash(unsigned v) const
    {
        uint64_t h = 14695981039346656037ull;
        h = mix(h, &m_mesh.mVertices[v], sizeof(aiVector3D));
        if (!m_first.empty())
            h = mix(h, m_influences.data() + m_first[v], (m_first[v + 1] - m_first[v]) * sizeof(Influence));
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
            if (!close(aiVector3D(ca.r, ca.g, ca.b), aiVector3D(cb.r, cb.g, cb.b)) || !(std::fabs(ca.a - cb.a) <= kEpsilon))
                return false;
        }
        if (m_tangents && (!close(m_mesh.mTangents[a], m_mesh.mTangents[b]) || !close(m_mesh.mBitangents[a], m_mesh.mBitangents[b])))
            return false;
        for (unsigned s = 0; s < m_sets; ++s) {
            if (!close(m_mesh.mTextureCoords[s][a], m_mesh.mTextureCoords[s][b]))
                return false;
        }
        if (!m_first.empty()) {
            const uint32_t na = m_first[a + 1] - m_first[a], nb = m_first[b + 1] - m_first[b];
            if (na != nb
                || std::memcmp(m_influences.data() + m_first[a], m_influences.data() + m_first[b], na * sizeof(Influence)) != 0)
                return false;
        }
        return true;
    }

private:
    const aiMesh& m_mesh;
    const aiVector3D* m_normals;
    unsigned m_sets;
    bool m_colors;
    bool m_tangents;
    std::vector<uint32_t> m_first;
    std::vector<Influence> m_influences;
};

size_t tableSizeFor(unsigned count)
{
    size_t buckets = 16;
    while (buckets < size_t(count) * 2)
        buckets *= 2;
    return buckets;
}

uint64_t positionHash(const aiVector3D& p)
{
    return avalanche(mix(14695981039346656037ull, &p, sizeof(aiVector3D)));
}

} // namespace

VertexWeld VertexWelder::weld(const aiMesh& mesh, const aiVector3D* normals, unsigned texCoordSets, bool colors,
                              bool tangents, const std::vector<int>& jointOfBone)
{
    const unsigned n = mesh.mNumVertices;
    VertexData data(mesh, normals, texCoordSets, colors, tangents, jointOfBone);
    VertexWeld weld;
    weld.remap.resize(n);
    weld.source.reserve(n);

    const size_t buckets = tableSizeFor(n);
    const uint32_t kEmpty = 0xFFFFFFFFu;
    std::vector<uint32_t> table(buckets, kEmpty);   // written vertex index per slot
    for (unsigned v = 0; v < n; ++v) {
        size_t slot = size_t(data.hash(v)) & (buckets - 1);
        for (;;) {
            const uint32_t written = table[slot];
            if (written == kEmpty) {
                table[slot] = uint32_t(weld.source.size());
                weld.remap[v] = uint32_t(weld.source.size());
                weld.source.push_back(v);
                break;
            }
            if (data.same(weld.source[written], v)) {
                weld.remap[v] = written;
                break;
            }
            slot = (slot + 1) & (buckets - 1);
        }
    }
    return weld;
}

std::vector<aiVector3D> VertexWelder::smoothNormals(const aiMesh& mesh)
{
    const unsigned n = mesh.mNumVertices;
    // Group vertices by exact position: a corner's normal is the sum over every face at that point.
    std::vector<uint32_t> group(n);
    std::vector<aiVector3D> sums;
    const size_t buckets = tableSizeFor(n);
    const uint32_t kEmpty = 0xFFFFFFFFu;
    std::vector<uint32_t> table(buckets, kEmpty);   // first vertex of each group
    std::vector<uint32_t> firstVertex;
    for (unsigned v = 0; v < n; ++v) {
        size_t slot = size_t(positionHash(mesh.mVertices[v])) & (buckets - 1);
        for (;;) {
            const uint32_t g = table[slot];
            if (g == kEmpty) {
                table[slot] = uint32_t(sums.size());
                group[v] = uint32_t(sums.size());
                firstVertex.push_back(v);
                sums.emplace_back(0, 0, 0);
                break;
            }
            if (std::memcmp(&mesh.mVertices[firstVertex[g]], &mesh.mVertices[v], sizeof(aiVector3D)) == 0) {
                group[v] = g;
                break;
            }
            slot = (slot + 1) & (buckets - 1);
        }
    }
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices != 3 || !face.mIndices || face.mIndices[0] >= n || face.mIndices[1] >= n || face.mIndices[2] >= n)
            continue;
        const aiVector3D& a = mesh.mVertices[face.mIndices[0]];
        const aiVector3D cross = (mesh.mVertices[face.mIndices[1]] - a) ^ (mesh.mVertices[face.mIndices[2]] - a);
        if (!std::isfinite(cross.x) || !std::isfinite(cross.y) || !std::isfinite(cross.z))
            continue;
        for (unsigned k = 0; k < 3; ++k)
            sums[group[face.mIndices[k]]] += cross;   // longer for larger faces: area weighting
    }
    std::vector<aiVector3D> normals(n);
    for (unsigned v = 0; v < n; ++v) {
        aiVector3D normal = sums[group[v]];
        const float length = normal.Length();
        normals[v] = length > 0 ? normal / length : aiVector3D(0, 1, 0);
    }
    return normals;
}

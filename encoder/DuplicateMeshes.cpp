#include "DuplicateMeshes.h"

#include <assimp/scene.h>

#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace {

template <typename T>
bool sameArray(const T* a, const T* b, size_t count)
{
    if (!a || !b)
        return a == b;
    return std::memcmp(a, b, count * sizeof(T)) == 0;
}

bool sameFaces(const aiMesh& a, const aiMesh& b)
{
    for (unsigned f = 0; f < a.mNumFaces; ++f) {
        const aiFace& fa = a.mFaces[f];
        const aiFace& fb = b.mFaces[f];
        if (fa.mNumIndices != fb.mNumIndices || !sameArray(fa.mIndices, fb.mIndices, fa.mNumIndices))
            return false;
    }
    return true;
}

// Bit for bit: a copy that differs in the last place is another mesh. The material may differ: each
// node names its own.
bool sameData(const aiMesh& a, const aiMesh& b)
{
    const size_t n = a.mNumVertices;
    if (n != b.mNumVertices || a.mNumFaces != b.mNumFaces || a.mPrimitiveTypes != b.mPrimitiveTypes || a.mNumBones
        || b.mNumBones || !a.mFaces || !b.mFaces)
        return false;
    if (!sameArray(a.mVertices, b.mVertices, n) || !sameArray(a.mNormals, b.mNormals, n)
        || !sameArray(a.mTangents, b.mTangents, n) || !sameArray(a.mBitangents, b.mBitangents, n))
        return false;
    for (unsigned s = 0; s < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++s) {
        if (a.mNumUVComponents[s] != b.mNumUVComponents[s] || !sameArray(a.mTextureCoords[s], b.mTextureCoords[s], n))
            return false;
    }
    for (unsigned s = 0; s < AI_MAX_NUMBER_OF_COLOR_SETS; ++s) {
        if (!sameArray(a.mColors[s], b.mColors[s], n))
            return false;
    }
    return sameFaces(a, b);
}

uint64_t roughHash(const aiMesh& mesh)
{
    uint64_t hash = (uint64_t(mesh.mNumVertices) << 32) ^ mesh.mNumFaces;
    if (mesh.mVertices && mesh.mNumVertices > 0) {
        uint32_t bits[3];
        std::memcpy(bits, &mesh.mVertices[0], sizeof(bits));
        hash ^= (uint64_t(bits[0]) << 1) ^ (uint64_t(bits[1]) << 17) ^ (uint64_t(bits[2]) << 33);
    }
    return hash;
}

} // namespace

std::vector<unsigned> DuplicateMeshes::firstCopies(const aiScene& scene)
{
    std::vector<unsigned> first(scene.mNumMeshes);
    std::unordered_multimap<uint64_t, unsigned> seen;
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        first[m] = m;
        const aiMesh* mesh = scene.mMeshes[m];
        if (!mesh)
            continue;
        const uint64_t hash = roughHash(*mesh);
        const auto candidates = seen.equal_range(hash);
        for (auto it = candidates.first; it != candidates.second; ++it) {
            if (sameData(*scene.mMeshes[it->second], *mesh)) {
                first[m] = it->second;
                break;
            }
        }
        if (first[m] == m)
            seen.emplace(hash, m);
    }
    return first;
}

#include "SkinInfluences.h"

#include <assimp/mesh.h>

SkinInfluences SkinInfluences::gather(const aiMesh& mesh, const std::vector<int>& jointOfBone)
{
    // Count per vertex, turn the counts into start offsets, then fill.
    const unsigned n = mesh.mNumVertices;
    const unsigned bones = jointOfBone.size() < mesh.mNumBones ? unsigned(jointOfBone.size()) : mesh.mNumBones;
    SkinInfluences influences;
    influences.first.assign(size_t(n) + 1, 0);
    for (unsigned b = 0; b < bones; ++b) {
        if (jointOfBone[b] < 0)
            continue;
        for (unsigned w = 0; w < mesh.mBones[b]->mNumWeights; ++w) {
            if (mesh.mBones[b]->mWeights[w].mVertexId < n)
                influences.first[mesh.mBones[b]->mWeights[w].mVertexId + 1]++;
        }
    }
    for (unsigned v = 0; v < n; ++v)
        influences.first[v + 1] += influences.first[v];
    influences.list.resize(influences.first[n]);
    std::vector<uint32_t> fill(influences.first.begin(), influences.first.end() - 1);
    for (unsigned b = 0; b < bones; ++b) {
        if (jointOfBone[b] < 0)
            continue;
        for (unsigned w = 0; w < mesh.mBones[b]->mNumWeights; ++w) {
            const aiVertexWeight& weight = mesh.mBones[b]->mWeights[w];
            if (weight.mVertexId < n)
                influences.list[fill[weight.mVertexId]++] = {jointOfBone[b], weight.mWeight};
        }
    }
    return influences;
}

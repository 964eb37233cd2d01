#include "HardEdgeNormals.h"

#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// Copies `array` (one item per vertex) into a new one item per corner.
template <typename T>
T* perCorner(const T* array, const std::vector<unsigned>& vertexOf)
{
    if (!array)
        return nullptr;
    T* out = new T[vertexOf.size()];
    for (size_t c = 0; c < vertexOf.size(); ++c)
        out[c] = array[vertexOf[c]];
    return out;
}

template <typename T>
void replace(T*& array, T* with)
{
    delete[] array;
    array = with;
}

// Bone weights follow their vertex into each of its corners.
void splitWeights(aiMesh& mesh, const std::vector<std::vector<unsigned>>& cornersOf)
{
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        aiBone& bone = *mesh.mBones[b];
        std::vector<aiVertexWeight> weights;
        for (unsigned w = 0; w < bone.mNumWeights; ++w) {
            const aiVertexWeight& weight = bone.mWeights[w];
            if (weight.mVertexId >= cornersOf.size())
                continue;
            for (unsigned corner : cornersOf[weight.mVertexId])
                weights.push_back(aiVertexWeight(corner, weight.mWeight));
        }
        aiVertexWeight* copy = new aiVertexWeight[weights.size()];
        std::copy(weights.begin(), weights.end(), copy);
        replace(bone.mWeights, copy);
        bone.mNumWeights = unsigned(weights.size());
    }
}

} // namespace

void HardEdgeNormals::addTo(aiScene& scene)
{
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        if (scene.mMeshes[m])
            addTo(*scene.mMeshes[m]);
    }
}

void HardEdgeNormals::addTo(aiMesh& mesh)
{
    if (mesh.mNormals || !mesh.mVertices || mesh.mNumVertices == 0 || mesh.mNumFaces == 0 || !mesh.mFaces)
        return;
    // One vertex per face corner; an index past the vertices (a damaged file) is pinned to the first.
    std::vector<unsigned> vertexOf;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        aiFace& face = mesh.mFaces[f];
        for (unsigned k = 0; face.mIndices && k < face.mNumIndices; ++k) {
            vertexOf.push_back(face.mIndices[k] < mesh.mNumVertices ? face.mIndices[k] : 0);
            face.mIndices[k] = unsigned(vertexOf.size() - 1);
        }
    }
    std::vector<std::vector<unsigned>> cornersOf(mesh.mNumVertices);
    for (unsigned c = 0; c < vertexOf.size(); ++c)
        cornersOf[vertexOf[c]].push_back(c);

    replace(mesh.mVertices, perCorner(mesh.mVertices, vertexOf));
    replace(mesh.mTangents, perCorner(mesh.mTangents, vertexOf));
    replace(mesh.mBitangents, perCorner(mesh.mBitangents, vertexOf));
    for (unsigned s = 0; s < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++s)
        replace(mesh.mTextureCoords[s], perCorner(mesh.mTextureCoords[s], vertexOf));
    for (unsigned s = 0; s < AI_MAX_NUMBER_OF_COLOR_SETS; ++s)
        replace(mesh.mColors[s], perCorner(mesh.mColors[s], vertexOf));
    splitWeights(mesh, cornersOf);
    // Shape keys (morph targets) keep the old numbering; the bundle does not carry them.
    mesh.mNumVertices = unsigned(vertexOf.size());

    // Face normals, as long as the face is large: the area weighting.
    std::vector<aiVector3D> faceNormal(mesh.mNumFaces, aiVector3D(0, 0, 0));
    std::vector<unsigned> faceOf(vertexOf.size());
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        for (unsigned k = 0; k < face.mNumIndices; ++k)
            faceOf[face.mIndices[k]] = f;
        if (face.mNumIndices != 3)
            continue;
        const aiVector3D& a = mesh.mVertices[face.mIndices[0]];
        const aiVector3D cross = (mesh.mVertices[face.mIndices[1]] - a) ^ (mesh.mVertices[face.mIndices[2]] - a);
        if (std::isfinite(cross.x) && std::isfinite(cross.y) && std::isfinite(cross.z))
            faceNormal[f] = cross;
    }

    // The corners at each point, found by exact position (bit patterns, so NaN sorts too): runs of
    // equal keys once sorted.
    std::vector<std::pair<std::array<uint32_t, 3>, unsigned>> byPoint(mesh.mNumVertices);
    for (unsigned c = 0; c < mesh.mNumVertices; ++c) {
        std::memcpy(byPoint[c].first.data(), &mesh.mVertices[c], sizeof(byPoint[c].first));
        byPoint[c].second = c;
    }
    std::sort(byPoint.begin(), byPoint.end());

    const float creaseCosine = std::cos(kCreaseDegrees * 3.14159265f / 180.0f);
    mesh.mNormals = new aiVector3D[mesh.mNumVertices];
    for (size_t run = 0, end = 0; run < byPoint.size(); run = end) {
        while (end < byPoint.size() && byPoint[end].first == byPoint[run].first)
            ++end;
        // So many faces at one point come only from damaged or hostile files: they are smoothed
        // together rather than compared pair by pair.
        const bool crowded = end - run > kMaxFacesAtPoint;
        aiVector3D all(0, 0, 0);
        for (size_t k = run; k < end; ++k)
            all += faceNormal[faceOf[byPoint[k].second]];
        for (size_t k = run; k < end; ++k) {
            const aiVector3D own = faceNormal[faceOf[byPoint[k].second]];
            const float ownLength = own.Length();
            aiVector3D sum = all;
            // A face without area bends with all its neighbours.
            if (!crowded && ownLength > 0) {
                sum = aiVector3D(0, 0, 0);
                for (size_t other = run; other < end; ++other) {
                    const aiVector3D& normal = faceNormal[faceOf[byPoint[other].second]];
                    const float length = normal.Length();
                    if (length > 0 && (own * normal) >= creaseCosine * ownLength * length)
                        sum += normal;
                }
            }
            const float length = sum.Length();
            mesh.mNormals[byPoint[k].second] = length > 0 && std::isfinite(length) ? sum / length : aiVector3D(0, 1, 0);
        }
    }
}

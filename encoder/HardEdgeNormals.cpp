#include "HardEdgeNormals.h"

#include <assimp/scene.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
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

    // The faces at each point, found by exact position.
    std::map<std::array<uint32_t, 3>, std::vector<unsigned>> facesAt; // bit patterns: NaN orders too
    const auto key = [&](unsigned c) {
        std::array<uint32_t, 3> bits;
        std::memcpy(bits.data(), &mesh.mVertices[c], sizeof(bits));
        return bits;
    };
    for (unsigned c = 0; c < mesh.mNumVertices; ++c)
        facesAt[key(c)].push_back(faceOf[c]);

    const float creaseCosine = std::cos(kCreaseDegrees * 3.14159265f / 180.0f);
    mesh.mNormals = new aiVector3D[mesh.mNumVertices];
    for (unsigned c = 0; c < mesh.mNumVertices; ++c) {
        const aiVector3D own = faceNormal[faceOf[c]];
        const float ownLength = own.Length();
        aiVector3D sum(0, 0, 0);
        for (unsigned f : facesAt[key(c)]) {
            const float length = faceNormal[f].Length();
            // A face without area bends with all its neighbours.
            if (ownLength == 0 || (length > 0 && (own * faceNormal[f]) >= creaseCosine * ownLength * length))
                sum += faceNormal[f];
        }
        const float length = sum.Length();
        mesh.mNormals[c] = length > 0 && std::isfinite(length) ? sum / length : aiVector3D(0, 1, 0);
    }
}

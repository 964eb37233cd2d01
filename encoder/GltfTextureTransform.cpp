#include "GltfTextureTransform.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <cmath>

namespace {

// The texture the engine draws a material with, and its transform; false when it has none.
bool colourTextureTransform(const aiMaterial& material, aiUVTransform& transform, unsigned& uvSet)
{
    for (const aiTextureType type : {aiTextureType_DIFFUSE, aiTextureType_BASE_COLOR}) {
        if (material.GetTextureCount(type) == 0)
            continue;
        int set = 0;
        material.Get(AI_MATKEY_UVWSRC(type, 0), set);
        uvSet = set >= 0 && set < AI_MAX_NUMBER_OF_TEXTURECOORDS ? unsigned(set) : 0;
        return material.Get(AI_MATKEY_UVTRANSFORM(type, 0), transform) == AI_SUCCESS;
    }
    return false;
}

} // namespace

aiVector3D GltfTextureTransform::transformed(const aiVector3D& uv, const aiUVTransform& stored)
{
    // The extension scales, then turns about the origin, then offsets, in glTF's coordinates (v from
    // the top): a turn counter-clockwise as the texture is seen, v downwards, which turns the image
    // on the model clockwise (as the extension's sample model shows). Assimp keeps the scale, negates
    // the turn and moves the offset to suit a turn about the texture's centre in its own coordinates;
    // that is undone first.
    const double turn = -double(stored.mRotation), c = std::cos(turn), s = std::sin(turn);
    const double scaleU = stored.mScaling.x, scaleV = stored.mScaling.y;
    const double offsetU = stored.mTranslation.x - 0.5 * scaleU * (1 - c + s);
    const double offsetV = 0.5 * scaleV * (s + c - 1) + 1 - scaleV - stored.mTranslation.y;
    const double u = double(uv.x) * scaleU, v = (1 - double(uv.y)) * scaleV;
    const double movedU = offsetU + c * u + s * v, movedV = offsetV - s * u + c * v;
    return aiVector3D(float(movedU), float(1 - movedV), uv.z);
}

void GltfTextureTransform::apply(aiScene& scene)
{
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        aiMesh* mesh = scene.mMeshes[m];
        aiUVTransform transform;
        unsigned uvSet = 0;
        if (!mesh || mesh->mMaterialIndex >= scene.mNumMaterials || !scene.mMaterials[mesh->mMaterialIndex]
            || !colourTextureTransform(*scene.mMaterials[mesh->mMaterialIndex], transform, uvSet)
            || !mesh->HasTextureCoords(uvSet))
            continue;
        for (unsigned v = 0; v < mesh->mNumVertices; ++v)
            mesh->mTextureCoords[uvSet][v] = transformed(mesh->mTextureCoords[uvSet][v], transform);
    }
}

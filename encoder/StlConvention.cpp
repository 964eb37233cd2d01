#include "StlConvention.h"

#include "MessageCodes.h"

#include <assimp/scene.h>

#include <cstdint>

namespace {

// Engine x is the file's x, engine y its z (up), engine z its -y (towards the viewer): a turn, not a mirror.
void declareZUp(aiScene& scene)
{
    if (!scene.mMetaData)
        scene.mMetaData = new aiMetadata();
    const struct {
        const char* key;
        int32_t value;
    } axes[] = {{"UpAxis", 2},         {"UpAxisSign", 1}, {"FrontAxis", 1},
                {"FrontAxisSign", -1}, {"CoordAxis", 0},  {"CoordAxisSign", 1}};
    for (const auto& axis : axes) {
        if (!scene.mMetaData->Set(axis.key, axis.value))
            scene.mMetaData->Add(axis.key, axis.value);
    }
}

} // namespace

size_t StlConvention::fixNormals(aiMesh& mesh)
{
    if (!mesh.mNormals || !mesh.mVertices || !mesh.mFaces)
        return 0;
    size_t against = 0;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices != 3 || !face.mIndices || face.mIndices[0] >= mesh.mNumVertices
            || face.mIndices[1] >= mesh.mNumVertices || face.mIndices[2] >= mesh.mNumVertices)
            continue;
        const aiVector3D &a = mesh.mVertices[face.mIndices[0]], &b = mesh.mVertices[face.mIndices[1]],
                         &c = mesh.mVertices[face.mIndices[2]];
        aiVector3D winding = (b - a) ^ (c - a);
        if (!(winding.SquareLength() > 0))
            continue;
        winding.Normalize();
        bool pointsAgainst = false;
        for (unsigned k = 0; k < 3; ++k) {
            aiVector3D& normal = mesh.mNormals[face.mIndices[k]];
            const float along = normal * winding;
            if (along > 0)
                continue;
            pointsAgainst = pointsAgainst || along < 0;
            normal = winding;
        }
        against += pointsAgainst ? 1 : 0;
    }
    return against;
}

void StlConvention::apply(aiScene& scene, const std::string& path, Messages& messages)
{
    declareZUp(scene);
    size_t against = 0, facets = 0;
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        if (!scene.mMeshes[m])
            continue;
        against += fixNormals(*scene.mMeshes[m]);
        facets += scene.mMeshes[m]->mNumFaces;
    }
    if (against == 0)
        return;
    messages.warning(MessageCode::NormalsRecomputed, "Normals recomputed",
                     std::to_string(against) + " of the " + std::to_string(facets) + " facets of \"" + path
                         + "\" have normals that point against the order of their corners (counter-clockwise "
                           "seen from outside); their normals are made from that order.");
}

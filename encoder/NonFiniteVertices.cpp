#include "NonFiniteVertices.h"

#include "MessageCodes.h"
#include "Messages.h"

#include <assimp/scene.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace {

bool isFinite(const aiVector3D& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool usesAny(const aiFace& face, const std::vector<bool>& bad, unsigned vertexCount)
{
    for (unsigned i = 0; i < face.mNumIndices; ++i) {
        const unsigned index = face.mIndices[i];
        if (index >= vertexCount || bad[index])
            return true;
    }
    return false;
}

} // namespace

size_t NonFiniteVertices::dropFrom(aiMesh& mesh)
{
    if (!mesh.mVertices || mesh.mNumVertices == 0)
        return 0;
    std::vector<bool> bad(mesh.mNumVertices, false);
    const aiVector3D* finite = nullptr;
    bool anyBad = false;
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        bad[v] = !isFinite(mesh.mVertices[v]);
        anyBad = anyBad || bad[v];
        if (!bad[v] && !finite)
            finite = &mesh.mVertices[v];
    }
    if (!anyBad)
        return 0;
    const aiVector3D stand = finite ? *finite : aiVector3D();
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        if (bad[v])
            mesh.mVertices[v] = stand;
    }
    // Kept faces move to the front by their index arrays; the array's
    // destructor still frees every face it was made with.
    unsigned kept = 0;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        if (usesAny(mesh.mFaces[f], bad, mesh.mNumVertices))
            continue;
        std::swap(mesh.mFaces[kept].mNumIndices, mesh.mFaces[f].mNumIndices);
        std::swap(mesh.mFaces[kept].mIndices, mesh.mFaces[f].mIndices);
        ++kept;
    }
    const size_t dropped = mesh.mNumFaces - kept;
    mesh.mNumFaces = kept;
    return dropped;
}

void NonFiniteVertices::dropFrom(aiScene& scene, Messages& messages)
{
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        aiMesh* mesh = scene.mMeshes[m];
        const unsigned faces = mesh ? mesh->mNumFaces : 0;
        const size_t dropped = mesh ? dropFrom(*mesh) : 0;
        if (dropped == 0)
            continue;
        const std::string name
            = mesh->mName.length > 0 ? "\"" + std::string(mesh->mName.C_Str()) + "\"" : "number " + std::to_string(m);
        messages.warning(MessageCode::NonFiniteVertices, "Vertices without a position",
                         "The mesh " + name + " has vertices whose position is not a finite number; "
                             + std::to_string(dropped) + " of its " + std::to_string(faces)
                             + " faces use them and are left out.");
    }
}

#pragma once

#include <assimp/vector3.h>

struct aiScene;
struct aiUVTransform;

// A glTF material may move, turn and scale its texture over the texture coordinates
// (KHR_texture_transform). The engine's materials take no such transform, so it is applied to the
// texture coordinates of the meshes drawn with the material: exact, since every glTF mesh has its
// own coordinates and one material. The transform of the colour texture is the one applied.
class GltfTextureTransform {
public:
    static void apply(aiScene& scene);

    // `uv` (as Assimp hands glTF coordinates out: v counted from the bottom) moved by the extension's
    // transform as Assimp's glTF reader stores it.
    static aiVector3D transformed(const aiVector3D& uv, const aiUVTransform& stored);
};

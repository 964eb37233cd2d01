#pragma once

#include "BundleData.h"

#include <string>
#include <vector>

namespace engine {

// What a model holds, worked out from its bundle without drawing anything:
// the facts behind "Velmora3dEncoder --info", as plain values and as text
// or one JSON object.
class BundleInfo {
public:
    struct Skin {
        std::string node;
        unsigned joints = 0;
    };
    struct Animation {
        std::string id;
        unsigned channels = 0;
        unsigned keys = 0;
    };
    // One node of the hierarchy, with its transform relative to its parent.
    struct TreeNode {
        int parent = -1; // index into the tree; -1 at the top
        unsigned depth = 0;
        std::string id;
        std::string kind; // "joint", "camera", "light", "model" or "node"
        std::string mesh; // the model's mesh; "" for none
        std::vector<std::string> materials; // one per part of the mesh
        Vector3 translation, scale;
        Quaternion rotation;
    };
    struct MeshDetail {
        std::string id;
        unsigned parts = 0, vertices = 0, triangles = 0;
    };
    struct MaterialDetail {
        std::string name;
        std::vector<std::string> textures; // the paths its samplers name, as written
    };
    struct Summary {
        std::string bundlePath;
        std::string version;
        unsigned nodes = 0, joints = 0, cameras = 0, lights = 0, models = 0;
        unsigned meshes = 0, parts = 0, vertices = 0, triangles = 0;
        std::vector<Skin> skins;
        std::vector<std::string> materials; // resolved in the material file
        std::vector<std::string> unresolvedMaterials;
        std::vector<MeshDetail> meshDetails; // in the bundle's order
        std::vector<MaterialDetail> materialDetails; // one per resolved material, in the order of 'materials'
        std::vector<Animation> animations;
        std::vector<TreeNode> tree; // depth first in scene order, then the subtrees outside the scene
        bool hasBounds = false;
        BoundingBox bounds; // world space, over every model's mesh box
        std::string activeCamera;
        // What the engine leaves out of this model when it loads it, and why.
        BundleProblems problems;
    };

    // 'path' is a model folder (with "model.gpb") or a ".gpb" file.
    static bool summarise(const std::string& path, Summary* out, std::string* error);
    // From data already read; materials are looked up in 'materialPath' ("" none).
    static Summary summarise(const BundleData& data, const std::string& materialPath);

    // withTree adds the node hierarchy (--info --tree).
    static std::string toText(const Summary& summary, bool withTree = false);
    // One line per problem: kind, id and reason.
    static std::string problemsText(const Summary& summary);
    static std::string toJson(const Summary& summary, bool withTree = false);

    // The material file beside a bundle: its name up to the last "." plus
    // ".material"; "" when the name has no extension or the file is missing.
    static std::string materialPathOf(const std::string& bundlePath);
};

} // namespace engine

#pragma once

#include <assimp/matrix4x4.h>

#include <set>
#include <string>
#include <vector>

struct aiNode;
struct aiScene;

// Assimp reads an FBX node's pivots, offsets and pre- and post-rotation exactly only as a chain of
// helper nodes ("Name_$AssimpFbx$_RotationPivot", ...) above the node the artist made; its own
// folding of them into one matrix gets some of them wrong. This step folds each chain back into
// that node, multiplying the helpers' transforms in double precision, so that the tree shows the
// artist's nodes and every world transform stays as the chain made it.
//
// A helper that an animation channel drives stays (folding a fixed part into a keyed one would
// change the motion between keys); the fixed helpers next to it fold into their neighbours where
// that keeps the motion. The geometric transform (3ds Max's object offset) applies to the node's
// own meshes (and light or camera) only, never to its children, so it is moved into the vertices of
// those meshes (a mesh that other nodes draw too is copied first), or on a node with a light or camera
// into the node while its children take it back, and the helpers that undo it for the children go.
class PivotFolder {
public:
    struct Result {
        // Artist's nodes (source names) that keep animated helper nodes above them.
        std::vector<std::string> nodesWithKeptHelpers;
    };

    static Result fold(aiScene& scene);

    // What Assimp puts between a node's name and the part a helper stands for.
    static constexpr const char* kHelperTag = "_$AssimpFbx$_";

private:
    // A node's chain as Assimp builds it: the helpers above the artist's node, top first, that node,
    // and the helpers below it that take the geometric transform back before its children.
    struct Chain {
        std::vector<aiNode*> above;
        aiNode* artist = nullptr;
        std::vector<aiNode*> below;
    };

    explicit PivotFolder(aiScene& scene);
    Result run();
    bool startsChain(const aiNode& parent, const aiNode& child) const;
    void foldChainAt(aiNode& parent, unsigned slot);
    // Moves the geometric transform into the artist's meshes; false (nothing changed) when the
    // chain does not have the shape Assimp gives it.
    bool takeOutGeometry(Chain& chain, std::vector<aiNode*>& removed);
    void foldTransforms(Chain& chain, std::vector<aiNode*>& removed) const;
    void bakeMeshesOf(aiNode& node, const aiMatrix4x4t<double>& placement);
    bool animated(const aiNode* node) const;
    bool referenced(const aiNode* node) const;

    aiScene& m_scene;
    std::set<std::string> m_animated; // nodes whose local transform an animation channel replaces
    std::set<std::string> m_viewers; // nodes a light or camera names
    std::set<std::string> m_referenced; // nodes a channel, bone, light or camera names
    std::vector<unsigned> m_uses; // per mesh: how many node slots draw it
    Result m_result;
};

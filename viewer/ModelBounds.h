#pragma once

#include "math/BoundingBox.h"

#include <map>
#include <vector>

namespace engine {
class Model;
class Node;
} // namespace engine

// Where a model's geometry lies in the world, as the viewer draws it. The
// engine's node bounds keep skinned meshes in mesh space and count a point
// light's reach around the origin; neither is what a user sees, so framing,
// the info file and the selection box measure the drawn meshes instead.
class ModelBounds {
public:
    // Reads the vertices of the skinned meshes below root once, while their
    // data is still in memory (before the first draw uploads it): for each
    // joint, the box of the vertices it moves. Replaces what an earlier
    // model left.
    void measureSkins(const engine::Node* root);
    void clear() { m_skins.clear(); }

    // The box around the meshes of a node and its descendants, in world
    // space and in the current pose; the zero box when none has a mesh.
    engine::BoundingBox ofSubtree(const engine::Node* node) const;

    // What one mesh node draws lies within, in world space and in the
    // current pose: the corners of its mesh's box as the node turns and
    // places it, and, when the mesh is not skinned, its sphere (radius
    // below zero when there is none). Tighter than the world box for a
    // turned or round mesh, so previews fit what they actually show.
    struct Hull {
        std::vector<engine::Vector3> corners;
        engine::Vector3 center;
        float radius = -1.0f;
    };
    std::vector<Hull> hullsOfSubtree(const engine::Node* node) const;
    // A box's corners as a hull.
    static Hull hullOf(const engine::BoundingBox& box);

private:
    // Mesh-space boxes: one per joint of the skin (empty when the joint
    // moves no vertex) and one of the vertices no joint moves.
    struct SkinBoxes {
        std::vector<engine::BoundingBox> joints;
        std::vector<bool> jointMovesVertices;
        engine::BoundingBox unmoved;
        bool anyUnmoved = false;
    };

    struct GrowingBox;

    void measureSkinsBelow(const engine::Node* node);
    engine::BoundingBox meshBoxInWorld(const engine::Node* node) const;
    void mergeSubtree(const engine::Node* node, GrowingBox* box) const;
    void addHulls(const engine::Node* node, std::vector<Hull>* hulls) const;

    std::map<const engine::Model*, SkinBoxes> m_skins;
};

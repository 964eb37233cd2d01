#pragma once

#include "math/BoundingBox.h"

namespace engine {
class Node;
}

// Where a model's geometry lies in the world, as the viewer draws it. The
// engine's node bounds keep skinned meshes in mesh space and count a point
// light's reach around the origin; neither is what a user sees, so framing,
// the info file and the selection box measure the drawn meshes instead.
class ModelBounds {
public:
    // The box around the meshes of a node and its descendants, in world
    // space; the zero box when none has a mesh.
    static engine::BoundingBox ofSubtree(const engine::Node* node);
};

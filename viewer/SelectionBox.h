#pragma once

#include "math/Vector3.h"

class ModelBounds;

namespace engine {
class Model;
class Node;
} // namespace engine

// Where the white wire box around the node chosen in the scene tree goes.
// The box is a unit cube from (0, 0, 0) to (1, 1, 1) that is scaled and
// moved; a scale of 0 hides it.
struct SelectionBox {
    enum class Action { Hide, Place };

    Action action = Action::Hide;
    engine::Vector3 scale;
    engine::Vector3 translation;

    // A model is fitted to its bounds as they are drawn; a light or a camera
    // gets a unit cube centred on it; null or any other node hides the box,
    // which would otherwise go on marking the node chosen before.
    static SelectionBox placementFor(const engine::Node* node, const ModelBounds& bounds);

    // The white wire cube itself; needs a current context.
    static engine::Model* createModel();
};

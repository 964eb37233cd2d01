#pragma once

#include <QtGlobal>

namespace engine {
class Node;
class Scene;
} // namespace engine

// What the status bar says of a model: each mesh counted once with its
// vertices, however many nodes draw it, the way --info counts a bundle.
class ModelStatistics {
public:
    struct Counts {
        quint32 meshes = 0;
        quint32 vertices = 0;
        bool found = false; // the scene holds the model's root node
    };

    static Counts of(const engine::Scene* scene);
};

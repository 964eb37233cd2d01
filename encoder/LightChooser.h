#pragma once

#include "BundlePlan.h"

#include <vector>

// The engine lights a material with every light of the scene, up to a fixed
// number of each kind, taking those that give the mesh the most light. For a
// node drawing a mesh this picks those lights, so that the encoder can tell
// the engine how many of each kind the shader takes, and lists the lights
// that reach the mesh beyond those numbers.
struct LightChoice {
    std::vector<int> lights; // plan nodes of the lights used, strongest first; empty: the viewer's own lights
    std::vector<int> leftOut; // plan nodes of the other lights that reach the mesh, in plan order
    unsigned counts[4] = {0, 0, 0, 0}; // lights used, indexed by LightType

    unsigned count(LightType type) const { return counts[size_t(type)]; }
};

class LightChooser {
public:
    explicit LightChooser(const BundlePlan& plan);

    LightChoice choose(int node) const;

    // How much light `light` (carried by a node with world matrix `lightWorld`) gives at `point`:
    // its brightest colour channel, weakened by range and cone as the model shader does.
    static float contributionAt(const PlanLight& light, const aiMatrix4x4& lightWorld, const aiVector3D& point);

    // Below this a light is taken to miss the mesh.
    static constexpr float kReaches = 0.02f;
    // Lights of one kind the shader takes at most.
    static constexpr unsigned kMaxPerKind = 4;

private:
    float contribution(int light, const std::vector<aiVector3D>& samples) const;
    std::vector<aiVector3D> samplesOf(int node) const;

    const BundlePlan& m_plan;
    std::vector<int> m_lights; // plan nodes that carry a light
};

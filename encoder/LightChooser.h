#pragma once

#include "BundlePlan.h"

#include <vector>

// The engine binds one light to each material, found by type from the node
// that draws it (its own light, its siblings', then each ancestor's level), so
// a material can reach at most one light of each type. For a node drawing a
// mesh this picks, among the lights it can reach, the one that gives the mesh
// the most light, and lists the other lights that reach the mesh too.
struct LightChoice {
    int light = -1; // plan node carrying the chosen light; -1: none, the viewer's own light is used
    std::vector<int> leftOut; // plan nodes of the other lights that reach the mesh, in plan order
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

private:
    enum class Place { OnNode, OnNodeOrChild };

    // The light of `type` that the engine's search from `node` finds; -1 when none.
    int reachable(int node, LightType type) const;
    int searchUpwards(int node, LightType type, Place place) const;
    int lightAt(int node, LightType type, Place place) const;
    const std::vector<int>& siblingsOf(int node) const;
    float contribution(int light, const std::vector<aiVector3D>& samples) const;
    std::vector<aiVector3D> samplesOf(int node) const;

    const BundlePlan& m_plan;
    std::vector<int> m_lights; // plan nodes that carry a light
};

#pragma once

#include "DeferredLighting.h"

#include <string>
#include <vector>

namespace engine {
class Light;
class Node;
class Scene;
} // namespace engine

// Draws the models of a scene: opaque ones first (those that can be lit in
// a light pass before the others), then those tagged "transparent", each
// group in scene order. A node named by the exclude
// name is skipped (its children are not), which keeps the grid out of the
// thumbnails.
class SceneDrawer {
public:
    void setIncludeName(const std::string& name) { m_includeName = name; }
    // Returns the number of mesh parts drawn.
    unsigned int draw(engine::Scene* scene, const std::string& excludeName = std::string());

private:
    void collect(engine::Node* node);
    bool isSkipped(const engine::Node* node) const;
    void separateLightPassed();

    DeferredLighting m_deferredLighting;
    std::vector<engine::Light*> m_lights; // all of the scene's, as the light pass takes them
    DeferredLighting::LightCounts m_lightCounts {};
    std::vector<engine::Node*> m_lightPassed; // opaque, lit in the light pass
    std::vector<engine::Node*> m_opaque;
    std::vector<engine::Node*> m_transparent;
    std::string m_includeName;
    std::string m_excludeName;
};

#pragma once

#include "Light.h"

#include <map>
#include <tuple>
#include <vector>

namespace engine {

class Material;
class Node;

// Gives a model's material the light its shader defines ask for: the nearest
// light of that type found on the node, its siblings, then each ancestor and
// its siblings up to the top.
class LightParameterBinder {
public:
    // Where a search takes a light from: the nodes it visits, or also their
    // direct children.
    enum class LightPlace { OnNode, OnNodeOrChild };

    // The light each group of siblings offers, remembered across searches
    // while the tree does not change: thousands of siblings that each look
    // for a light would otherwise scan each other.
    using SiblingLights = std::map<std::tuple<const void*, int, LightPlace>, Light*>;

    LightParameterBinder() = delete;

    // The light type the material's defines ask for; 0 for none.
    static int wantedLightType(const Material* material);
    // Null when no light of the type is found.
    static Light* findLight(Node* node, Light::Type type, SiblingLights* memo = nullptr);
    // Sets or binds the light parameters; false when nothing was bound.
    static bool bind(Material* material, Node* node, SiblingLights* memo = nullptr);
    // For materials lit by several lights of each kind (count defines):
    // fills each kind's arrays with the lights of `sceneLights` that give the
    // node the most light; each frame, those that cannot reach the node are
    // left out. False when the material has no count define.
    static bool bindSceneLights(Material* material, Node* node, const std::vector<Light*>& sceneLights);

private:
    static Light* searchUpwards(Node* node, Light::Type type, LightPlace place, SiblingLights* memo);
    static Light* siblingLight(Node* node, Light::Type type, LightPlace place);
};

} // namespace engine

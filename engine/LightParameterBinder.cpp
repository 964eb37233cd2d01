#include "LightParameterBinder.h"

#include "Material.h"
#include "MaterialParameter.h"
#include "Node.h"
#include "SceneLightSet.h"
#include "Technique.h"

namespace engine {

namespace {

// Bounds the upward walk, so that a parent chain that loops cannot hang.
const int kMaxDepth = 4096;

Light* lightOfType(Node* node, Light::Type type)
{
    Light* light = node ? node->getLight() : nullptr;
    return light && light->getLightType() == type ? light : nullptr;
}

Light* lightAt(Node* node, Light::Type type, LightParameterBinder::LightPlace place)
{
    if (Light* own = lightOfType(node, type))
        return own;
    if (place == LightParameterBinder::LightPlace::OnNode)
        return nullptr;
    for (Node* child = node->getFirstChild(); child; child = child->getNextSibling()) {
        if (Light* light = lightOfType(child, type))
            return light;
    }
    return nullptr;
}

Node* firstSibling(Node* node)
{
    int steps = 0;
    while (node->getPreviousSibling() && steps++ < kMaxDepth * 16)
        node = node->getPreviousSibling();
    return node;
}

} // namespace

int LightParameterBinder::wantedLightType(const Material* material)
{
    if (!material)
        return 0;
    if (material->hasDefine("SPOT_LIGHT"))
        return Light::SPOT;
    if (material->hasDefine("POINT_LIGHT"))
        return Light::POINT;
    if (material->hasDefine("DIRECTIONAL_LIGHT"))
        return Light::DIRECTIONAL;
    // Linear-lit materials with highlights use the default lights or their
    // own light arrays, never a bound single light.
    if (material->hasDefine("SPECULAR") && !material->hasDefine("LINEAR_LIGHTING"))
        return Light::DIRECTIONAL;
    return 0;
}

// The node's own light, then its siblings', then the same for each ancestor.
// The encoder puts a turned light (any spot or sun light) on a child of the
// node that carried it in the source, so a mesh beside that node would never
// find it: when the plain search finds nothing, it runs again, this time also
// taking a light from a direct child of each node it looks at.
Light* LightParameterBinder::findLight(Node* node, Light::Type type, SiblingLights* memo)
{
    if (Light* light = searchUpwards(node, type, LightPlace::OnNode, memo))
        return light;
    return searchUpwards(node, type, LightPlace::OnNodeOrChild, memo);
}

Light* LightParameterBinder::searchUpwards(Node* node, Light::Type type, LightPlace place, SiblingLights* memo)
{
    for (int depth = 0; node && depth < kMaxDepth; node = node->getParent(), ++depth) {
        if (Light* own = lightAt(node, type, place))
            return own;
        Light* light = nullptr;
        if (memo) {
            const void* group = node->getParent() ? static_cast<const void*>(node->getParent())
                                                  : static_cast<const void*>(node->getScene());
            const auto key = std::make_tuple(group, int(type), place);
            const auto known = memo->find(key);
            if (known != memo->end())
                light = known->second;
            else
                light = (*memo)[key] = siblingLight(node, type, place);
        } else {
            light = siblingLight(node, type, place);
        }
        if (light)
            return light;
    }
    return nullptr;
}

// The first light of the type among the node and its siblings, in order.
Light* LightParameterBinder::siblingLight(Node* node, Light::Type type, LightPlace place)
{
    for (Node* sibling = firstSibling(node); sibling; sibling = sibling->getNextSibling()) {
        if (Light* light = lightAt(sibling, type, place))
            return light;
    }
    return nullptr;
}

bool LightParameterBinder::bindSceneLights(Material* material, Node* node, const std::vector<Light*>& sceneLights)
{
    if (!material)
        return false;
    const Vector3 centre = node ? node->getBoundingSphere().center : Vector3();
    std::vector<Light*> chosen[3];
    unsigned int counts[3] = {};
    float total = 0.0f;
    for (int kind = 0; kind < 3; ++kind) {
        const Light::Type type = SceneLightSet::kTypes[kind];
        counts[kind] = material->defineCount(SceneLightSet::countDefine(type));
        chosen[kind] = SceneLightSet::strongest(sceneLights, type, counts[kind], centre);
        for (const Light* light : chosen[kind])
            total += SceneLightSet::influenceAt(*light, centre);
    }
    // Every light arrives at full strength (importers leave no common unit),
    // so lights that overlap would wash the mesh out to white: together they
    // give its centre at most what one full light gives.
    const float exposure = total > 1.0f ? 1.0f / total : 1.0f;
    // The light pass takes the lights at full strength and each pixel's share from its surface.
    material->getParameter("u_sceneLightExposure")->setValue(exposure);
    bool bound = false;
    for (int kind = 0; kind < 3; ++kind) {
        if (counts[kind] == 0)
            continue;
        SceneLightSet::bind(material, SceneLightSet::kTypes[kind], chosen[kind], counts[kind], exposure, node);
        bound = true;
    }
    return bound;
}

bool LightParameterBinder::bind(Material* material, Node* node, SiblingLights* memo)
{
    const int type = wantedLightType(material);
    Light* light = type ? findLight(node, Light::Type(type), memo) : nullptr;
    if (!light || !light->getNode())
        return false;
    Node* lightNode = light->getNode();
    material->getParameter("u_lightColor")->setValue(light->getColor());
    switch (light->getLightType()) {
    case Light::POINT:
        material->getParameter("u_pointLightPosition")->bindValue(lightNode, &Node::getTranslationView);
        material->getParameter("u_pointLightRangeInverse")->setValue(light->getRangeInverse());
        break;
    case Light::SPOT:
        material->getParameter("u_spotLightInnerAngleCos")->setValue(light->getInnerAngleCos());
        material->getParameter("u_spotLightOuterAngleCos")->setValue(light->getOuterAngleCos());
        material->getParameter("u_spotLightRangeInverse")->setValue(light->getRangeInverse());
        material->getParameter("u_spotLightDirection")->bindValue(lightNode, &Node::getForwardVectorView);
        material->getParameter("u_spotLightPosition")->bindValue(lightNode, &Node::getTranslationView);
        break;
    case Light::DIRECTIONAL:
        if (Technique* technique = material->getTechniqueByIndex(0))
            technique->getParameter("u_lightDirection")->bindValue(lightNode, &Node::getForwardVectorView);
        break;
    }
    return true;
}

} // namespace engine

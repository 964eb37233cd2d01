#include "SceneLightSet.h"

#include "Effect.h"
#include "Material.h"
#include "MaterialParameter.h"
#include "Node.h"
#include "math/MathUtil.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace engine {

namespace {

// The shader's uniform names of one kind: "u_" + prefix + quantity + "s".
const char* prefixOf(Light::Type type)
{
    switch (type) {
    case Light::DIRECTIONAL:
        return "u_directionalLight";
    case Light::POINT:
        return "u_pointLight";
    case Light::SPOT:
        return "u_spotLight";
    }
    return "";
}

MaterialParameter* parameter(Material* material, Light::Type type, const char* quantity)
{
    return material->getParameter((std::string(prefixOf(type)) + quantity).c_str());
}

} // namespace

Vector3 SceneLightSet::shaderColor(const Light& light)
{
    const Vector3& color = light.getColor();
    const float strongest = std::max(color.x, std::max(color.y, color.z));
    return strongest > 1.0f ? color * (1.0f / strongest) : color;
}

float SceneLightSet::influenceAt(const Light& light, const Vector3& worldPoint)
{
    const Vector3 color = shaderColor(light);
    const float strength = std::max(color.x, std::max(color.y, color.z));
    if (!(strength > 0.0f) || !light.getNode())
        return 0.0f;
    if (light.getLightType() == Light::DIRECTIONAL)
        return strength;
    const Vector3 toPoint = worldPoint - light.getNode()->getTranslationWorld();
    const float distance = toPoint.length();
    const float scaled = distance * light.getRangeInverse();
    float falloff = std::min(1.0f, std::max(0.0f, 1.0f - scaled * scaled));
    if (light.getLightType() == Light::SPOT) {
        Vector3 forward = light.getNode()->getForwardVectorWorld();
        const float forwardLength = forward.length();
        const float cosine
            = distance > 0.0f && forwardLength > 0.0f ? toPoint.dot(forward) / (distance * forwardLength) : 1.0f;
        falloff *= engine::smoothStep(light.getOuterAngleCos(), light.getInnerAngleCos(), cosine);
    }
    return std::isfinite(falloff) ? strength * falloff : 0.0f;
}

std::vector<Light*> SceneLightSet::strongest(const std::vector<Light*>& lights, Light::Type type, unsigned int count,
                                             const Vector3& worldPoint)
{
    std::vector<std::pair<float, Light*>> ranked;
    for (Light* light : lights) {
        if (light && light->getLightType() == type && light->getNode())
            ranked.emplace_back(influenceAt(*light, worldPoint), light);
    }
    std::stable_sort(
        ranked.begin(), ranked.end(),
        [](const std::pair<float, Light*>& a, const std::pair<float, Light*>& b) { return a.first > b.first; });
    std::vector<Light*> chosen;
    for (size_t i = 0; i < ranked.size() && chosen.size() < count; ++i)
        chosen.push_back(ranked[i].second);
    return chosen;
}

void SceneLightSet::bind(Material* material, Light::Type type, const std::vector<Light*>& lights, unsigned int count,
                         float exposure)
{
    if (!material || count == 0)
        return;
    std::vector<Vector3> colors(count);
    std::vector<float> rangeInverses(count, 0.0f), innerCoses(count, 1.0f), outerCoses(count, 1.0f);
    for (size_t i = 0; i < lights.size() && i < count; ++i) {
        colors[i] = shaderColor(*lights[i]) * exposure;
        rangeInverses[i] = lights[i]->getRangeInverse();
        innerCoses[i] = lights[i]->getInnerAngleCos();
        outerCoses[i] = lights[i]->getOuterAngleCos();
    }
    parameter(material, type, "Colors")->setValue(colors.data(), count);
    const auto bindMoving = [&](const char* quantity, Quantity what) {
        SceneLightSet* binding = new SceneLightSet(lights, what, count);
        parameter(material, type, quantity)->setBinding(binding);
        binding->release();
    };
    if (type == Light::DIRECTIONAL) {
        bindMoving("Directions", Quantity::ForwardView);
        return;
    }
    bindMoving("Positions", Quantity::PositionView);
    parameter(material, type, "RangeInverses")->setValue(rangeInverses.data(), count);
    if (type == Light::SPOT) {
        bindMoving("Directions", Quantity::ForwardView);
        parameter(material, type, "InnerAngleCoses")->setValue(innerCoses.data(), count);
        parameter(material, type, "OuterAngleCoses")->setValue(outerCoses.data(), count);
    }
}

SceneLightSet::SceneLightSet(const std::vector<Light*>& lights, Quantity quantity, unsigned int count)
    : m_lights(lights.begin(), lights.begin() + std::min<size_t>(lights.size(), count))
    , m_quantity(quantity)
    , m_values(count)
{
}

void SceneLightSet::setValue(Effect* effect, Uniform* uniform)
{
    for (size_t i = 0; i < m_lights.size(); ++i) {
        const Node* node = m_lights[i]->getNode();
        if (node)
            m_values[i]
                = m_quantity == Quantity::ForwardView ? node->getForwardVectorView() : node->getTranslationView();
    }
    if (!m_values.empty())
        effect->setValue(uniform, m_values.data(), static_cast<unsigned int>(m_values.size()));
}

} // namespace engine

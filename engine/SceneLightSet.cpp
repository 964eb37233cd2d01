#include "SceneLightSet.h"

#include "Drawable.h"
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

const char* SceneLightSet::countDefine(Light::Type type)
{
    switch (type) {
    case Light::DIRECTIONAL:
        return "DIRECTIONAL_LIGHT_COUNT";
    case Light::POINT:
        return "POINT_LIGHT_COUNT";
    case Light::SPOT:
        return "SPOT_LIGHT_COUNT";
    }
    return "";
}

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

bool SceneLightSet::reaches(const Light& light, const BoundingSphere& bounds)
{
    const Vector3 color = shaderColor(light);
    const Node* node = light.getNode();
    if (!(std::max(color.x, std::max(color.y, color.z)) > 0.0f) || !node)
        return false;
    if (light.getLightType() == Light::DIRECTIONAL)
        return true;
    const Vector3 toCentre = bounds.center - node->getTranslationWorld();
    const float distance = toCentre.length();
    // A range of zero sets no limit: the shader's falloff stays at one.
    if (light.getRangeInverse() > 0.0f && distance - bounds.radius > light.getRange())
        return false;
    if (light.getLightType() != Light::SPOT || !(distance > bounds.radius))
        return true;
    // Outside the cone when the angle to the centre exceeds the outer angle
    // by more than the angle the sphere spans. Cones whose inner edge is not
    // inside the outer one are not judged.
    const float innerCos = light.getInnerAngleCos(), outerCos = light.getOuterAngleCos();
    const Vector3 forward = node->getForwardVectorWorld();
    const float forwardLength = forward.length();
    if (!(outerCos < innerCos) || !(forwardLength > 0.0f))
        return true;
    const float cosine = std::min(1.0f, std::max(-1.0f, toCentre.dot(forward) / (distance * forwardLength)));
    const float reach = std::acos(std::min(1.0f, std::max(-1.0f, outerCos))) + std::asin(bounds.radius / distance);
    return !std::isfinite(cosine) || std::acos(cosine) < reach;
}

void SceneLightSet::bind(Material* material, Light::Type type, const std::vector<Light*>& lights, unsigned int count,
                         float exposure, const Node* litNode)
{
    if (!material || count == 0)
        return;
    const Packing packing {std::vector<Light*>(lights.begin(), lights.begin() + std::min<size_t>(lights.size(), count)),
                           litNode, exposure};
    const auto bindQuantity = [&](const char* name, Quantity quantity) {
        SceneLightSet* binding = new SceneLightSet(packing, quantity, count);
        parameter(material, type, name)->setBinding(binding);
        binding->release();
    };
    bindQuantity("Colors", Quantity::Color);
    if (type == Light::DIRECTIONAL) {
        bindQuantity("Directions", Quantity::ForwardView);
        return;
    }
    bindQuantity("Positions", Quantity::PositionView);
    bindQuantity("RangeInverses", Quantity::RangeInverse);
    if (type == Light::SPOT) {
        bindQuantity("Directions", Quantity::ForwardView);
        bindQuantity("InnerAngleCoses", Quantity::InnerAngleCos);
        bindQuantity("OuterAngleCoses", Quantity::OuterAngleCos);
    }
}

SceneLightSet::SceneLightSet(const Packing& packing, Quantity quantity, unsigned int count)
    : m_packing(packing)
    , m_quantity(quantity)
{
    m_packed.reserve(m_packing.lights.size());
    if (quantity == Quantity::Color || quantity == Quantity::PositionView || quantity == Quantity::ForwardView)
        m_vectors.resize(count);
    else
        m_numbers.resize(count);
}

void SceneLightSet::pack()
{
    m_packed.clear();
    const Node* lit = m_packing.litNode;
    // A skinned mesh's bounds may trail its pose: every light stays.
    const bool judged = lit && !(lit->getDrawable() && lit->getDrawable()->isSkinned());
    const BoundingSphere bounds = judged ? lit->getBoundingSphere() : BoundingSphere();
    for (Light* light : m_packing.lights) {
        if (judged ? reaches(*light, bounds) : light->getNode() != nullptr)
            m_packed.push_back(light);
    }
}

Vector3 SceneLightSet::vectorOf(const Light& light) const
{
    switch (m_quantity) {
    case Quantity::Color:
        return shaderColor(light) * m_packing.exposure;
    case Quantity::PositionView:
        return light.getNode()->getTranslationView();
    default:
        return light.getNode()->getForwardVectorView();
    }
}

float SceneLightSet::numberOf(const Light& light) const
{
    switch (m_quantity) {
    case Quantity::RangeInverse:
        return light.getRangeInverse();
    case Quantity::InnerAngleCos:
        return light.getInnerAngleCos();
    default:
        return light.getOuterAngleCos();
    }
}

void SceneLightSet::setValue(Effect* effect, Uniform* uniform)
{
    pack();
    // Slots after the packed lights are black, which ends the shader's loop.
    for (size_t i = 0; i < m_vectors.size(); ++i)
        m_vectors[i] = i < m_packed.size() ? vectorOf(*m_packed[i]) : Vector3();
    for (size_t i = 0; i < m_numbers.size(); ++i)
        m_numbers[i] = i < m_packed.size() ? numberOf(*m_packed[i]) : 0.0f;
    if (!m_vectors.empty())
        effect->setValue(uniform, m_vectors.data(), static_cast<unsigned int>(m_vectors.size()));
    else if (!m_numbers.empty())
        effect->setValue(uniform, m_numbers.data(), static_cast<unsigned int>(m_numbers.size()));
}

} // namespace engine

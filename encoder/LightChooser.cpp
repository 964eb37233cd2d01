#include "LightChooser.h"

#include "MathUtil.h"

#include <assimp/scene.h>

#include <algorithm>
#include <cmath>

namespace {

aiVector3D translationOf(const aiMatrix4x4& m) { return aiVector3D(m.a4, m.b4, m.c4); }

} // namespace

LightChooser::LightChooser(const BundlePlan& plan)
    : m_plan(plan)
{
    for (size_t n = 0; n < plan.nodes.size(); ++n) {
        if (plan.nodes[n].light.type != LightType::NONE)
            m_lights.push_back(int(n));
    }
}

float LightChooser::contributionAt(const PlanLight& light, const aiMatrix4x4& lightWorld, const aiVector3D& point)
{
    float strength = std::max({light.color[0], light.color[1], light.color[2]});
    if (!(strength > 0) || light.type == LightType::NONE)
        return 0;
    strength = std::min(strength, 1.0f);
    if (light.type == LightType::DIRECTIONAL)
        return strength;
    const aiVector3D toPoint = point - translationOf(lightWorld);
    const float distance = toPoint.Length();
    const float scaled = light.range > 0 ? distance / light.range : 1;
    float falloff = std::min(1.0f, std::max(0.0f, 1 - scaled * scaled));
    if (light.type == LightType::SPOT) {
        // The light shines down its node's -Z axis.
        aiVector3D forward(-lightWorld.a3, -lightWorld.b3, -lightWorld.c3);
        const float forwardLength = forward.Length();
        const float cosine = distance > 0 && forwardLength > 0 ? (toPoint * forward) / (distance * forwardLength) : 1;
        falloff *= engine::smoothStep(std::cos(light.outerAngle), std::cos(light.innerAngle), cosine);
    }
    return std::isfinite(falloff) ? strength * falloff : 0;
}

std::vector<aiVector3D> LightChooser::samplesOf(int node) const
{
    // The corners and the centre of the mesh's box, where the node puts it.
    const PlanNode& owner = m_plan.nodes[size_t(node)];
    const PlanMesh& mesh = m_plan.meshes[size_t(owner.mesh)];
    std::vector<aiVector3D> samples;
    for (int corner = 0; corner < 8; ++corner) {
        const aiVector3D local((corner & 1) ? mesh.boxMax.x : mesh.boxMin.x,
                               (corner & 2) ? mesh.boxMax.y : mesh.boxMin.y,
                               (corner & 4) ? mesh.boxMax.z : mesh.boxMin.z);
        samples.push_back(owner.world * local);
    }
    samples.push_back(owner.world * ((mesh.boxMin + mesh.boxMax) * 0.5f));
    return samples;
}

float LightChooser::contribution(int light, const std::vector<aiVector3D>& samples) const
{
    const PlanNode& carrier = m_plan.nodes[size_t(light)];
    float sum = 0;
    for (const aiVector3D& point : samples)
        sum += contributionAt(carrier.light, carrier.world, point);
    return samples.empty() ? 0 : sum / float(samples.size());
}

LightChoice LightChooser::choose(int node) const
{
    LightChoice choice;
    if (node < 0 || m_plan.nodes[size_t(node)].mesh < 0)
        return choice;
    const std::vector<aiVector3D> samples = samplesOf(node);
    std::vector<std::pair<float, int>> reaching;
    for (int light : m_lights) {
        const float amount = contribution(light, samples);
        if (amount >= kReaches)
            reaching.emplace_back(amount, light);
    }
    std::stable_sort(reaching.begin(), reaching.end(),
                     [](const std::pair<float, int>& a, const std::pair<float, int>& b) { return a.first > b.first; });
    for (const std::pair<float, int>& candidate : reaching) {
        unsigned& used = choice.counts[size_t(m_plan.nodes[size_t(candidate.second)].light.type)];
        if (used < kMaxPerKind) {
            ++used;
            choice.lights.push_back(candidate.second);
        } else {
            choice.leftOut.push_back(candidate.second);
        }
    }
    std::sort(choice.leftOut.begin(), choice.leftOut.end());
    return choice;
}

#include "SceneDrawer.h"

#include "Drawable.h"
#include "Light.h"
#include "Node.h"
#include "Scene.h"

unsigned int SceneDrawer::draw(engine::Scene* scene, const std::string& excludeName)
{
    if (!excludeName.empty())
        m_excludeName = excludeName;
    // The lists keep their capacity from frame to frame: no allocation once
    // the scene has been drawn once.
    m_opaque.clear();
    m_transparent.clear();
    m_lightPassed.clear();
    m_lights.clear();
    m_lightCounts.fill(0);
    if (!scene)
        return 0;
    scene->visit([this](engine::Node* node) {
        collect(node);
        return true; // skipped nodes still have their children looked at
    });
    separateLightPassed();
    unsigned int parts = 0;
    const int lightPassedParts = m_deferredLighting.draw(m_lightPassed, m_lights, scene);
    if (lightPassedParts >= 0)
        parts += unsigned(lightPassedParts);
    else
        m_opaque.insert(m_opaque.end(), m_lightPassed.begin(), m_lightPassed.end());
    for (engine::Node* node : m_opaque)
        parts += node->getDrawable()->draw(false);
    for (engine::Node* node : m_transparent)
        parts += node->getDrawable()->draw(false);
    return parts;
}

bool SceneDrawer::isSkipped(const engine::Node* node) const
{
    if (!m_includeName.empty() && m_includeName != node->getId())
        return true;
    if (!m_excludeName.empty() && m_excludeName == node->getId())
        return true;
    const engine::Drawable* drawable = node->getDrawable();
    return !drawable || !drawable->hasMesh();
}

void SceneDrawer::collect(engine::Node* node)
{
    if (engine::Light* light = node->getLight()) {
        m_lights.push_back(light);
        ++m_lightCounts[light->getLightType()];
    }
    if (isSkipped(node))
        return;
    if (node->hasTag("transparent"))
        m_transparent.push_back(node);
    else
        m_opaque.push_back(node);
}

// Known only once the whole scene, lights included, has been visited. In
// place and in order, without allocating once the lists have grown.
void SceneDrawer::separateLightPassed()
{
    size_t kept = 0;
    for (engine::Node* node : m_opaque) {
        if (DeferredLighting::canLight(node, m_lightCounts))
            m_lightPassed.push_back(node);
        else
            m_opaque[kept++] = node;
    }
    m_opaque.resize(kept);
}

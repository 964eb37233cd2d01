#include "SceneDrawer.h"

#include "Drawable.h"
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
    if (!scene)
        return 0;
    scene->visit([this](engine::Node* node) {
        collect(node);
        return true; // skipped nodes still have their children looked at
    });
    unsigned int parts = 0;
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
    if (isSkipped(node))
        return;
    if (node->hasTag("transparent"))
        m_transparent.push_back(node);
    else
        m_opaque.push_back(node);
}

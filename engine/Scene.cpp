#include "Scene.h"

#include "Camera.h"
#include "Node.h"

namespace engine {

Scene* Scene::create(const char* id) { return new Scene(id); }

Scene::Scene(const char* id)
    : m_id(id ? id : "")
{
}

Scene::~Scene()
{
    removeAllNodes();
    releaseRef(m_activeCamera);
}

void Scene::addNode(Node* node)
{
    if (!node || (node->m_scene == this && !node->m_parent))
        return;
    node->addRef();
    node->detachFromOwner();
    Node::appendToList(m_firstNode, m_lastNode, node);
    node->m_scene = this;
    node->hierarchyChanged();

    if (!m_activeCamera && node->getCamera())
        setActiveCamera(node->getCamera());
}

void Scene::removeNode(Node* node)
{
    if (!node || node->m_scene != this || node->m_parent)
        return;
    Node::removeFromList(m_firstNode, m_lastNode, node);
    node->m_scene = nullptr;
    node->hierarchyChanged();
    node->release();
}

void Scene::removeAllNodes()
{
    while (m_lastNode)
        removeNode(m_lastNode);
}

Node* Scene::findNode(const char* id, bool recursive, bool exactMatch) const
{
    return Node::findInList(m_firstNode, id, recursive, exactMatch);
}

void Scene::setActiveCamera(Camera* camera)
{
    if (m_activeCamera == camera)
        return;
    if (camera)
        camera->addRef();
    releaseRef(m_activeCamera);
    m_activeCamera = camera;
}

} // namespace engine

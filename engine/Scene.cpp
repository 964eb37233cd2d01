#include "engine/Scene.h"

#include "engine/Camera.h"
#include "engine/Node.h"

namespace engine {

Scene* Scene::create(const char* id)
{
    return new Scene(id);
}

Scene::Scene(const char* id)
    : _id(id ? id : "")
{
}

Scene::~Scene()
{
    removeAllNodes();
    releaseRef(_activeCamera);
}

void Scene::addNode(Node* node)
{
    if (!node || (node->_scene == this && !node->_parent))
        return;
    node->addRef();
    node->detachFromOwner();
    Node::appendToList(_firstNode, _lastNode, node);
    node->_scene = this;
    ++_nodeCount;
    node->hierarchyChanged();

    if (!_activeCamera && node->getCamera())
        setActiveCamera(node->getCamera());
}

void Scene::removeNode(Node* node)
{
    if (!node || node->_scene != this || node->_parent)
        return;
    Node::removeFromList(_firstNode, _lastNode, node);
    node->_scene = nullptr;
    --_nodeCount;
    node->hierarchyChanged();
    node->release();
}

void Scene::removeAllNodes()
{
    while (_lastNode)
        removeNode(_lastNode);
}

Node* Scene::findNode(const char* id, bool recursive, bool exactMatch) const
{
    return Node::findInList(_firstNode, id, recursive, exactMatch);
}

void Scene::setActiveCamera(Camera* camera)
{
    if (_activeCamera == camera)
        return;
    if (camera)
        camera->addRef();
    releaseRef(_activeCamera);
    _activeCamera = camera;
}

} // namespace engine

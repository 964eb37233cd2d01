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
    if (node->_parent)
        node->_parent->removeChild(node);
    else if (node->_scene)
        node->_scene->removeNode(node);

    if (_lastNode) {
        _lastNode->_nextSibling = node;
        node->_prevSibling = _lastNode;
    } else {
        _firstNode = node;
    }
    _lastNode = node;
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
    if (_firstNode == node)
        _firstNode = node->_nextSibling;
    if (_lastNode == node)
        _lastNode = node->_prevSibling;
    node->unlinkFromSiblings();
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
    if (!id)
        return nullptr;
    for (Node* node = _firstNode; node; node = node->_nextSibling) {
        if (exactMatch ? node->_id == id : node->_id.compare(0, std::string(id).size(), id) == 0)
            return node;
    }
    if (recursive) {
        for (Node* node = _firstNode; node; node = node->_nextSibling)
            if (Node* found = node->findNode(id, true, exactMatch))
                return found;
    }
    return nullptr;
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

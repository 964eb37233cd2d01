#ifndef ENGINE_SCENE_H
#define ENGINE_SCENE_H

#include "engine/Ref.h"
#include "engine/math/Vector3.h"

#include <string>

namespace engine {

class Camera;
class Node;

// Ordered list of top-level nodes, an active camera and an ambient colour.
class Scene : public Ref
{
public:
    static Scene* create(const char* id = nullptr);

    const char* getId() const { return _id.c_str(); }
    void setId(const char* id) { _id = id ? id : ""; }

    // Appends; takes the node out of its parent or previous scene. The first
    // node added with a camera supplies the active camera if none is set.
    void addNode(Node* node);
    void removeNode(Node* node);
    void removeAllNodes();
    Node* getFirstNode() const { return _firstNode; }
    unsigned int getNodeCount() const { return _nodeCount; }
    // Top-level nodes first, then (recursive) each top-level subtree in order.
    Node* findNode(const char* id, bool recursive = true, bool exactMatch = true) const;

    Camera* getActiveCamera() const { return _activeCamera; }
    void setActiveCamera(Camera* camera);

    const Vector3& getAmbientColor() const { return _ambientColor; }
    void setAmbientColor(const Vector3& color) { _ambientColor = color; }
    void setAmbientColor(float red, float green, float blue) { _ambientColor = Vector3(red, green, blue); }

    // Depth first, parents before children; the visitor returns whether to
    // descend into the node's children.
    template <typename Visitor>
    void visit(Visitor&& visitor) const;

private:
    explicit Scene(const char* id);
    ~Scene() override;

    template <typename Visitor>
    static void visitNode(Node* node, Visitor& visitor);

    std::string _id;
    Camera* _activeCamera = nullptr;
    Node* _firstNode = nullptr;
    Node* _lastNode = nullptr;
    unsigned int _nodeCount = 0;
    Vector3 _ambientColor;
};

} // namespace engine

#include "engine/Node.h"

namespace engine {

template <typename Visitor>
void Scene::visit(Visitor&& visitor) const
{
    for (Node* node = _firstNode; node; node = node->getNextSibling())
        visitNode(node, visitor);
}

template <typename Visitor>
void Scene::visitNode(Node* node, Visitor& visitor)
{
    if (!visitor(node))
        return;
    for (Node* child = node->getFirstChild(); child; child = child->getNextSibling())
        visitNode(child, visitor);
}

} // namespace engine

#endif

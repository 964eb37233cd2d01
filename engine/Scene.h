#pragma once

#include "Ref.h"
#include "math/Vector3.h"

#include <string>

namespace engine {

class Camera;
class Node;

// Ordered list of top-level nodes, an active camera and an ambient colour.
class Scene : public Ref {
public:
    static Scene* create(const char* id = nullptr);

    const char* getId() const { return m_id.c_str(); }
    void setId(const char* id) { m_id = id ? id : ""; }

    // Appends; takes the node out of its parent or previous scene. The first
    // node added with a camera supplies the active camera if none is set.
    void addNode(Node* node);
    void removeNode(Node* node);
    void removeAllNodes();
    Node* getFirstNode() const { return m_firstNode; }
    // Top-level nodes first, then (recursive) each top-level subtree in order.
    Node* findNode(const char* id, bool recursive = true, bool exactMatch = true) const;

    Camera* getActiveCamera() const { return m_activeCamera; }
    void setActiveCamera(Camera* camera);

    const Vector3& getAmbientColor() const { return m_ambientColor; }
    void setAmbientColor(const Vector3& color) { m_ambientColor = color; }
    void setAmbientColor(float red, float green, float blue) { m_ambientColor = Vector3(red, green, blue); }

    // Depth first, parents before children; the visitor returns whether to
    // descend into the node's children.
    template <typename Visitor>
    void visit(Visitor&& visitor) const;

private:
    explicit Scene(const char* id);
    ~Scene() override;

    template <typename Visitor>
    static void visitNode(Node* node, Visitor& visitor);

    std::string m_id;
    Camera* m_activeCamera = nullptr;
    Node* m_firstNode = nullptr;
    Node* m_lastNode = nullptr;
    Vector3 m_ambientColor;
};

} // namespace engine

#include "Node.h"

namespace engine {

template <typename Visitor>
void Scene::visit(Visitor&& visitor) const
{
    for (Node* node = m_firstNode; node; node = node->getNextSibling())
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

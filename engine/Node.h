#pragma once

#include "Ref.h"
#include "Transform.h"
#include "math/BoundingBox.h"
#include "math/BoundingSphere.h"
#include "math/Matrix.h"

#include <map>
#include <string>

namespace engine {

class Camera;
class Drawable;
class Light;
class Scene;

// A transform in the scene graph with an id, children and attachments.
//
// World matrix rule: world = parent's hierarchy matrix * local * offset,
// where a node's hierarchy matrix is parent's hierarchy matrix * local, i.e.
// the offset matrix moves only the node's own geometry, never its children.
// This keeps the result independent of the order in which matrices are
// refreshed, and matches how a geometric offset is meant.
class Node : public Transform, public Ref {
public:
    enum Type { NODE = 1, JOINT = 2 };

    static Node* create(const char* id = nullptr);

    virtual Type getType() const { return NODE; }

    const char* getId() const { return m_id.c_str(); }
    void setId(const char* id);

    Node* getParent() const { return m_parent; }
    Node* getFirstChild() const { return m_firstChild; }
    Node* getNextSibling() const { return m_nextSibling; }
    Node* getPreviousSibling() const { return m_prevSibling; }
    unsigned int getChildCount() const { return m_childCount; }
    // Appends; takes the child out of its previous parent or scene. A node
    // cannot become a child of itself or of one of its descendants.
    void addChild(Node* child);
    void removeChild(Node* child);
    void removeAllChildren();
    Node* findNode(const char* id, bool recursive = true, bool exactMatch = true) const;
    // Its own scene or that of its top ancestor.
    Scene* getScene() const;
    Node* getRootNode() const;

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // A null value removes the tag.
    void setTag(const char* name, const char* value = "");
    bool hasTag(const char* name) const;
    const char* getTag(const char* name) const;

    Drawable* getDrawable() const { return m_drawable; }
    void setDrawable(Drawable* drawable);
    Camera* getCamera() const { return m_camera; }
    void setCamera(Camera* camera);
    Light* getLight() const { return m_light; }
    void setLight(Light* light);

    const Matrix& getWorldMatrix() const;
    Matrix getWorldViewMatrix() const;
    Matrix getInverseTransposeWorldMatrix() const;
    Matrix getInverseTransposeWorldViewMatrix() const;
    // From the scene's active camera; identity without one.
    Matrix getViewMatrix() const;
    Matrix getInverseViewMatrix() const;
    Matrix getProjectionMatrix() const;
    Matrix getViewProjectionMatrix() const;
    Matrix getInverseViewProjectionMatrix() const;
    Matrix getWorldViewProjectionMatrix() const;
    Vector3 getTranslationWorld() const;
    Vector3 getTranslationView() const;
    // Direction getters return unit vectors (zero when degenerate).
    Vector3 getForwardVectorWorld() const;
    Vector3 getForwardVectorView() const;
    Vector3 getActiveCameraTranslationWorld() const;
    Vector3 getActiveCameraTranslationView() const;

    const Matrix& getBindWorldMatrix() const { return m_bindWorld; }
    void setBindWorldMatrix(const Matrix& m) { m_bindWorld = m; }

    // Bounds of this node and its subtree, in world space; skinned geometry
    // is placed by its skin's root joints, not by the node's matrix.
    const BoundingSphere& getBoundingSphere() const;
    const BoundingBox& getBoundingBox() const;
    // For what moves geometry without moving the node (a skin's root joints).
    void setBoundsDirty() { markBoundsDirtyUpwards(); }
    unsigned int getSubtreeMeshPartCount() const;
    unsigned int getSubtreeVertexCount() const;

    // Skinning data every node can carry, so that any node can be a bone.
    const Matrix* getInverseBindPose() const { return m_inverseBindPose; }
    void setInverseBindPose(const Matrix& m);
    // Cached joint matrix, valid while !isJointMatrixDirty().
    Matrix* getJointMatrixCache();
    bool isJointMatrixDirty() const { return m_jointMatrixDirty; }
    void setJointMatrixDirty(bool dirty) { m_jointMatrixDirty = dirty; }

protected:
    explicit Node(const char* id);
    ~Node() override;

    void localTransformChanged() override;
    // Raised on a node whose parent or scene changed.
    virtual void hierarchyChanged() { }

private:
    friend class Scene;
    friend class Light; // a point light's range is part of the bounds

    enum NodeDirtyBits {
        NODE_DIRTY_WORLD = 1,
        NODE_DIRTY_BOUNDS = 2,
        NODE_DIRTY_HIERARCHY = 4,
        NODE_DIRTY_ALL = NODE_DIRTY_WORLD | NODE_DIRTY_BOUNDS | NODE_DIRTY_HIERARCHY
    };

    void refreshWorld() const;
    const Matrix& hierarchyMatrix() const;
    void markWorldDirty(bool force);
    void markBoundsDirtyUpwards();
    void refreshBounds() const;
    // Out of its parent's children or its scene's top-level list, whichever holds it.
    void detachFromOwner();
    // Sibling lists (a parent's children, a scene's top-level nodes) kept as
    // first/last plus links in the nodes.
    static void appendToList(Node*& first, Node*& last, Node* node);
    static void removeFromList(Node*& first, Node*& last, Node* node);
    // The nodes from 'first' on, then (recursive) each one's subtree in order.
    static Node* findInList(Node* first, const char* id, bool recursive, bool exactMatch);
    bool isAncestorOf(const Node* node) const;
    const Camera* activeCamera() const;

    Scene* m_scene = nullptr;
    std::string m_id;
    Node* m_firstChild = nullptr;
    Node* m_lastChild = nullptr;
    Node* m_nextSibling = nullptr;
    Node* m_prevSibling = nullptr;
    Node* m_parent = nullptr;
    unsigned int m_childCount = 0;
    bool m_enabled = true;
    std::map<std::string, std::string> m_tags;
    Drawable* m_drawable = nullptr;
    Camera* m_camera = nullptr;
    Light* m_light = nullptr;
    mutable Matrix m_world;
    mutable Matrix m_hierarchy; // world without offset; used only when an offset is set
    Matrix m_bindWorld;
    mutable BoundingSphere m_boundingSphere;
    mutable BoundingBox m_boundingBox;
    mutable int m_dirtyBits = NODE_DIRTY_ALL;
    Matrix* m_inverseBindPose = nullptr;
    Matrix* m_jointMatrix = nullptr;
    bool m_jointMatrixDirty = true;
};

} // namespace engine

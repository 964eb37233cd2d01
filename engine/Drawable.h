#pragma once

#include "math/BoundingBox.h"
#include "math/BoundingSphere.h"

namespace engine {

class Node;

// Something a node can draw (a Model). Concrete drawables also derive from
// Ref; the node keeps one reference through that base.
class Drawable {
public:
    virtual ~Drawable();

    Node* getNode() const { return m_node; }

    // Returns the number of parts drawn.
    virtual unsigned int draw(bool wireframe = false);

    // Geometry facts the scene graph needs for bounds and statistics.
    virtual bool hasMesh() const { return false; }
    virtual BoundingSphere meshBoundingSphere() const { return BoundingSphere(); }
    virtual BoundingBox meshBoundingBox() const { return BoundingBox(); }
    // Skinned geometry is not moved by the node's matrix but by its skin:
    // this moves the mesh bounds where the skin holds them.
    virtual bool isSkinned() const { return false; }
    virtual void poseSkinnedBounds(BoundingSphere* /*sphere*/, BoundingBox* /*box*/) const { }
    virtual unsigned int meshPartCount() const { return 0; }
    virtual unsigned int vertexCount() const { return 0; }

protected:
    Drawable() = default;
    Drawable(const Drawable&) = delete;
    Drawable& operator=(const Drawable&) = delete;

    // Called by Node when it attaches or detaches this drawable.
    virtual void setNode(Node* node) { m_node = node; }

private:
    friend class Node;
    Node* m_node = nullptr;
};

} // namespace engine

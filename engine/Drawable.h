#ifndef ENGINE_DRAWABLE_H
#define ENGINE_DRAWABLE_H

#include "engine/math/BoundingBox.h"
#include "engine/math/BoundingSphere.h"

namespace engine {

class Node;

// Something a node can draw (a Model). Concrete drawables also derive from
// Ref; the node keeps one reference through that base.
class Drawable
{
public:
    virtual ~Drawable();

    Node* getNode() const { return _node; }

    // Returns the number of parts drawn.
    virtual unsigned int draw(bool wireframe = false);

    // Geometry facts the scene graph needs for bounds and statistics.
    virtual bool hasMesh() const { return false; }
    virtual BoundingSphere meshBoundingSphere() const { return BoundingSphere(); }
    virtual BoundingBox meshBoundingBox() const { return BoundingBox(); }
    // Skinned geometry keeps its bounds in mesh space.
    virtual bool isSkinned() const { return false; }
    virtual unsigned int meshPartCount() const { return 0; }
    virtual unsigned int vertexCount() const { return 0; }

protected:
    Drawable() = default;
    Drawable(const Drawable&) = delete;
    Drawable& operator=(const Drawable&) = delete;

    // Called by Node when it attaches or detaches this drawable.
    virtual void setNode(Node* node) { _node = node; }

private:
    friend class Node;
    Node* _node = nullptr;
};

} // namespace engine

#endif

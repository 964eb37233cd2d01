#include "SelectionBox.h"

#include "Drawable.h"
#include "Node.h"

SelectionBox SelectionBox::placementFor(const engine::Node* node)
{
    SelectionBox box;
    if (!node) {
        box.action = Action::Hide;
        return box;
    }
    const engine::Drawable* drawable = node->getDrawable();
    if (drawable && drawable->hasMesh()) {
        const engine::BoundingBox& bounds = node->getBoundingBox();
        box.action = Action::Place;
        box.scale = bounds.max - bounds.min;
        box.translation = bounds.min;
        return box;
    }
    if (node->getLight() || node->getCamera()) {
        box.action = Action::Place;
        box.scale = engine::Vector3::one();
        // The node's own position: a point light's bounds are its reach
        // around the world origin, which says nothing about where it is.
        box.translation = node->getTranslationWorld() - engine::Vector3(0.5f, 0.5f, 0.5f);
    }
    return box;
}

#include "ModelBounds.h"

#include "Drawable.h"
#include "MeshSkin.h"
#include "Model.h"
#include "Node.h"

namespace {

// Linear blend skinning puts every vertex inside the hull of its joints'
// transforms of it, so the boxes of the mesh box under each joint's skin
// matrix hold the drawn mesh in its current pose (the node's own world
// matrix cancels out of the palette).
engine::BoundingBox skinnedBoxInWorld(const engine::Node* node, const engine::MeshSkin& skin,
                                      const engine::BoundingBox& meshBox)
{
    engine::BoundingBox box;
    bool any = false;
    for (unsigned int i = 0; i < skin.getJointCount(); ++i) {
        const engine::Node* joint = skin.getJoint(i);
        if (!joint)
            continue;
        engine::BoundingBox posed = meshBox;
        posed.transform(skin.jointPose(joint));
        if (any)
            box.merge(posed);
        else
            box = posed;
        any = true;
    }
    if (!any) {
        box = meshBox;
        box.transform(node->getBindWorldMatrix());
    }
    return box;
}

engine::BoundingBox meshBoxInWorld(const engine::Node* node)
{
    const engine::Drawable* drawable = node->getDrawable();
    engine::BoundingBox box = drawable->meshBoundingBox();
    const engine::Model* model = dynamic_cast<const engine::Model*>(drawable);
    if (drawable->isSkinned() && model && model->getSkin())
        return skinnedBoxInWorld(node, *model->getSkin(), box);
    box.transform(node->getWorldMatrix());
    return box;
}

void mergeSubtree(const engine::Node* node, engine::BoundingBox* box, bool* any)
{
    const engine::Drawable* drawable = node->getDrawable();
    if (drawable && drawable->hasMesh()) {
        const engine::BoundingBox own = meshBoxInWorld(node);
        if (*any)
            box->merge(own);
        else
            *box = own;
        *any = true;
    }
    for (const engine::Node* child = node->getFirstChild(); child; child = child->getNextSibling())
        mergeSubtree(child, box, any);
}

} // namespace

engine::BoundingBox ModelBounds::ofSubtree(const engine::Node* node)
{
    engine::BoundingBox box;
    bool any = false;
    if (node)
        mergeSubtree(node, &box, &any);
    return box;
}

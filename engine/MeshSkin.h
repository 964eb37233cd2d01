#pragma once

#include "Transform.h"
#include "math/BoundingBox.h"
#include "math/BoundingSphere.h"
#include "math/Matrix.h"
#include "math/Vector4.h"

#include <cstddef>
#include <unordered_map>
#include <vector>

namespace engine {

class Model;
class Node;

// Deforms a model's mesh by joint nodes. The matrix palette holds three rows
// of each joint's skinning matrix, as the shaders read them. Joints are owned
// by the scene graph: a Joint tells its skins when it goes away; any other
// node used as a bone says so as a transform.
class MeshSkin : public Transform::Listener {
public:
    MeshSkin();
    ~MeshSkin() override;
    MeshSkin(const MeshSkin&) = delete;
    MeshSkin& operator=(const MeshSkin&) = delete;

    unsigned int getJointCount() const { return static_cast<unsigned int>(m_joints.size()); }
    // Empties every slot and resets the palette to identity rows.
    void setJointCount(unsigned int count);
    Node* getJoint(unsigned int index) const { return index < m_joints.size() ? m_joints[index] : nullptr; }
    // Any node can be a bone; a Joint also learns that this skin uses it.
    void setJoint(Node* joint, unsigned int index);

    // Topmost joints of the skin's joint hierarchy, without duplicates.
    const std::vector<Node*>& getRootJoints() const { return m_rootJoints; }
    // Rebuilds the root joints: for each joint, the topmost ancestor reached
    // through parents that are joints of this skin. Call it once the joints
    // hang in their hierarchy.
    void computeRootJoints();

    // Moves bounds given in bind-pose mesh space to world space, where the
    // root joints carry the mesh now (the node's own matrix plays no part in
    // skinning). Left as they are while the skin has no root joint.
    void poseBounds(BoundingSphere* sphere, BoundingBox* box) const;
    // Where a joint carries bind-pose mesh space in the world: joint world x
    // inverse bind pose x the model node's bind world matrix.
    Matrix jointPose(const Node* joint) const;

    // A moved root joint moves the whole mesh, so the model's bounds go stale.
    void transformChanged(Transform* transform, long cookie) override;
    // A plain node used as a bone has no skin list; this is how it lets go.
    void transformDestroyed(Transform* transform, long cookie) override;

    // Recomputes the rows of joints that moved (and of joints shared with
    // other skins, whose cache another skin may have filled).
    const Vector4* getMatrixPalette() const;
    unsigned int getMatrixPaletteSize() const { return static_cast<unsigned int>(m_palette.size()); }

private:
    friend class Model;
    friend class Joint;
    void setModel(Model* model) { m_model = model; }
    // Called by a Joint in its destructor.
    void jointDestroyed(Node* joint);
    void addRootJoint(Node* joint);
    bool isRootJoint(const Transform* transform) const { return m_rootAt.count(transform) != 0; }
    void removeRootJoint(const Transform* node);
    bool holds(const Transform* node) const { return m_slotsOf.count(node) != 0; }
    // Takes the slot from the node's list; true when the node fills no slot now.
    bool releaseSlot(const Transform* node, unsigned int index);
    void markModelBoundsDirty() const;
    // Empties the slots and root entries that hold the node, without touching it.
    void forgetNode(const Transform* node);

    std::vector<Node*> m_joints;
    std::vector<Node*> m_rootJoints;
    // The slots each node fills and the root joints as a set: a skin of
    // tens of thousands of joints is built and torn down in linear time.
    std::unordered_map<const Transform*, std::vector<unsigned int>> m_slotsOf;
    std::unordered_map<const Transform*, size_t> m_rootAt; // index in m_rootJoints
    mutable std::vector<Vector4> m_palette;
    Model* m_model = nullptr;
};

} // namespace engine

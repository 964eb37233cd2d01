#pragma once

#include "math/Matrix.h"
#include "math/Vector4.h"

#include <vector>

namespace engine {

class Model;
class Node;

// Deforms a model's mesh by joint nodes. The matrix palette holds three rows
// of each joint's skinning matrix, as the shaders read them. Joints are owned
// by the scene graph: a Joint tells its skins when it goes away.
class MeshSkin {
public:
    MeshSkin();
    ~MeshSkin();
    MeshSkin(const MeshSkin&) = delete;
    MeshSkin& operator=(const MeshSkin&) = delete;

    const Matrix& getBindShape() const { return m_bindShape; }
    void setBindShape(const float* matrix);
    void setBindShape(const Matrix& matrix) { m_bindShape = matrix; }

    unsigned int getJointCount() const { return static_cast<unsigned int>(m_joints.size()); }
    // Empties every slot and resets the palette to identity rows.
    void setJointCount(unsigned int count);
    Node* getJoint(unsigned int index) const { return index < m_joints.size() ? m_joints[index] : nullptr; }
    // Any node can be a bone; a Joint also learns that this skin uses it.
    void setJoint(Node* joint, unsigned int index);
    // -1 when the node is no joint of this skin.
    int getJointIndex(const Node* joint) const;

    // Topmost joints of the skin's joint hierarchy, without duplicates.
    const std::vector<Node*>& getRootJoints() const { return m_rootJoints; }
    void addRootJoint(Node* joint);
    // Rebuilds the root joints: for each joint, the topmost ancestor reached
    // through parents that are joints of this skin.
    void computeRootJoints();

    // Recomputes the rows of joints that moved (and of joints shared with
    // other skins, whose cache another skin may have filled).
    const Vector4* getMatrixPalette() const;
    unsigned int getMatrixPaletteSize() const { return static_cast<unsigned int>(m_palette.size()); }

    Model* getModel() const { return m_model; }

private:
    friend class Model;
    friend class Joint;
    void setModel(Model* model) { m_model = model; }
    // Called by a Joint in its destructor.
    void jointDestroyed(Node* joint);

    Matrix m_bindShape;
    std::vector<Node*> m_joints;
    std::vector<Node*> m_rootJoints;
    mutable std::vector<Vector4> m_palette;
    Model* m_model = nullptr;
};

} // namespace engine

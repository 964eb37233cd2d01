#include "MeshSkin.h"

#include "Joint.h"
#include "Model.h"
#include "Node.h"

#include <algorithm>

namespace engine {

namespace {

Joint* asJoint(Node* node) { return node && node->getType() == Node::JOINT ? static_cast<Joint*>(node) : nullptr; }

void writeIdentityRows(Vector4* rows)
{
    rows[0] = Vector4(1, 0, 0, 0);
    rows[1] = Vector4(0, 1, 0, 0);
    rows[2] = Vector4(0, 0, 1, 0);
}

} // namespace

MeshSkin::MeshSkin() = default;

MeshSkin::~MeshSkin() { setJointCount(0); }

void MeshSkin::setBindShape(const float* matrix) { m_bindShape = matrix ? Matrix(matrix) : Matrix(); }

void MeshSkin::setJointCount(unsigned int count)
{
    for (unsigned int i = 0; i < m_joints.size(); ++i)
        setJoint(nullptr, i);
    m_joints.assign(count, nullptr);
    m_rootJoints.clear();
    m_palette.assign(size_t(count) * 3, Vector4());
    for (unsigned int j = 0; j < count; ++j)
        writeIdentityRows(&m_palette[size_t(j) * 3]);
}

void MeshSkin::setJoint(Node* joint, unsigned int index)
{
    if (index >= m_joints.size() || m_joints[index] == joint)
        return;
    Node* previous = m_joints[index];
    const bool alreadyWatched = getJointIndex(joint) >= 0;
    m_joints[index] = joint;
    if (previous && getJointIndex(previous) < 0) {
        previous->removeListener(this);
        if (Joint* old = asJoint(previous))
            old->removeSkin(this);
        if (isRootJoint(previous)) {
            m_rootJoints.erase(std::find(m_rootJoints.begin(), m_rootJoints.end(), previous));
            markModelBoundsDirty();
        }
    }
    if (joint && !alreadyWatched)
        joint->addListener(this);
    if (Joint* added = asJoint(joint))
        added->addSkin(this);
    if (joint)
        joint->setJointMatrixDirty(true);
}

int MeshSkin::getJointIndex(const Node* joint) const
{
    if (!joint)
        return -1;
    auto it = std::find(m_joints.begin(), m_joints.end(), joint);
    return it == m_joints.end() ? -1 : int(it - m_joints.begin());
}

void MeshSkin::addRootJoint(Node* joint)
{
    if (joint && !isRootJoint(joint))
        m_rootJoints.push_back(joint);
}

bool MeshSkin::isRootJoint(const Transform* transform) const
{
    for (const Node* root : m_rootJoints) {
        if (static_cast<const Transform*>(root) == transform)
            return true;
    }
    return false;
}

void MeshSkin::computeRootJoints()
{
    m_rootJoints.clear();
    for (Node* joint : m_joints) {
        if (!joint)
            continue;
        Node* top = joint;
        // Bounded by the joint count, so a parent chain that loops cannot hang.
        for (size_t steps = 0; steps < m_joints.size() && top->getParent() && getJointIndex(top->getParent()) >= 0;
             ++steps)
            top = top->getParent();
        addRootJoint(top);
    }
    markModelBoundsDirty();
}

void MeshSkin::poseBounds(BoundingSphere* sphere, BoundingBox* box) const
{
    if (m_rootJoints.empty())
        return;
    const BoundingSphere meshSphere = *sphere;
    const BoundingBox meshBox = *box;
    for (size_t i = 0; i < m_rootJoints.size(); ++i) {
        const Matrix pose = jointPose(m_rootJoints[i]);
        BoundingSphere posedSphere = meshSphere;
        BoundingBox posedBox = meshBox;
        posedSphere.transform(pose);
        posedBox.transform(pose);
        if (i == 0) {
            *sphere = posedSphere;
            *box = posedBox;
        } else {
            sphere->merge(posedSphere);
            box->merge(posedBox);
        }
    }
}

Matrix MeshSkin::jointPose(const Node* joint) const
{
    const Node* node = m_model ? m_model->getNode() : nullptr;
    const Matrix* inverseBindPose = joint->getInverseBindPose();
    return joint->getWorldMatrix() * (inverseBindPose ? *inverseBindPose : Matrix::identity())
        * (node ? node->getBindWorldMatrix() : Matrix::identity());
}

void MeshSkin::transformChanged(Transform* transform, long)
{
    if (isRootJoint(transform))
        markModelBoundsDirty();
}

void MeshSkin::transformDestroyed(Transform* transform, long) { forgetNode(transform); }

void MeshSkin::markModelBoundsDirty() const
{
    if (Node* node = m_model ? m_model->getNode() : nullptr)
        node->setBoundsDirty();
}

void MeshSkin::jointDestroyed(Node* joint)
{
    joint->removeListener(this);
    forgetNode(joint);
    if (Joint* gone = asJoint(joint))
        gone->removeSkin(this);
}

void MeshSkin::forgetNode(const Transform* node)
{
    for (Node*& slot : m_joints) {
        if (slot && static_cast<const Transform*>(slot) == node)
            slot = nullptr;
    }
    const auto gone = std::remove_if(m_rootJoints.begin(), m_rootJoints.end(),
                                     [node](const Node* root) { return static_cast<const Transform*>(root) == node; });
    if (gone != m_rootJoints.end()) {
        m_rootJoints.erase(gone, m_rootJoints.end());
        markModelBoundsDirty();
    }
}

const Vector4* MeshSkin::getMatrixPalette() const
{
    if (m_joints.empty())
        return nullptr;
    Node* node = m_model ? m_model->getNode() : nullptr;
    const Matrix inverseNodeWorld = node ? node->getWorldMatrix().inverted() : Matrix();
    const Matrix& bindWorld = node ? node->getBindWorldMatrix() : Matrix::identity();
    for (size_t j = 0; j < m_joints.size(); ++j) {
        Node* joint = m_joints[j];
        if (!joint)
            continue;
        Joint* asBone = asJoint(joint);
        const bool shared = asBone && asBone->getSkinCount() > 1;
        Matrix* cached = joint->getJointMatrixCache();
        if (shared || joint->isJointMatrixDirty()) {
            const Matrix* inverseBindPose = joint->getInverseBindPose();
            *cached = inverseNodeWorld * joint->getWorldMatrix()
                * (inverseBindPose ? *inverseBindPose : Matrix::identity()) * bindWorld;
            joint->setJointMatrixDirty(false);
        }
        const float* m = cached->m;
        for (int r = 0; r < 3; ++r)
            m_palette[j * 3 + size_t(r)] = Vector4(m[r], m[4 + r], m[8 + r], m[12 + r]);
    }
    return m_palette.data();
}

} // namespace engine

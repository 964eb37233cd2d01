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

void MeshSkin::setJointCount(unsigned int count)
{
    m_rootJoints.clear();
    m_rootAt.clear();
    for (unsigned int i = 0; i < m_joints.size(); ++i)
        setJoint(nullptr, i);
    m_joints.assign(count, nullptr);
    m_palette.assign(size_t(count) * 3, Vector4());
    for (unsigned int j = 0; j < count; ++j)
        writeIdentityRows(&m_palette[size_t(j) * 3]);
}

void MeshSkin::setJoint(Node* joint, unsigned int index)
{
    if (index >= m_joints.size() || m_joints[index] == joint)
        return;
    Node* previous = m_joints[index];
    const bool alreadyWatched = joint && holds(joint);
    m_joints[index] = joint;
    if (joint)
        m_slotsOf[joint].push_back(index);
    if (previous && releaseSlot(previous, index)) {
        previous->removeListener(this);
        if (Joint* old = asJoint(previous))
            old->removeSkin(this);
        removeRootJoint(previous);
    }
    if (joint && !alreadyWatched)
        joint->addListener(this);
    if (Joint* added = asJoint(joint))
        added->addSkin(this);
    if (joint)
        joint->setJointMatrixDirty(true);
}

bool MeshSkin::releaseSlot(const Transform* node, unsigned int index)
{
    const auto slots = m_slotsOf.find(node);
    if (slots == m_slotsOf.end())
        return true;
    std::vector<unsigned int>& list = slots->second;
    list.erase(std::remove(list.begin(), list.end(), index), list.end());
    if (!list.empty())
        return false;
    m_slotsOf.erase(slots);
    return true;
}

void MeshSkin::addRootJoint(Node* joint)
{
    if (joint && m_rootAt.emplace(joint, m_rootJoints.size()).second)
        m_rootJoints.push_back(joint);
}

// The last root takes the place of the one removed: the roots' order means
// nothing, and a search would make tearing down a large skin quadratic.
void MeshSkin::removeRootJoint(const Transform* node)
{
    const auto found = m_rootAt.find(node);
    if (found == m_rootAt.end())
        return;
    const size_t at = found->second;
    m_rootAt.erase(found);
    if (at + 1 < m_rootJoints.size()) {
        m_rootJoints[at] = m_rootJoints.back();
        m_rootAt[m_rootJoints[at]] = at;
    }
    m_rootJoints.pop_back();
    markModelBoundsDirty();
}

// Each joint climbs through parents that are joints of this skin; the tops
// found are remembered, so that a long chain is walked once, not per joint.
void MeshSkin::computeRootJoints()
{
    m_rootJoints.clear();
    m_rootAt.clear();
    std::unordered_map<const Node*, Node*> topOf;
    std::vector<const Node*> path;
    for (Node* joint : m_joints) {
        if (!joint)
            continue;
        path.clear();
        Node* top = joint;
        // Bounded by the joint count, so a parent chain that loops cannot hang.
        for (size_t steps = 0; steps < m_joints.size(); ++steps) {
            const auto known = topOf.find(top);
            if (known != topOf.end()) {
                top = known->second;
                break;
            }
            path.push_back(top);
            Node* parent = top->getParent();
            if (!parent || !holds(parent))
                break;
            top = parent;
        }
        for (const Node* walked : path)
            topOf[walked] = top;
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
    const auto slots = m_slotsOf.find(node);
    if (slots != m_slotsOf.end()) {
        for (unsigned int index : slots->second)
            m_joints[index] = nullptr;
        m_slotsOf.erase(slots);
    }
    removeRootJoint(node);
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

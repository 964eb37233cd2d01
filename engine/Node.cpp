#include "Node.h"

#include "Camera.h"
#include "Drawable.h"
#include "Light.h"
#include "Scene.h"
#include "math/MathUtil.h"

#include <algorithm>
#include <cstring>

namespace engine {

namespace {

// Drawables are reference counted through their Ref base (Model derives from both).
void addRefDrawable(Drawable* d)
{
    if (Ref* ref = dynamic_cast<Ref*>(d))
        ref->addRef();
}

void releaseDrawable(Drawable* d)
{
    if (Ref* ref = dynamic_cast<Ref*>(d))
        ref->release();
}

bool idMatches(const std::string& id, const char* wanted, bool exactMatch)
{
    if (exactMatch)
        return id == wanted;
    return id.compare(0, std::strlen(wanted), wanted) == 0;
}

} // namespace

Node* Node::create(const char* id) { return new Node(id); }

Node::Node(const char* id)
    : m_id(id ? id : "")
{
}

Node::~Node()
{
    removeAllChildren();
    setDrawable(nullptr);
    setCamera(nullptr);
    setLight(nullptr);
    delete m_inverseBindPose;
    delete m_jointMatrix;
}

void Node::setId(const char* id) { m_id = id ? id : ""; }

bool Node::isAncestorOf(const Node* node) const
{
    for (const Node* n = node ? node->m_parent : nullptr; n; n = n->m_parent)
        if (n == this)
            return true;
    return false;
}

void Node::addChild(Node* child)
{
    if (!child || child->m_parent == this || child == this || child->isAncestorOf(this))
        return;
    child->addRef();
    child->detachFromOwner();
    appendToList(m_firstChild, m_lastChild, child);
    child->m_parent = this;
    ++m_childCount;

    child->m_dirtyBits |= NODE_DIRTY_HIERARCHY;
    child->markWorldDirty(true);
    markBoundsDirtyUpwards();
    child->hierarchyChanged();
}

void Node::detachFromOwner()
{
    if (m_parent)
        m_parent->removeChild(this);
    else if (m_scene)
        m_scene->removeNode(this);
}

void Node::appendToList(Node*& first, Node*& last, Node* node)
{
    if (last) {
        last->m_nextSibling = node;
        node->m_prevSibling = last;
    } else {
        first = node;
    }
    last = node;
}

void Node::removeFromList(Node*& first, Node*& last, Node* node)
{
    if (first == node)
        first = node->m_nextSibling;
    if (last == node)
        last = node->m_prevSibling;
    if (node->m_prevSibling)
        node->m_prevSibling->m_nextSibling = node->m_nextSibling;
    if (node->m_nextSibling)
        node->m_nextSibling->m_prevSibling = node->m_prevSibling;
    node->m_prevSibling = nullptr;
    node->m_nextSibling = nullptr;
}

void Node::removeChild(Node* child)
{
    if (!child || child->m_parent != this)
        return;
    removeFromList(m_firstChild, m_lastChild, child);
    child->m_parent = nullptr;
    --m_childCount;

    child->m_dirtyBits |= NODE_DIRTY_HIERARCHY;
    child->markWorldDirty(true);
    markBoundsDirtyUpwards();
    child->hierarchyChanged();
    child->release();
}

void Node::removeAllChildren()
{
    while (m_lastChild)
        removeChild(m_lastChild);
}

Node* Node::findNode(const char* id, bool recursive, bool exactMatch) const
{
    return findInList(m_firstChild, id, recursive, exactMatch);
}

Node* Node::findInList(Node* first, const char* id, bool recursive, bool exactMatch)
{
    if (!id)
        return nullptr;
    for (Node* node = first; node; node = node->m_nextSibling)
        if (idMatches(node->m_id, id, exactMatch))
            return node;
    if (recursive) {
        for (Node* node = first; node; node = node->m_nextSibling)
            if (Node* found = findInList(node->m_firstChild, id, true, exactMatch))
                return found;
    }
    return nullptr;
}

Node* Node::getRootNode() const
{
    const Node* n = this;
    while (n->m_parent)
        n = n->m_parent;
    return const_cast<Node*>(n);
}

Scene* Node::getScene() const { return getRootNode()->m_scene; }

void Node::setTag(const char* name, const char* value)
{
    if (!name)
        return;
    if (value)
        m_tags[name] = value;
    else
        m_tags.erase(name);
}

bool Node::hasTag(const char* name) const { return name && m_tags.count(name) != 0; }

const char* Node::getTag(const char* name) const
{
    if (!name)
        return nullptr;
    const auto it = m_tags.find(name);
    return it == m_tags.end() ? nullptr : it->second.c_str();
}

// An attachment may be shared by several nodes; its back link names the node
// that attached it last, and only that node clears it when letting go.
void Node::setDrawable(Drawable* drawable)
{
    if (m_drawable == drawable)
        return;
    if (drawable)
        addRefDrawable(drawable);
    if (m_drawable) {
        if (m_drawable->getNode() == this)
            m_drawable->setNode(nullptr);
        releaseDrawable(m_drawable);
    }
    m_drawable = drawable;
    if (m_drawable)
        m_drawable->setNode(this);
    m_dirtyBits |= NODE_DIRTY_BOUNDS;
    markBoundsDirtyUpwards();
}

void Node::setCamera(Camera* camera)
{
    if (m_camera == camera)
        return;
    if (camera)
        camera->addRef();
    if (m_camera) {
        if (m_camera->getNode() == this)
            m_camera->setNode(nullptr);
        m_camera->release();
    }
    m_camera = camera;
    if (m_camera)
        m_camera->setNode(this);
}

void Node::setLight(Light* light)
{
    if (m_light == light)
        return;
    if (light)
        light->addRef();
    if (m_light) {
        if (m_light->getNode() == this)
            m_light->setNode(nullptr);
        m_light->release();
    }
    m_light = light;
    if (m_light)
        m_light->setNode(this);
    m_dirtyBits |= NODE_DIRTY_BOUNDS;
    markBoundsDirtyUpwards();
}

void Node::localTransformChanged() { markWorldDirty(false); }

// A node whose world is dirty has only dirty descendants (a clean child
// implies a clean parent), so the walk may stop there unless forced.
void Node::markWorldDirty(bool force)
{
    if (!force && (m_dirtyBits & NODE_DIRTY_WORLD))
        return;
    m_dirtyBits |= NODE_DIRTY_WORLD | NODE_DIRTY_BOUNDS;
    m_jointMatrixDirty = true;
    if (m_camera)
        m_camera->nodeMoved();
    for (Node* child = m_firstChild; child; child = child->m_nextSibling)
        child->markWorldDirty(force);
    if (m_parent)
        m_parent->markBoundsDirtyUpwards();
}

void Node::markBoundsDirtyUpwards()
{
    // Bounds include the children's, so every ancestor goes stale too. A
    // dirty node already has dirty ancestors.
    for (Node* n = this; n; n = n->m_parent) {
        if (n != this && (n->m_dirtyBits & NODE_DIRTY_BOUNDS))
            break;
        n->m_dirtyBits |= NODE_DIRTY_BOUNDS;
    }
}

void Node::refreshWorld() const
{
    if (!(m_dirtyBits & NODE_DIRTY_WORLD))
        return;
    m_dirtyBits &= ~NODE_DIRTY_WORLD;
    const Matrix& local = getMatrix();
    const Matrix& offset = getOffsetMatrix();
    if (offset.isIdentity()) {
        m_world = m_parent ? m_parent->hierarchyMatrix() * local : local;
    } else {
        m_hierarchy = m_parent ? m_parent->hierarchyMatrix() * local : local;
        m_world = m_hierarchy * offset;
    }
}

const Matrix& Node::hierarchyMatrix() const
{
    refreshWorld();
    return getOffsetMatrix().isIdentity() ? m_world : m_hierarchy;
}

const Matrix& Node::getWorldMatrix() const
{
    refreshWorld();
    return m_world;
}

const Camera* Node::activeCamera() const
{
    const Scene* scene = getScene();
    return scene ? scene->getActiveCamera() : nullptr;
}

Matrix Node::getViewMatrix() const
{
    const Camera* camera = activeCamera();
    return camera ? camera->getViewMatrix() : Matrix();
}

Matrix Node::getInverseViewMatrix() const
{
    const Camera* camera = activeCamera();
    return camera ? camera->getInverseViewMatrix() : Matrix();
}

Matrix Node::getProjectionMatrix() const
{
    const Camera* camera = activeCamera();
    return camera ? camera->getProjectionMatrix() : Matrix();
}

Matrix Node::getViewProjectionMatrix() const
{
    const Camera* camera = activeCamera();
    return camera ? camera->getViewProjectionMatrix() : Matrix();
}

Matrix Node::getInverseViewProjectionMatrix() const
{
    const Camera* camera = activeCamera();
    return camera ? camera->getInverseViewProjectionMatrix() : Matrix();
}

Matrix Node::getWorldViewMatrix() const { return getViewMatrix() * getWorldMatrix(); }

Matrix Node::getWorldViewProjectionMatrix() const { return getViewProjectionMatrix() * getWorldMatrix(); }

Matrix Node::getInverseTransposeWorldMatrix() const { return getWorldMatrix().inverted().transposed(); }

Matrix Node::getInverseTransposeWorldViewMatrix() const { return getWorldViewMatrix().inverted().transposed(); }

Vector3 Node::getTranslationWorld() const { return getWorldMatrix().getTranslation(); }

Vector3 Node::getTranslationView() const { return getViewMatrix().transformPoint(getTranslationWorld()); }

Vector3 Node::getForwardVectorWorld() const { return getWorldMatrix().getForwardVector().normalized(); }

Vector3 Node::getForwardVectorView() const
{
    return getViewMatrix().transformVector(getForwardVectorWorld()).normalized();
}

Vector3 Node::getActiveCameraTranslationWorld() const
{
    const Camera* camera = activeCamera();
    if (!camera || !camera->getNode())
        return Vector3();
    return camera->getNode()->getTranslationWorld();
}

Vector3 Node::getActiveCameraTranslationView() const
{
    return getViewMatrix().transformPoint(getActiveCameraTranslationWorld());
}

void Node::setInverseBindPose(const Matrix& m)
{
    if (!m_inverseBindPose)
        m_inverseBindPose = new Matrix(m);
    else
        *m_inverseBindPose = m;
    m_jointMatrixDirty = true;
}

Matrix* Node::getJointMatrixCache()
{
    if (!m_jointMatrix)
        m_jointMatrix = new Matrix();
    return m_jointMatrix;
}

const BoundingSphere& Node::getBoundingSphere() const
{
    refreshBounds();
    return m_boundingSphere;
}

const BoundingBox& Node::getBoundingBox() const
{
    refreshBounds();
    return m_boundingBox;
}

// Point light rule: the range sphere and cube are centred on the world
// origin, not on the light. Only unskinned model bounds are moved by the
// world matrix, and a light's range is a reach, not geometry.
void Node::refreshBounds() const
{
    if (!(m_dirtyBits & NODE_DIRTY_BOUNDS))
        return;
    m_dirtyBits &= ~NODE_DIRTY_BOUNDS;
    // Clean bounds must imply a clean world matrix: markWorldDirty() relies
    // on it to stop early.
    const Matrix& world = getWorldMatrix();

    BoundingSphere sphere;
    BoundingBox box;
    bool own = false;
    const bool withMesh = m_drawable && m_drawable->hasMesh();
    if (withMesh) {
        sphere = m_drawable->meshBoundingSphere();
        box = m_drawable->meshBoundingBox();
        if (m_drawable->isSkinned())
            m_drawable->poseSkinnedBounds(&sphere, &box);
        own = true;
    }
    if (m_light && m_light->getLightType() == Light::POINT) {
        const float r = m_light->getRange();
        const BoundingSphere lightSphere(Vector3(), r);
        const BoundingBox lightBox(Vector3(-r, -r, -r), Vector3(r, r, r));
        if (own) {
            sphere.merge(lightSphere);
            box.merge(lightBox);
        } else {
            sphere = lightSphere;
            box = lightBox;
        }
        own = true;
    }
    if (withMesh && !m_drawable->isSkinned()) {
        sphere.transform(world);
        box.transform(world);
    }

    for (const Node* child = m_firstChild; child; child = child->m_nextSibling) {
        const BoundingSphere& childSphere = child->getBoundingSphere();
        const BoundingBox& childBox = child->getBoundingBox();
        if (childSphere.isEmpty() && childBox.isEmpty())
            continue;
        if (!own) {
            sphere = childSphere;
            box = childBox;
            own = true;
        } else {
            sphere.merge(childSphere);
            box.merge(childBox);
        }
    }

    if (!own) {
        sphere = BoundingSphere(world.getTranslation(), 0.0f);
        box = BoundingBox();
    }
    m_boundingSphere = sphere;
    m_boundingBox = box;
}

unsigned int Node::getSubtreeMeshPartCount() const
{
    unsigned int count = m_drawable ? m_drawable->meshPartCount() : 0;
    for (const Node* c = m_firstChild; c; c = c->m_nextSibling)
        count += c->getSubtreeMeshPartCount();
    return count;
}

unsigned int Node::getSubtreeVertexCount() const
{
    unsigned int count = m_drawable ? m_drawable->vertexCount() : 0;
    for (const Node* c = m_firstChild; c; c = c->m_nextSibling)
        count += c->getSubtreeVertexCount();
    return count;
}

} // namespace engine

#include "engine/Node.h"

#include "engine/Camera.h"
#include "engine/Drawable.h"
#include "engine/Light.h"
#include "engine/Scene.h"
#include "engine/math/MathUtil.h"

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

Node* Node::create(const char* id)
{
    return new Node(id);
}

Node::Node(const char* id)
    : _id(id ? id : "")
{
}

Node::~Node()
{
    removeAllChildren();
    setDrawable(nullptr);
    setCamera(nullptr);
    setLight(nullptr);
    delete _inverseBindPose;
    delete _jointMatrix;
}

void Node::setId(const char* id)
{
    _id = id ? id : "";
}

std::string Node::getIdWithoutNumericSuffix() const
{
    return idWithoutNumericSuffix(_id);
}

std::string Node::idWithoutNumericSuffix(const std::string& id)
{
    // Search backwards from three characters before the end down to position
    // 1 for "__" followed by a digit; an id that starts with it stays whole.
    for (long i = static_cast<long>(id.size()) - 3; i >= 1; --i) {
        const size_t p = static_cast<size_t>(i);
        if (id[p] == '_' && id[p + 1] == '_' && id[p + 2] >= '0' && id[p + 2] <= '9')
            return id.substr(0, p);
    }
    return id;
}

bool Node::isAncestorOf(const Node* node) const
{
    for (const Node* n = node ? node->_parent : nullptr; n; n = n->_parent)
        if (n == this)
            return true;
    return false;
}

void Node::addChild(Node* child)
{
    if (!child || child->_parent == this || child == this || child->isAncestorOf(this))
        return;
    child->addRef();
    child->detachFromOwner();
    appendToList(_firstChild, _lastChild, child);
    child->_parent = this;
    ++_childCount;

    child->_dirtyBits |= NODE_DIRTY_HIERARCHY;
    child->markWorldDirty(true);
    markBoundsDirtyUpwards();
    child->hierarchyChanged();
}

void Node::detachFromOwner()
{
    if (_parent)
        _parent->removeChild(this);
    else if (_scene)
        _scene->removeNode(this);
}

void Node::appendToList(Node*& first, Node*& last, Node* node)
{
    if (last) {
        last->_nextSibling = node;
        node->_prevSibling = last;
    } else {
        first = node;
    }
    last = node;
}

void Node::removeFromList(Node*& first, Node*& last, Node* node)
{
    if (first == node)
        first = node->_nextSibling;
    if (last == node)
        last = node->_prevSibling;
    if (node->_prevSibling)
        node->_prevSibling->_nextSibling = node->_nextSibling;
    if (node->_nextSibling)
        node->_nextSibling->_prevSibling = node->_prevSibling;
    node->_prevSibling = nullptr;
    node->_nextSibling = nullptr;
}

void Node::removeChild(Node* child)
{
    if (!child || child->_parent != this)
        return;
    removeFromList(_firstChild, _lastChild, child);
    child->_parent = nullptr;
    --_childCount;

    child->_dirtyBits |= NODE_DIRTY_HIERARCHY;
    child->markWorldDirty(true);
    markBoundsDirtyUpwards();
    child->hierarchyChanged();
    child->release();
}

void Node::removeAllChildren()
{
    while (_lastChild)
        removeChild(_lastChild);
}

Node* Node::findNode(const char* id, bool recursive, bool exactMatch) const
{
    return findInList(_firstChild, id, recursive, exactMatch);
}

Node* Node::findInList(Node* first, const char* id, bool recursive, bool exactMatch)
{
    if (!id)
        return nullptr;
    for (Node* node = first; node; node = node->_nextSibling)
        if (idMatches(node->_id, id, exactMatch))
            return node;
    if (recursive) {
        for (Node* node = first; node; node = node->_nextSibling)
            if (Node* found = findInList(node->_firstChild, id, true, exactMatch))
                return found;
    }
    return nullptr;
}

Node* Node::getRootNode() const
{
    const Node* n = this;
    while (n->_parent)
        n = n->_parent;
    return const_cast<Node*>(n);
}

Scene* Node::getScene() const
{
    return getRootNode()->_scene;
}

void Node::setTag(const char* name, const char* value)
{
    if (!name)
        return;
    if (value)
        _tags[name] = value;
    else
        _tags.erase(name);
}

bool Node::hasTag(const char* name) const
{
    return name && _tags.count(name) != 0;
}

const char* Node::getTag(const char* name) const
{
    if (!name)
        return nullptr;
    const auto it = _tags.find(name);
    return it == _tags.end() ? nullptr : it->second.c_str();
}

void Node::setDrawable(Drawable* drawable)
{
    if (_drawable == drawable)
        return;
    if (drawable)
        addRefDrawable(drawable);
    if (_drawable) {
        _drawable->setNode(nullptr);
        releaseDrawable(_drawable);
    }
    _drawable = drawable;
    if (_drawable)
        _drawable->setNode(this);
    _dirtyBits |= NODE_DIRTY_BOUNDS;
    markBoundsDirtyUpwards();
}

void Node::setCamera(Camera* camera)
{
    if (_camera == camera)
        return;
    if (camera)
        camera->addRef();
    if (_camera) {
        _camera->setNode(nullptr);
        _camera->release();
    }
    _camera = camera;
    if (_camera)
        _camera->setNode(this);
}

void Node::setLight(Light* light)
{
    if (_light == light)
        return;
    if (light)
        light->addRef();
    if (_light) {
        _light->setNode(nullptr);
        _light->release();
    }
    _light = light;
    if (_light)
        _light->setNode(this);
    _dirtyBits |= NODE_DIRTY_BOUNDS;
    markBoundsDirtyUpwards();
}

void Node::localTransformChanged()
{
    markWorldDirty(false);
}

// A node whose world is dirty has only dirty descendants (a clean child
// implies a clean parent), so the walk may stop there unless forced.
void Node::markWorldDirty(bool force)
{
    if (!force && (_dirtyBits & NODE_DIRTY_WORLD))
        return;
    _dirtyBits |= NODE_DIRTY_WORLD | NODE_DIRTY_BOUNDS;
    _jointMatrixDirty = true;
    if (_camera)
        _camera->nodeMoved();
    for (Node* child = _firstChild; child; child = child->_nextSibling)
        child->markWorldDirty(force);
    if (_parent)
        _parent->markBoundsDirtyUpwards();
}

void Node::markBoundsDirtyUpwards()
{
    // Bounds include the children's, so every ancestor goes stale too. A
    // dirty node already has dirty ancestors.
    for (Node* n = this; n; n = n->_parent) {
        if (n != this && (n->_dirtyBits & NODE_DIRTY_BOUNDS))
            break;
        n->_dirtyBits |= NODE_DIRTY_BOUNDS;
    }
}

void Node::refreshWorld() const
{
    if (!(_dirtyBits & NODE_DIRTY_WORLD))
        return;
    _dirtyBits &= ~NODE_DIRTY_WORLD;
    const Matrix& local = getMatrix();
    const Matrix& offset = getOffsetMatrix();
    if (offset.isIdentity()) {
        _world = _parent ? _parent->hierarchyMatrix() * local : local;
    } else {
        _hierarchy = _parent ? _parent->hierarchyMatrix() * local : local;
        _world = _hierarchy * offset;
    }
}

const Matrix& Node::hierarchyMatrix() const
{
    refreshWorld();
    return getOffsetMatrix().isIdentity() ? _world : _hierarchy;
}

const Matrix& Node::getWorldMatrix() const
{
    refreshWorld();
    return _world;
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

Matrix Node::getWorldViewMatrix() const
{
    return getViewMatrix() * getWorldMatrix();
}

Matrix Node::getWorldViewProjectionMatrix() const
{
    return getViewProjectionMatrix() * getWorldMatrix();
}

Matrix Node::getInverseTransposeWorldMatrix() const
{
    return getWorldMatrix().inverted().transposed();
}

Matrix Node::getInverseTransposeWorldViewMatrix() const
{
    return getWorldViewMatrix().inverted().transposed();
}

Vector3 Node::getTranslationWorld() const
{
    return getWorldMatrix().getTranslation();
}

Vector3 Node::getTranslationView() const
{
    return getViewMatrix().transformPoint(getTranslationWorld());
}

Vector3 Node::getForwardVectorWorld() const
{
    return getWorldMatrix().getForwardVector().normalized();
}

Vector3 Node::getForwardVectorView() const
{
    return getViewMatrix().transformVector(getForwardVectorWorld()).normalized();
}

Vector3 Node::getRightVectorWorld() const
{
    return getWorldMatrix().getRightVector().normalized();
}

Vector3 Node::getUpVectorWorld() const
{
    return getWorldMatrix().getUpVector().normalized();
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
    if (!_inverseBindPose)
        _inverseBindPose = new Matrix(m);
    else
        *_inverseBindPose = m;
    _jointMatrixDirty = true;
}

Matrix* Node::getJointMatrixCache()
{
    if (!_jointMatrix)
        _jointMatrix = new Matrix();
    return _jointMatrix;
}

const BoundingSphere& Node::getBoundingSphere() const
{
    refreshBounds();
    return _boundingSphere;
}

const BoundingBox& Node::getBoundingBox() const
{
    refreshBounds();
    return _boundingBox;
}

// Point light rule: the range sphere and cube are centred on the world
// origin, not on the light. Only unskinned model bounds are moved by the
// world matrix, and a light's range is a reach, not geometry.
void Node::refreshBounds() const
{
    if (!(_dirtyBits & NODE_DIRTY_BOUNDS))
        return;
    _dirtyBits &= ~NODE_DIRTY_BOUNDS;
    // Clean bounds must imply a clean world matrix: markWorldDirty() relies
    // on it to stop early.
    const Matrix& world = getWorldMatrix();

    BoundingSphere sphere;
    BoundingBox box;
    bool own = false;
    const bool withMesh = _drawable && _drawable->hasMesh();
    if (withMesh) {
        sphere = _drawable->meshBoundingSphere();
        box = _drawable->meshBoundingBox();
        own = true;
    }
    if (_light && _light->getLightType() == Light::POINT) {
        const float r = _light->getRange();
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
    if (withMesh && !_drawable->isSkinned()) {
        sphere.transform(world);
        box.transform(world);
    }

    for (const Node* child = _firstChild; child; child = child->_nextSibling) {
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
    _boundingSphere = sphere;
    _boundingBox = box;
}

BoundingBox Node::getSubtreeBoundingBox() const
{
    Vector3 mn(MATH_FLOAT_MAX, MATH_FLOAT_MAX, MATH_FLOAT_MAX);
    Vector3 mx(-MATH_FLOAT_MAX, -MATH_FLOAT_MAX, -MATH_FLOAT_MAX);
    bool any = false;
    auto visit = [&](const Node* n, auto& self) -> void {
        const BoundingBox& b = n->getBoundingBox();
        if (!b.isEmpty()) {
            any = true;
            mn = Vector3(std::min(mn.x, b.min.x), std::min(mn.y, b.min.y), std::min(mn.z, b.min.z));
            mx = Vector3(std::max(mx.x, b.max.x), std::max(mx.y, b.max.y), std::max(mx.z, b.max.z));
        }
        for (const Node* c = n->_firstChild; c; c = c->_nextSibling)
            self(c, self);
    };
    visit(this, visit);
    return any ? BoundingBox(mn, mx) : BoundingBox();
}

unsigned int Node::getSubtreeMeshPartCount() const
{
    unsigned int count = _drawable ? _drawable->meshPartCount() : 0;
    for (const Node* c = _firstChild; c; c = c->_nextSibling)
        count += c->getSubtreeMeshPartCount();
    return count;
}

unsigned int Node::getSubtreeVertexCount() const
{
    unsigned int count = _drawable ? _drawable->vertexCount() : 0;
    for (const Node* c = _firstChild; c; c = c->_nextSibling)
        count += c->getSubtreeVertexCount();
    return count;
}

} // namespace engine

#include "Transform.h"

#include "ChannelValue.h"

#include <algorithm>
#include <utility>

namespace engine {

namespace {

int s_suspendDepth = 0;
// Set while resumeTransformChanged notifies: a listener that opens and closes
// a batch of its own leaves its changes to that walk instead of starting
// another from the top of the list, which would notify it again, and again.
bool s_notifyingPending = false;

// Transforms changed while notifications were suspended. The vector keeps its
// capacity between frames, so steady-state animation does not allocate.
std::vector<Transform*>& pendingTransforms()
{
    static std::vector<Transform*> pending;
    return pending;
}

float blend(float current, float animated, float weight) { return current * (1.0f - weight) + animated * weight; }

} // namespace

Transform::Transform()
    : AnimationTarget(TRANSFORM)
    , m_scale(Vector3::one())
    , m_matrixDirtyBits(0)
{
}

Transform::Transform(const Vector3& scale, const Quaternion& rotation, const Vector3& translation)
    : AnimationTarget(TRANSFORM)
    , m_scale(scale)
    , m_rotation(rotation)
    , m_translation(translation)
    , m_matrixDirtyBits(DIRTY_TRANSLATION | DIRTY_SCALE | DIRTY_ROTATION)
{
}

Transform::~Transform()
{
    for (NotifyGuard* guard = m_notifyGuard; guard; guard = guard->outer)
        guard->destroyed = true;
    // Emptied rather than erased: resumeTransformChanged may be walking the list.
    if (m_matrixDirtyBits & DIRTY_NOTIFY) {
        std::vector<Transform*>& pending = pendingTransforms();
        std::replace(pending.begin(), pending.end(), this, static_cast<Transform*>(nullptr));
    }
    // Taken out first: a listener told here may call removeListener.
    const std::vector<ListenerEntry> listeners = std::move(m_listeners);
    m_listeners.clear();
    for (const ListenerEntry& e : listeners) {
        if (e.listener)
            e.listener->transformDestroyed(this, e.cookie);
    }
}

void Transform::suspendTransformChanged() { ++s_suspendDepth; }

void Transform::resumeTransformChanged()
{
    if (s_suspendDepth == 0)
        return;
    if (--s_suspendDepth > 0 || s_notifyingPending)
        return;
    s_notifyingPending = true;
    // A listener may change other transforms; those notify directly now.
    std::vector<Transform*>& pending = pendingTransforms();
    for (size_t i = 0; i < pending.size(); ++i) {
        Transform* t = pending[i];
        if (!t)
            continue;
        t->m_matrixDirtyBits &= static_cast<unsigned char>(~DIRTY_NOTIFY);
        t->transformChanged();
    }
    pending.clear();
    s_notifyingPending = false;
}

void Transform::setScale(float uniform) { setScale(Vector3(uniform, uniform, uniform)); }

void Transform::setScale(float x, float y, float z) { setScale(Vector3(x, y, z)); }

void Transform::setScale(const Vector3& scale)
{
    m_scale = scale;
    dirty(DIRTY_SCALE);
}

void Transform::setScaleX(float x)
{
    m_scale.x = x;
    dirty(DIRTY_SCALE);
}

void Transform::setScaleY(float y)
{
    m_scale.y = y;
    dirty(DIRTY_SCALE);
}

void Transform::setScaleZ(float z)
{
    m_scale.z = z;
    dirty(DIRTY_SCALE);
}

void Transform::setRotation(const Quaternion& rotation)
{
    m_rotation = rotation;
    dirty(DIRTY_ROTATION);
}

void Transform::setRotation(float x, float y, float z, float w) { setRotation(Quaternion(x, y, z, w)); }

void Transform::setRotation(const Vector3& axis, float angle) { setRotation(Quaternion::fromAxisAngle(axis, angle)); }

void Transform::setRotation(const Matrix& rotation) { setRotation(Quaternion::fromMatrix(rotation)); }

void Transform::setTranslation(const Vector3& translation)
{
    m_translation = translation;
    dirty(DIRTY_TRANSLATION);
}

void Transform::setTranslation(float x, float y, float z) { setTranslation(Vector3(x, y, z)); }

void Transform::setTranslationX(float x)
{
    m_translation.x = x;
    dirty(DIRTY_TRANSLATION);
}

void Transform::setTranslationY(float y)
{
    m_translation.y = y;
    dirty(DIRTY_TRANSLATION);
}

void Transform::setTranslationZ(float z)
{
    m_translation.z = z;
    dirty(DIRTY_TRANSLATION);
}

void Transform::set(const Vector3& scale, const Quaternion& rotation, const Vector3& translation)
{
    m_scale = scale;
    m_rotation = rotation;
    m_translation = translation;
    dirty(DIRTY_TRANSLATION | DIRTY_ROTATION | DIRTY_SCALE);
}

void Transform::set(const Transform& other) { set(other.m_scale, other.m_rotation, other.m_translation); }

void Transform::translate(float x, float y, float z) { translate(Vector3(x, y, z)); }

void Transform::translate(const Vector3& t)
{
    m_translation += t;
    dirty(DIRTY_TRANSLATION);
}

void Transform::rotate(const Quaternion& rotation)
{
    m_rotation = m_rotation * rotation;
    dirty(DIRTY_ROTATION);
}

void Transform::rotate(const Vector3& axis, float angle) { rotate(Quaternion::fromAxisAngle(axis, angle)); }

void Transform::scale(float factor) { scale(Vector3(factor, factor, factor)); }

void Transform::scale(float x, float y, float z) { scale(Vector3(x, y, z)); }

void Transform::scale(const Vector3& factors)
{
    m_scale = Vector3(m_scale.x * factors.x, m_scale.y * factors.y, m_scale.z * factors.z);
    dirty(DIRTY_SCALE);
}

const Matrix& Transform::getMatrix() const
{
    if (m_matrixDirtyBits & (DIRTY_TRANSLATION | DIRTY_SCALE | DIRTY_ROTATION)) {
        // Written out rather than as three products: this runs for every
        // animated joint every frame.
        Matrix m = Matrix::createRotation(m_rotation);
        m.m[0] *= m_scale.x;
        m.m[1] *= m_scale.x;
        m.m[2] *= m_scale.x;
        m.m[4] *= m_scale.y;
        m.m[5] *= m_scale.y;
        m.m[6] *= m_scale.y;
        m.m[8] *= m_scale.z;
        m.m[9] *= m_scale.z;
        m.m[10] *= m_scale.z;
        m.m[12] = m_translation.x;
        m.m[13] = m_translation.y;
        m.m[14] = m_translation.z;
        m_matrix = m;
        m_matrixDirtyBits &= DIRTY_NOTIFY;
    }
    return m_matrix;
}

Vector3 Transform::getForwardVector() const { return getMatrix().getForwardVector().normalized(); }

Vector3 Transform::getBackVector() const { return getMatrix().getBackVector().normalized(); }

Vector3 Transform::getUpVector() const { return getMatrix().getUpVector().normalized(); }

Vector3 Transform::getDownVector() const { return getMatrix().getDownVector().normalized(); }

Vector3 Transform::getLeftVector() const { return getMatrix().getLeftVector().normalized(); }

Vector3 Transform::getRightVector() const { return getMatrix().getRightVector().normalized(); }

void Transform::setOffsetMatrix(const Matrix& offset)
{
    m_offset = offset;
    dirty(0);
}

void Transform::addListener(Listener* listener, long cookie)
{
    if (!listener)
        return;
    m_listeners.push_back({listener, cookie});
}

void Transform::removeListener(Listener* listener)
{
    if (!listener)
        return;
    // While listeners are being called the list keeps its shape; the empty
    // slots are dropped when the outermost notification ends.
    for (ListenerEntry& e : m_listeners)
        if (e.listener == listener)
            e.listener = nullptr;
    if (!m_notifyGuard)
        dropRemovedListeners();
}

void Transform::dropRemovedListeners()
{
    m_listeners.erase(std::remove_if(m_listeners.begin(), m_listeners.end(),
                                     [](const ListenerEntry& e) { return e.listener == nullptr; }),
                      m_listeners.end());
}

void Transform::dirty(unsigned char bits)
{
    m_matrixDirtyBits |= bits;
    localTransformChanged();
    if (s_suspendDepth > 0) {
        if (!(m_matrixDirtyBits & DIRTY_NOTIFY)) {
            m_matrixDirtyBits |= DIRTY_NOTIFY;
            pendingTransforms().push_back(this);
        }
        return;
    }
    transformChanged();
}

void Transform::transformChanged()
{
    NotifyGuard guard;
    guard.outer = m_notifyGuard;
    m_notifyGuard = &guard;
    // Index loop: a listener may add listeners while being notified.
    for (size_t i = 0; i < m_listeners.size(); ++i) {
        const ListenerEntry e = m_listeners[i];
        if (!e.listener)
            continue;
        e.listener->transformChanged(this, e.cookie);
        if (guard.destroyed)
            return;
    }
    m_notifyGuard = guard.outer;
    if (!m_notifyGuard)
        dropRemovedListeners();
}

int Transform::animationPropertyComponentCount(int propertyId) const { return propertyComponentCount(propertyId); }

int Transform::propertyComponentCount(int propertyId)
{
    switch (propertyId) {
    case ANIMATE_SCALE_UNIT:
    case ANIMATE_SCALE_X:
    case ANIMATE_SCALE_Y:
    case ANIMATE_SCALE_Z:
    case ANIMATE_TRANSLATE_X:
    case ANIMATE_TRANSLATE_Y:
    case ANIMATE_TRANSLATE_Z:
        return 1;
    case ANIMATE_SCALE:
    case ANIMATE_TRANSLATE:
        return 3;
    case ANIMATE_ROTATE:
        return 4;
    case ANIMATE_SCALE_TRANSLATE:
        return 6;
    case ANIMATE_ROTATE_TRANSLATE:
    case ANIMATE_SCALE_ROTATE:
        return 7;
    case ANIMATE_SCALE_ROTATE_TRANSLATE:
        return 10;
    default:
        return -1;
    }
}

void Transform::animationPropertyValue(int propertyId, ChannelValue& value) const
{
    const int count = animationPropertyComponentCount(propertyId);
    if (count < 0 || value.componentCount() < static_cast<unsigned int>(count))
        return;
    float* v = value.data();
    auto putScale = [this](float* d) {
        d[0] = m_scale.x;
        d[1] = m_scale.y;
        d[2] = m_scale.z;
    };
    auto putRotation = [this](float* d) {
        d[0] = m_rotation.x;
        d[1] = m_rotation.y;
        d[2] = m_rotation.z;
        d[3] = m_rotation.w;
    };
    auto putTranslation = [this](float* d) {
        d[0] = m_translation.x;
        d[1] = m_translation.y;
        d[2] = m_translation.z;
    };
    switch (propertyId) {
    case ANIMATE_SCALE_UNIT:
        v[0] = m_scale.x;
        break;
    case ANIMATE_SCALE:
        putScale(v);
        break;
    case ANIMATE_SCALE_X:
        v[0] = m_scale.x;
        break;
    case ANIMATE_SCALE_Y:
        v[0] = m_scale.y;
        break;
    case ANIMATE_SCALE_Z:
        v[0] = m_scale.z;
        break;
    case ANIMATE_ROTATE:
        putRotation(v);
        break;
    case ANIMATE_TRANSLATE:
        putTranslation(v);
        break;
    case ANIMATE_TRANSLATE_X:
        v[0] = m_translation.x;
        break;
    case ANIMATE_TRANSLATE_Y:
        v[0] = m_translation.y;
        break;
    case ANIMATE_TRANSLATE_Z:
        v[0] = m_translation.z;
        break;
    case ANIMATE_ROTATE_TRANSLATE:
        putRotation(v);
        putTranslation(v + 4);
        break;
    case ANIMATE_SCALE_ROTATE_TRANSLATE:
        putScale(v);
        putRotation(v + 3);
        putTranslation(v + 7);
        break;
    case ANIMATE_SCALE_TRANSLATE:
        putScale(v);
        putTranslation(v + 3);
        break;
    case ANIMATE_SCALE_ROTATE:
        putScale(v);
        putRotation(v + 3);
        break;
    default:
        break;
    }
}

void Transform::setAnimationPropertyValue(int propertyId, const ChannelValue& value, float blendWeight)
{
    const int count = animationPropertyComponentCount(propertyId);
    if (count < 0 || value.componentCount() < static_cast<unsigned int>(count))
        return;
    const float* v = value.data();
    const float w = blendWeight;
    switch (propertyId) {
    case ANIMATE_SCALE_UNIT:
        setScale(blend(m_scale.x, v[0], w), blend(m_scale.y, v[0], w), blend(m_scale.z, v[0], w));
        break;
    case ANIMATE_SCALE:
        applyAnimatedScale(v, w);
        break;
    case ANIMATE_SCALE_X:
        setScaleX(blend(m_scale.x, v[0], w));
        break;
    case ANIMATE_SCALE_Y:
        setScaleY(blend(m_scale.y, v[0], w));
        break;
    case ANIMATE_SCALE_Z:
        setScaleZ(blend(m_scale.z, v[0], w));
        break;
    case ANIMATE_ROTATE:
        applyAnimatedRotation(v, w);
        break;
    case ANIMATE_TRANSLATE:
        applyAnimatedTranslation(v, w);
        break;
    case ANIMATE_TRANSLATE_X:
        setTranslationX(blend(m_translation.x, v[0], w));
        break;
    case ANIMATE_TRANSLATE_Y:
        setTranslationY(blend(m_translation.y, v[0], w));
        break;
    case ANIMATE_TRANSLATE_Z:
        setTranslationZ(blend(m_translation.z, v[0], w));
        break;
    case ANIMATE_ROTATE_TRANSLATE:
        applyAnimatedRotation(v, w);
        applyAnimatedTranslation(v + 4, w);
        break;
    case ANIMATE_SCALE_ROTATE_TRANSLATE:
        applyAnimatedScale(v, w);
        applyAnimatedRotation(v + 3, w);
        applyAnimatedTranslation(v + 7, w);
        break;
    case ANIMATE_SCALE_TRANSLATE:
        applyAnimatedScale(v, w);
        applyAnimatedTranslation(v + 3, w);
        break;
    case ANIMATE_SCALE_ROTATE:
        applyAnimatedScale(v, w);
        applyAnimatedRotation(v + 3, w);
        break;
    default:
        break;
    }
}

void Transform::applyAnimatedScale(const float* v, float w)
{
    setScale(blend(m_scale.x, v[0], w), blend(m_scale.y, v[1], w), blend(m_scale.z, v[2], w));
}

void Transform::applyAnimatedRotation(const float* v, float w)
{
    if (isStatic())
        return;
    setRotation(Quaternion::slerp(m_rotation, Quaternion(v[0], v[1], v[2], v[3]), w));
}

void Transform::applyAnimatedTranslation(const float* v, float w)
{
    setTranslation(blend(m_translation.x, v[0], w), blend(m_translation.y, v[1], w), blend(m_translation.z, v[2], w));
}

} // namespace engine

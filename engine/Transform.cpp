#include "engine/Transform.h"

#include "engine/ChannelValue.h"

#include <algorithm>

namespace engine {

namespace {

int suspendDepth = 0;

// Transforms changed while notifications were suspended. The vector keeps its
// capacity between frames, so steady-state animation does not allocate.
std::vector<Transform*>& pendingTransforms()
{
    static std::vector<Transform*> pending;
    return pending;
}

float blend(float current, float animated, float weight)
{
    return current * (1.0f - weight) + animated * weight;
}

} // namespace

Transform::Transform()
    : AnimationTarget(TRANSFORM)
    , _scale(Vector3::one())
    , _matrixDirtyBits(0)
{
}

Transform::Transform(const Vector3& scale, const Quaternion& rotation, const Vector3& translation)
    : AnimationTarget(TRANSFORM)
    , _scale(scale)
    , _rotation(rotation)
    , _translation(translation)
    , _matrixDirtyBits(DIRTY_TRANSLATION | DIRTY_SCALE | DIRTY_ROTATION)
{
}

Transform::~Transform()
{
    if (_matrixDirtyBits & DIRTY_NOTIFY) {
        std::vector<Transform*>& pending = pendingTransforms();
        pending.erase(std::remove(pending.begin(), pending.end(), this), pending.end());
    }
}

void Transform::suspendTransformChanged()
{
    ++suspendDepth;
}

void Transform::resumeTransformChanged()
{
    if (suspendDepth == 0)
        return;
    if (--suspendDepth > 0)
        return;
    // A listener may change other transforms; those notify directly now.
    std::vector<Transform*>& pending = pendingTransforms();
    for (size_t i = 0; i < pending.size(); ++i) {
        Transform* t = pending[i];
        t->_matrixDirtyBits &= static_cast<unsigned char>(~DIRTY_NOTIFY);
        t->transformChanged();
    }
    pending.clear();
}

bool Transform::isTransformChangedSuspended()
{
    return suspendDepth > 0;
}

void Transform::setScale(float uniform)
{
    setScale(Vector3(uniform, uniform, uniform));
}

void Transform::setScale(float x, float y, float z)
{
    setScale(Vector3(x, y, z));
}

void Transform::setScale(const Vector3& scale)
{
    _scale = scale;
    dirty(DIRTY_SCALE);
}

void Transform::setScaleX(float x)
{
    _scale.x = x;
    dirty(DIRTY_SCALE);
}

void Transform::setScaleY(float y)
{
    _scale.y = y;
    dirty(DIRTY_SCALE);
}

void Transform::setScaleZ(float z)
{
    _scale.z = z;
    dirty(DIRTY_SCALE);
}

void Transform::setRotation(const Quaternion& rotation)
{
    _rotation = rotation;
    dirty(DIRTY_ROTATION);
}

void Transform::setRotation(float x, float y, float z, float w)
{
    setRotation(Quaternion(x, y, z, w));
}

void Transform::setRotation(const Vector3& axis, float angle)
{
    setRotation(Quaternion::fromAxisAngle(axis, angle));
}

void Transform::setRotation(const Matrix& rotation)
{
    setRotation(Quaternion::fromMatrix(rotation));
}

void Transform::setTranslation(const Vector3& translation)
{
    _translation = translation;
    dirty(DIRTY_TRANSLATION);
}

void Transform::setTranslation(float x, float y, float z)
{
    setTranslation(Vector3(x, y, z));
}

void Transform::setTranslationX(float x)
{
    _translation.x = x;
    dirty(DIRTY_TRANSLATION);
}

void Transform::setTranslationY(float y)
{
    _translation.y = y;
    dirty(DIRTY_TRANSLATION);
}

void Transform::setTranslationZ(float z)
{
    _translation.z = z;
    dirty(DIRTY_TRANSLATION);
}

void Transform::set(const Vector3& scale, const Quaternion& rotation, const Vector3& translation)
{
    _scale = scale;
    _rotation = rotation;
    _translation = translation;
    dirty(DIRTY_TRANSLATION | DIRTY_ROTATION | DIRTY_SCALE);
}

void Transform::set(const Transform& other)
{
    set(other._scale, other._rotation, other._translation);
}

void Transform::setIdentity()
{
    set(Vector3::one(), Quaternion::identity(), Vector3::zero());
}

void Transform::translate(float x, float y, float z)
{
    translate(Vector3(x, y, z));
}

void Transform::translate(const Vector3& t)
{
    _translation += t;
    dirty(DIRTY_TRANSLATION);
}

void Transform::translateX(float x)
{
    translate(Vector3(x, 0.0f, 0.0f));
}

void Transform::translateY(float y)
{
    translate(Vector3(0.0f, y, 0.0f));
}

void Transform::translateZ(float z)
{
    translate(Vector3(0.0f, 0.0f, z));
}

void Transform::rotate(const Quaternion& rotation)
{
    _rotation = _rotation * rotation;
    dirty(DIRTY_ROTATION);
}

void Transform::rotate(const Vector3& axis, float angle)
{
    rotate(Quaternion::fromAxisAngle(axis, angle));
}

void Transform::rotateX(float angle)
{
    rotate(Vector3::unitX(), angle);
}

void Transform::rotateY(float angle)
{
    rotate(Vector3::unitY(), angle);
}

void Transform::rotateZ(float angle)
{
    rotate(Vector3::unitZ(), angle);
}

void Transform::scale(float factor)
{
    scale(Vector3(factor, factor, factor));
}

void Transform::scale(float x, float y, float z)
{
    scale(Vector3(x, y, z));
}

void Transform::scale(const Vector3& factors)
{
    _scale = Vector3(_scale.x * factors.x, _scale.y * factors.y, _scale.z * factors.z);
    dirty(DIRTY_SCALE);
}

void Transform::scaleX(float x)
{
    scale(Vector3(x, 1.0f, 1.0f));
}

void Transform::scaleY(float y)
{
    scale(Vector3(1.0f, y, 1.0f));
}

void Transform::scaleZ(float z)
{
    scale(Vector3(1.0f, 1.0f, z));
}

const Matrix& Transform::getMatrix() const
{
    if (_matrixDirtyBits & (DIRTY_TRANSLATION | DIRTY_SCALE | DIRTY_ROTATION)) {
        // Written out rather than as three products: this runs for every
        // animated joint every frame.
        Matrix m = Matrix::createRotation(_rotation);
        m.m[0] *= _scale.x; m.m[1] *= _scale.x; m.m[2] *= _scale.x;
        m.m[4] *= _scale.y; m.m[5] *= _scale.y; m.m[6] *= _scale.y;
        m.m[8] *= _scale.z; m.m[9] *= _scale.z; m.m[10] *= _scale.z;
        m.m[12] = _translation.x;
        m.m[13] = _translation.y;
        m.m[14] = _translation.z;
        _matrix = m;
        _matrixDirtyBits &= DIRTY_NOTIFY;
    }
    return _matrix;
}

Vector3 Transform::getForwardVector() const
{
    return getMatrix().getForwardVector().normalized();
}

Vector3 Transform::getBackVector() const
{
    return getMatrix().getBackVector().normalized();
}

Vector3 Transform::getUpVector() const
{
    return getMatrix().getUpVector().normalized();
}

Vector3 Transform::getDownVector() const
{
    return getMatrix().getDownVector().normalized();
}

Vector3 Transform::getLeftVector() const
{
    return getMatrix().getLeftVector().normalized();
}

Vector3 Transform::getRightVector() const
{
    return getMatrix().getRightVector().normalized();
}

void Transform::setOffsetMatrix(const Matrix& offset)
{
    _offset = offset;
    dirty(0);
}

void Transform::addListener(Listener* listener, long cookie)
{
    if (!listener)
        return;
    _listeners.push_back({ listener, cookie });
}

void Transform::removeListener(Listener* listener)
{
    _listeners.erase(std::remove_if(_listeners.begin(), _listeners.end(),
                                    [listener](const ListenerEntry& e) { return e.listener == listener; }),
                     _listeners.end());
}

void Transform::dirty(unsigned char bits)
{
    _matrixDirtyBits |= bits;
    localTransformChanged();
    if (suspendDepth > 0) {
        if (!(_matrixDirtyBits & DIRTY_NOTIFY)) {
            _matrixDirtyBits |= DIRTY_NOTIFY;
            pendingTransforms().push_back(this);
        }
        return;
    }
    transformChanged();
}

void Transform::transformChanged()
{
    // Index loop: a listener may add listeners while being notified.
    for (size_t i = 0; i < _listeners.size(); ++i) {
        const ListenerEntry e = _listeners[i];
        e.listener->transformChanged(this, e.cookie);
    }
}

int Transform::animationPropertyComponentCount(int propertyId) const
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
    auto putScale = [this](float* d) { d[0] = _scale.x; d[1] = _scale.y; d[2] = _scale.z; };
    auto putRotation = [this](float* d) { d[0] = _rotation.x; d[1] = _rotation.y; d[2] = _rotation.z; d[3] = _rotation.w; };
    auto putTranslation = [this](float* d) { d[0] = _translation.x; d[1] = _translation.y; d[2] = _translation.z; };
    switch (propertyId) {
    case ANIMATE_SCALE_UNIT: v[0] = _scale.x; break;
    case ANIMATE_SCALE: putScale(v); break;
    case ANIMATE_SCALE_X: v[0] = _scale.x; break;
    case ANIMATE_SCALE_Y: v[0] = _scale.y; break;
    case ANIMATE_SCALE_Z: v[0] = _scale.z; break;
    case ANIMATE_ROTATE: putRotation(v); break;
    case ANIMATE_TRANSLATE: putTranslation(v); break;
    case ANIMATE_TRANSLATE_X: v[0] = _translation.x; break;
    case ANIMATE_TRANSLATE_Y: v[0] = _translation.y; break;
    case ANIMATE_TRANSLATE_Z: v[0] = _translation.z; break;
    case ANIMATE_ROTATE_TRANSLATE: putRotation(v); putTranslation(v + 4); break;
    case ANIMATE_SCALE_ROTATE_TRANSLATE: putScale(v); putRotation(v + 3); putTranslation(v + 7); break;
    case ANIMATE_SCALE_TRANSLATE: putScale(v); putTranslation(v + 3); break;
    case ANIMATE_SCALE_ROTATE: putScale(v); putRotation(v + 3); break;
    default: break;
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
        setScale(blend(_scale.x, v[0], w), blend(_scale.y, v[0], w), blend(_scale.z, v[0], w));
        break;
    case ANIMATE_SCALE: applyAnimatedScale(v, w); break;
    case ANIMATE_SCALE_X: setScaleX(blend(_scale.x, v[0], w)); break;
    case ANIMATE_SCALE_Y: setScaleY(blend(_scale.y, v[0], w)); break;
    case ANIMATE_SCALE_Z: setScaleZ(blend(_scale.z, v[0], w)); break;
    case ANIMATE_ROTATE: applyAnimatedRotation(v, w); break;
    case ANIMATE_TRANSLATE: applyAnimatedTranslation(v, w); break;
    case ANIMATE_TRANSLATE_X: setTranslationX(blend(_translation.x, v[0], w)); break;
    case ANIMATE_TRANSLATE_Y: setTranslationY(blend(_translation.y, v[0], w)); break;
    case ANIMATE_TRANSLATE_Z: setTranslationZ(blend(_translation.z, v[0], w)); break;
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
    setScale(blend(_scale.x, v[0], w), blend(_scale.y, v[1], w), blend(_scale.z, v[2], w));
}

void Transform::applyAnimatedRotation(const float* v, float w)
{
    if (isStatic())
        return;
    setRotation(Quaternion::slerp(_rotation, Quaternion(v[0], v[1], v[2], v[3]), w));
}

void Transform::applyAnimatedTranslation(const float* v, float w)
{
    setTranslation(blend(_translation.x, v[0], w), blend(_translation.y, v[1], w), blend(_translation.z, v[2], w));
}

} // namespace engine

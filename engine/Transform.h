#pragma once

#include "AnimationTarget.h"
#include "math/Matrix.h"
#include "math/Quaternion.h"
#include "math/Vector3.h"

#include <vector>

namespace engine {

// Scale, rotation and translation with a lazily rebuilt local matrix
// (local = T * R * S: scale first, rotate next, translate last).
class Transform : public AnimationTarget {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void transformChanged(Transform* transform, long cookie) = 0;
        // The transform is going away; it must not be touched any more.
        virtual void transformDestroyed(Transform* /*transform*/, long /*cookie*/) { }
    };

    Transform();
    Transform(const Vector3& scale, const Quaternion& rotation, const Vector3& translation);
    ~Transform() override;

    // While suspended, listeners are not called; each changed transform is
    // remembered once and notified when the outermost resume comes.
    static void suspendTransformChanged();
    static void resumeTransformChanged();

    const Vector3& getScale() const { return m_scale; }
    const Quaternion& getRotation() const { return m_rotation; }
    const Vector3& getTranslation() const { return m_translation; }
    float getTranslationX() const { return m_translation.x; }

    void setScale(float uniform);
    void setScale(float x, float y, float z);
    void setScale(const Vector3& scale);
    void setScaleX(float x);
    void setScaleY(float y);
    void setScaleZ(float z);
    void setRotation(const Quaternion& rotation);
    void setRotation(float x, float y, float z, float w);
    void setRotation(const Vector3& axis, float angle);
    void setRotation(const Matrix& rotation);
    void setTranslation(const Vector3& translation);
    void setTranslation(float x, float y, float z);
    void setTranslationX(float x);
    void setTranslationY(float y);
    void setTranslationZ(float z);
    void set(const Vector3& scale, const Quaternion& rotation, const Vector3& translation);
    void set(const Transform& other);

    void translate(float x, float y, float z);
    void translate(const Vector3& t);
    // Applies 'rotation' after the current one.
    void rotate(const Quaternion& rotation);
    void rotate(const Vector3& axis, float angle);
    void scale(float factor);
    void scale(float x, float y, float z);
    void scale(const Vector3& factors);

    const Matrix& getMatrix() const;

    // Unit direction vectors of the local matrix (forward is -z).
    Vector3 getForwardVector() const;
    Vector3 getBackVector() const;
    Vector3 getUpVector() const;
    Vector3 getDownVector() const;
    Vector3 getLeftVector() const;
    Vector3 getRightVector() const;

    // Extra matrix applied after the local one to this transform's own
    // geometry (see Node::getWorldMatrix); identity by default.
    const Matrix& getOffsetMatrix() const { return m_offset; }
    void setOffsetMatrix(const Matrix& offset);

    void addListener(Listener* listener, long cookie = 0);
    void removeListener(Listener* listener);

    // A static transform ignores animated rotations.
    virtual bool isStatic() const { return false; }

    int animationPropertyComponentCount(int propertyId) const override;
    // The floats one key of a transform property holds; -1 for an id that is no transform property.
    static int propertyComponentCount(int propertyId);
    void animationPropertyValue(int propertyId, ChannelValue& value) const override;
    void setAnimationPropertyValue(int propertyId, const ChannelValue& value, float blendWeight) override;

protected:
    enum DirtyBits : unsigned char {
        DIRTY_TRANSLATION = 1,
        DIRTY_SCALE = 2,
        DIRTY_ROTATION = 4,
        DIRTY_NOTIFY = 8 // queued for notification while suspended
    };

    void dirty(unsigned char bits);
    // Called at once on every change, even while notifications are
    // suspended, so that derived caches never go stale.
    virtual void localTransformChanged() { }
    // Notifies the listeners.
    virtual void transformChanged();

private:
    struct ListenerEntry {
        Listener* listener; // null: removed while listeners were being called
        long cookie;
    };
    // One per notification under way (they nest when a listener changes the
    // transform again); the destructor marks them all, so the loops stop
    // touching a transform that a listener deleted.
    struct NotifyGuard {
        bool destroyed = false;
        NotifyGuard* outer = nullptr;
    };

    void dropRemovedListeners();
    void applyAnimatedScale(const float* v, float weight);
    void applyAnimatedRotation(const float* v, float weight);
    void applyAnimatedTranslation(const float* v, float weight);

    Vector3 m_scale;
    Quaternion m_rotation;
    Vector3 m_translation;
    mutable Matrix m_matrix;
    Matrix m_offset;
    mutable unsigned char m_matrixDirtyBits;
    std::vector<ListenerEntry> m_listeners;
    NotifyGuard* m_notifyGuard = nullptr;
};

} // namespace engine

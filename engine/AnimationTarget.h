#pragma once

#include <map>
#include <vector>

namespace engine {

class Animation;
class AnimationChannel;
class ChannelValue;
class Properties;

// Property ids understood by a transform target. The value layout of each id
// (component order) is the same for reading and writing:
//   0 uniform scale (1)            1 scale x, y, z (3)
//   2, 3, 4 scale x / y / z (1)     8 rotation quaternion x, y, z, w (4)
//   9 translation x, y, z (3)      10, 11, 12 translation x / y / z (1)
//  16 rotation (0..3), translation (4..6)
//  17 scale (0..2), rotation (3..6), translation (7..9)
//  18 scale (0..2), translation (3..5)
//  19 scale (0..2), rotation (3..6)
enum TransformAnimationProperty {
    ANIMATE_SCALE_UNIT = 0,
    ANIMATE_SCALE = 1,
    ANIMATE_SCALE_X = 2,
    ANIMATE_SCALE_Y = 3,
    ANIMATE_SCALE_Z = 4,
    ANIMATE_ROTATE = 8,
    ANIMATE_TRANSLATE = 9,
    ANIMATE_TRANSLATE_X = 10,
    ANIMATE_TRANSLATE_Y = 11,
    ANIMATE_TRANSLATE_Z = 12,
    ANIMATE_ROTATE_TRANSLATE = 16,
    ANIMATE_SCALE_ROTATE_TRANSLATE = 17,
    ANIMATE_SCALE_TRANSLATE = 18,
    ANIMATE_SCALE_ROTATE = 19
};

// The single property of a scalar target.
enum ScalarAnimationProperty { ANIMATE_UNIFORM = 1 };

// Animations cloned so far in one cloning pass, so that several channels of
// one animation end up in one cloned animation.
using AnimationCloneContext = std::map<const Animation*, Animation*>;

// Something whose properties animation channels drive (in practice a
// Transform). Channels register themselves here; destroying the target
// removes them from their animations.
class AnimationTarget {
public:
    enum TargetType { SCALAR = 0, TRANSFORM = 1 };

    // Number of float components of a property, -1 when the target has no
    // such property.
    virtual int animationPropertyComponentCount(int propertyId) const = 0;
    // Fills 'value' with the property's current components (same layout as
    // for writing). 'value' has at least the component count of the property.
    virtual void animationPropertyValue(int propertyId, ChannelValue& value) const = 0;
    // Moves the property towards 'value' by 'blendWeight' (1 replaces it).
    virtual void setAnimationPropertyValue(int propertyId, const ChannelValue& value, float blendWeight) = 0;

    virtual ~AnimationTarget();

    // Property id for a name of the text format ("ANIMATE_ROTATE", ...) for a
    // target of the given type; -1 for an unknown name.
    virtual int propertyIdFromName(TargetType type, const char* name) const;

    TargetType targetType() const { return m_targetType; }

    // New animation with one channel on this target. The caller owns the
    // returned reference; null when the keys are unusable (no keys, times that
    // run backwards, a property this target does not have).
    Animation* createAnimation(const char* id, int propertyId, unsigned int keyCount, const unsigned int* keyTimes,
                               const float* keyValues, int type);
    Animation* createAnimation(const char* id, int propertyId, unsigned int keyCount, const unsigned int* keyTimes,
                               const float* keyValues, const float* keyInValue, const float* keyOutValue, int type);
    // From an "animation" namespace (scene files); null when it is incomplete
    // or malformed. The caller owns the returned reference.
    Animation* createAnimation(const char* id, Properties* animationProperties);

    // Appends every animation driving this target that 'out' does not hold yet.
    void collectAnimations(std::vector<Animation*>& out) const;

    unsigned int channelCount() const;
    AnimationChannel* channelAt(unsigned int index) const;

protected:
    explicit AnimationTarget(TargetType type);
    AnimationTarget(const AnimationTarget&) = delete;
    AnimationTarget& operator=(const AnimationTarget&) = delete;

private:
    friend class Animation;
    void addChannel(AnimationChannel* channel);
    void removeChannel(AnimationChannel* channel);

    TargetType m_targetType;
    std::vector<AnimationChannel*> m_channels;
};

} // namespace engine

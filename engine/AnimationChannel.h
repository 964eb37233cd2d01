#pragma once

namespace engine {

class Animation;
class AnimationTarget;
class Curve;

// One property of one target driven by a curve. The curve's times are
// normalised to the channel's own key range [start, start + duration] (ms on
// the animation's time line). Owned by its animation, listed in its target.
class AnimationChannel {
public:
    Animation* animation() const { return m_animation; }
    AnimationTarget* target() const { return m_target; }
    int propertyId() const { return m_propertyId; }
    Curve* curve() const { return m_curve; }
    unsigned int start() const { return m_start; }
    unsigned int duration() const { return m_duration; }

private:
    friend class Animation;
    friend class AnimationTarget;

    // Takes its own references on the animation and the curve.
    AnimationChannel(Animation* animation, AnimationTarget* target, int propertyId, Curve* curve, unsigned int start,
                     unsigned int duration);
    ~AnimationChannel();
    AnimationChannel(const AnimationChannel&) = delete;
    AnimationChannel& operator=(const AnimationChannel&) = delete;

    Animation* m_animation;
    AnimationTarget* m_target;
    int m_propertyId;
    Curve* m_curve;
    unsigned int m_start;
    unsigned int m_duration;
};

} // namespace engine

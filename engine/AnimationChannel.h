#ifndef ENGINE_ANIMATIONCHANNEL_H
#define ENGINE_ANIMATIONCHANNEL_H

namespace engine {

class Animation;
class AnimationTarget;
class Curve;

// One property of one target driven by a curve. The curve's times are
// normalised to the channel's own key range [start, start + duration] (ms on
// the animation's time line). Owned by its animation, listed in its target.
class AnimationChannel
{
public:
    Animation* animation() const { return _animation; }
    AnimationTarget* target() const { return _target; }
    int propertyId() const { return _propertyId; }
    Curve* curve() const { return _curve; }
    unsigned int start() const { return _start; }
    unsigned int duration() const { return _duration; }

private:
    friend class Animation;
    friend class AnimationTarget;

    // Takes its own references on the animation and the curve.
    AnimationChannel(Animation* animation, AnimationTarget* target, int propertyId, Curve* curve, unsigned int start,
                     unsigned int duration);
    ~AnimationChannel();
    AnimationChannel(const AnimationChannel&) = delete;
    AnimationChannel& operator=(const AnimationChannel&) = delete;

    Animation* _animation;
    AnimationTarget* _target;
    int _propertyId;
    Curve* _curve;
    unsigned int _start;
    unsigned int _duration;
};

} // namespace engine

#endif

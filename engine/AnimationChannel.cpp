#include "engine/AnimationChannel.h"

#include "engine/Animation.h"
#include "engine/Curve.h"

namespace engine {

AnimationChannel::AnimationChannel(Animation* animation, AnimationTarget* target, int propertyId, Curve* curve,
                                   unsigned int start, unsigned int duration)
    : _animation(animation)
    , _target(target)
    , _propertyId(propertyId)
    , _curve(curve)
    , _start(start)
    , _duration(duration)
{
    _animation->addRef();
    _curve->addRef();
}

AnimationChannel::~AnimationChannel()
{
    _curve->release();
    // Last: this may destroy the animation.
    _animation->release();
}

} // namespace engine

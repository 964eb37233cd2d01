#include "AnimationChannel.h"

#include "Animation.h"
#include "Curve.h"

namespace engine {

AnimationChannel::AnimationChannel(Animation* animation, AnimationTarget* target, int propertyId, Curve* curve,
                                   unsigned int start, unsigned int duration)
    : m_animation(animation)
    , m_target(target)
    , m_propertyId(propertyId)
    , m_curve(curve)
    , m_start(start)
    , m_duration(duration)
{
    m_animation->addRef();
    m_curve->addRef();
}

AnimationChannel::~AnimationChannel()
{
    m_curve->release();
    // Last: this may destroy the animation.
    m_animation->release();
}

} // namespace engine

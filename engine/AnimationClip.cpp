#include "engine/AnimationClip.h"

#include "engine/Animation.h"
#include "engine/AnimationChannel.h"
#include "engine/AnimationController.h"
#include "engine/AnimationTarget.h"
#include "engine/Curve.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace engine {

namespace {

// Float milliseconds to an unsigned count, truncated and kept in range.
unsigned int toMilliseconds(double value)
{
    if (!(value > 0.0))
        return 0;
    if (value >= double(std::numeric_limits<unsigned int>::max()))
        return std::numeric_limits<unsigned int>::max();
    return static_cast<unsigned int>(value);
}

} // namespace

AnimationClip::AnimationClip(const char* id, Animation* animation, unsigned int startTime, unsigned int endTime)
    : _id(id ? id : "")
    , _animation(animation)
    , _startTime(startTime)
    , _endTime(endTime)
    , _duration(endTime - startTime)
    , _state(0)
    , _repeatCount(1.0f)
    , _loopBlendTime(0)
    , _activeDuration(_duration)
    , _speed(1.0f)
    , _timeStarted(0.0)
    , _elapsedTime(0.0f)
    , _crossFadeToClip(nullptr)
    , _crossFadeStartTime(0.0)
    , _crossFadeOutElapsed(0.0f)
    , _crossFadeOutDuration(0.0f)
    , _blendWeight(1.0f)
    , _notifying(0)
{
    const unsigned int channelCount = animation->channelCount();
    _values.reserve(channelCount);
    _loopValues.reserve(channelCount);
    for (unsigned int i = 0; i < channelCount; ++i)
        addChannelValue(animation->channelAt(i)->curve()->componentCount());
}

AnimationClip::~AnimationClip()
{
    releaseRef(_crossFadeToClip);
}

void AnimationClip::addChannelValue(unsigned int componentCount)
{
    _values.emplace_back(componentCount);
    _loopValues.emplace_back(componentCount);
}

void AnimationClip::removeChannelValue(unsigned int index)
{
    if (index < _values.size()) {
        _values.erase(_values.begin() + index);
        _loopValues.erase(_loopValues.begin() + index);
    }
}

void AnimationClip::setRepeatCount(float repeatCount)
{
    if (!std::isfinite(repeatCount) || repeatCount < 0.0f)
        return;
    _repeatCount = repeatCount;
    if (repeatCount == 0.0f) {
        _activeDuration = toMilliseconds(double(_duration) + _loopBlendTime);
        return;
    }
    double active = std::floor(double(_duration) * repeatCount);
    if (repeatCount > 1.0f && _loopBlendTime > 0)
        active += std::floor(std::ceil(repeatCount - 1.0f) * float(_loopBlendTime));
    _activeDuration = toMilliseconds(active);
}

void AnimationClip::setRepeatCountText(const char* text)
{
    if (std::strcmp(text, "INDEFINITE") == 0)
        setRepeatCount(0.0f);
    else
        setRepeatCount(static_cast<float>(std::atof(text)));
}

void AnimationClip::setLoopBlendTime(float loopBlendTime)
{
    _loopBlendTime = std::isfinite(loopBlendTime) ? toMilliseconds(loopBlendTime) : 0;
    // The active duration includes the blends between repeats, so it must
    // follow the blend time whichever of the two is set first.
    setRepeatCount(_repeatCount);
}

void AnimationClip::setSpeed(float speed)
{
    if (std::isfinite(speed))
        _speed = speed;
}

double AnimationClip::gameTime() const
{
    AnimationController* controller = _animation ? _animation->controller() : nullptr;
    return controller ? controller->time() : 0.0;
}

void AnimationClip::play()
{
    AnimationController* controller = _animation ? _animation->controller() : nullptr;
    if (!controller)
        return;
    if (!isSet(PLAYING)) {
        set(PLAYING);
        controller->schedule(this);
        _timeStarted = controller->time();
    } else if (isSet(PAUSED)) {
        clear(PAUSED);
    } else {
        clear(MARKED_FOR_REMOVAL);
        set(RESTARTED);
        _timeStarted = controller->time();
    }
}

void AnimationClip::pause()
{
    if (isSet(PLAYING) && !isSet(MARKED_FOR_REMOVAL))
        set(PAUSED);
}

void AnimationClip::stop()
{
    if (!isSet(PLAYING))
        return;
    _state &= PLAYING | STARTED | CROSS_FADE_OUT_STARTED | FADING_OUT | FADING_IN;
    set(MARKED_FOR_REMOVAL);
}

bool AnimationClip::isPlaying() const
{
    return isSet(PLAYING) && !isSet(PAUSED);
}

void AnimationClip::crossFade(AnimationClip* clip, unsigned long duration)
{
    if (!clip || clip == this)
        return;
    if (!isSet(PLAYING) || isSet(MARKED_FOR_REMOVAL)) {
        clip->play();
        return;
    }
    if (_crossFadeToClip != clip) {
        finishCrossFade();
        clip->addRef();
        _crossFadeToClip = clip;
    }
    clip->play();
    clip->set(FADING_IN);
    clip->_blendWeight = 0.0f;
    set(FADING_OUT | CROSS_FADE_OUT_STARTED);
    _crossFadeStartTime = gameTime();
    _crossFadeOutElapsed = 0.0f;
    _crossFadeOutDuration = static_cast<float>(duration);
}

// Hands the fade target its full weight and lets go of it.
void AnimationClip::finishCrossFade()
{
    if (!_crossFadeToClip)
        return;
    _crossFadeToClip->_blendWeight = 1.0f;
    _crossFadeToClip->clear(FADING_IN);
    releaseRef(_crossFadeToClip);
}

void AnimationClip::addBeginListener(Listener* listener)
{
    if (!listener)
        return;
    _beginListeners.push_back(listener);
}

void AnimationClip::addEndListener(Listener* listener)
{
    if (!listener)
        return;
    _endListeners.push_back(listener);
}

void AnimationClip::removeBeginListener(Listener* listener)
{
    removeListener(_beginListeners, listener);
}

void AnimationClip::removeEndListener(Listener* listener)
{
    removeListener(_endListeners, listener);
}

void AnimationClip::removeListener(std::vector<Listener*>& listeners, Listener* listener)
{
    auto it = std::find(listeners.begin(), listeners.end(), listener);
    if (it == listeners.end())
        return;
    // While listeners are being called the list must keep its shape; the
    // empty slot is dropped afterwards.
    if (_notifying)
        *it = nullptr;
    else
        listeners.erase(it);
}

void AnimationClip::notify(std::vector<Listener*>& listeners, Listener::EventType type)
{
    ++_notifying;
    for (size_t i = 0; i < listeners.size(); ++i) {
        if (Listener* listener = listeners[i])
            listener->clipEvent(this, type);
    }
    if (--_notifying == 0)
        listeners.erase(std::remove(listeners.begin(), listeners.end(), nullptr), listeners.end());
}

void AnimationClip::begin()
{
    addRef();
    set(STARTED);
    const double sincePlay = gameTime() - _timeStarted;
    if (_speed >= 0.0f)
        _elapsedTime = static_cast<float>(sincePlay * _speed);
    else
        _elapsedTime = static_cast<float>(_activeDuration + sincePlay * _speed);
    notify(_beginListeners, Listener::BEGIN);
    release();
}

void AnimationClip::end()
{
    addRef();
    // A fade still under way ends with this clip; its target plays on alone.
    finishCrossFade();
    _blendWeight = 1.0f;
    _state = 0;
    notify(_endListeners, Listener::END);
    release();
}

void AnimationClip::reset()
{
    finishCrossFade();
    _blendWeight = 1.0f;
    _state = 0;
}

// Position in the clip (0 .. duration + loop blend) for this frame; clears
// STARTED when the active duration is used up.
float AnimationClip::currentTime()
{
    if (_repeatCount != 0.0f
        && ((_speed > 0.0f && _elapsedTime >= float(_activeDuration)) || (_speed < 0.0f && _elapsedTime <= 0.0f))) {
        clear(STARTED);
        if (_speed < 0.0f)
            return 0.0f;
        // Finish where the active duration ends: the clip's end for whole
        // repeats, part-way through it for a fractional repeat count.
        const double cycle = double(_duration) + _loopBlendTime;
        const double last = cycle > 0.0 ? std::fmod(double(_activeDuration), cycle) : 0.0;
        return last > 0.0 ? static_cast<float>(last) : float(_duration);
    }
    if (_duration == 0)
        return 0.0f;
    return static_cast<float>(std::fmod(double(_elapsedTime), double(_duration) + _loopBlendTime));
}

bool AnimationClip::update(float elapsed)
{
    if (isSet(PAUSED))
        return false;
    if (isSet(MARKED_FOR_REMOVAL) || !_animation) {
        end();
        return true;
    }

    if (!isSet(STARTED))
        begin();
    else
        _elapsedTime += _speed * elapsed;
    if (_repeatCount == 0.0f && _elapsedTime <= 0.0f && _activeDuration > 0) {
        // Backwards and indefinitely: wrap however far a long frame went.
        const double active = _activeDuration;
        _elapsedTime = static_cast<float>(active + std::fmod(double(_elapsedTime), active));
    }

    if (!_animation) {  // a begin listener let the animation go
        end();
        return true;
    }
    const float current = currentTime();
    if (isSet(FADING_OUT))
        updateCrossFade(elapsed);
    applyChannels(current);

    if (isSet(MARKED_FOR_REMOVAL) || !isSet(STARTED)) {
        end();
        return true;
    }
    return false;
}

void AnimationClip::updateCrossFade(float elapsed)
{
    if (!_crossFadeToClip) {
        clear(FADING_OUT | CROSS_FADE_OUT_STARTED);
        return;
    }
    const float speed = std::fabs(_speed);
    if (isSet(CROSS_FADE_OUT_STARTED)) {
        const double since = gameTime() - std::max(_crossFadeToClip->_timeStarted, _crossFadeStartTime);
        _crossFadeOutElapsed = static_cast<float>(std::max(0.0, since) * speed);
        clear(CROSS_FADE_OUT_STARTED);
    } else {
        _crossFadeOutElapsed += speed * elapsed;
    }

    if (_crossFadeOutElapsed >= _crossFadeOutDuration) {
        clear(FADING_OUT | STARTED);
        _blendWeight = 0.0f;
        finishCrossFade();
        return;
    }
    const float p = (_crossFadeOutDuration - _crossFadeOutElapsed) / _crossFadeOutDuration;
    if (!isSet(FADING_IN)) {
        _crossFadeToClip->_blendWeight = 1.0f - p;
        _blendWeight = p;
    } else {
        // Still fading in itself: hand over part of what it has so far.
        _crossFadeToClip->_blendWeight = (1.0f - p) * _blendWeight;
        _blendWeight -= _crossFadeToClip->_blendWeight;
    }
}

// Writes every channel's value at 'current' ms into the clip into its target.
//
// Each channel maps the clip's time onto its own key range. Between two
// repeats (current past the duration, only with a loop blend time) the value
// moves from the clip's last frame back to its first over the blend time, so
// that the next repeat starts without a jump.
void AnimationClip::applyChannels(float current)
{
    Animation* animation = _animation;
    const unsigned int count = std::min(animation->channelCount(), static_cast<unsigned int>(_values.size()));
    const bool blending = _loopBlendTime > 0 && current > float(_duration);
    const float blend = blending ? (current - float(_duration)) / float(_loopBlendTime) : 0.0f;
    const float firstStart = float(animation->firstStartTime());

    for (unsigned int i = 0; i < count; ++i) {
        AnimationChannel* channel = animation->channelAt(i);
        Curve* curve = channel->curve();
        ChannelValue& value = _values[i];
        if (value.componentCount() != curve->componentCount())
            continue;
        const float d = float(channel->duration());
        const float offset = float(channel->start()) - firstStart - float(_startTime);
        auto channelTime = [&](float clipTime) {
            const float t = (clipTime - offset) / d;
            return t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
        };

        if (d == 0.0f) {
            curve->evaluate(0.0f, 0.0f, 1.0f, 0.0f, value.data());
        } else if (blending) {
            ChannelValue& first = _loopValues[i];
            curve->evaluate(channelTime(float(_duration)), 0.0f, 1.0f, 0.0f, value.data());
            curve->evaluate(channelTime(0.0f), 0.0f, 1.0f, 0.0f, first.data());
            curve->blend(value.data(), first.data(), blend, value.data());
        } else {
            curve->evaluate(channelTime(current), 0.0f, 1.0f, 0.0f, value.data());
        }
        channel->target()->setAnimationPropertyValue(channel->propertyId(), value, _blendWeight);
    }
}

} // namespace engine

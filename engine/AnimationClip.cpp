#include "AnimationClip.h"

#include "Animation.h"
#include "AnimationChannel.h"
#include "AnimationController.h"
#include "AnimationTarget.h"
#include "Curve.h"
#include "NumberText.h"

#include <algorithm>
#include <cmath>
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

// "%f" semantics: text that is no number counts as 0, which means "indefinite".
float repeatCountFromText(const char* text)
{
    float value = 0.0f;
    return NumberText::parseFloat(text, &value) ? value : 0.0f;
}

} // namespace

AnimationClip::AnimationClip(const char* id, Animation* animation, unsigned int startTime, unsigned int endTime)
    : m_id(id ? id : "")
    , m_animation(animation)
    , m_startTime(startTime)
    , m_endTime(endTime)
    , m_duration(endTime - startTime)
    , m_state(0)
    , m_repeatCount(1.0f)
    , m_loopBlendTime(0)
    , m_activeDuration(m_duration)
    , m_speed(1.0f)
    , m_timeStarted(0.0)
    , m_elapsedTime(0.0)
    , m_crossFadeToClip(nullptr)
    , m_crossFadeStartTime(0.0)
    , m_crossFadeOutElapsed(0.0f)
    , m_crossFadeOutDuration(0.0f)
    , m_blendWeight(1.0f)
    , m_notifying(0)
{
    const unsigned int channelCount = animation->channelCount();
    m_values.reserve(channelCount);
    m_loopValues.reserve(channelCount);
    for (unsigned int i = 0; i < channelCount; ++i)
        addChannelValue(animation->channelAt(i)->curve()->componentCount());
}

AnimationClip::~AnimationClip() { releaseRef(m_crossFadeToClip); }

void AnimationClip::addChannelValue(unsigned int componentCount)
{
    m_values.emplace_back(componentCount);
    m_loopValues.emplace_back(componentCount);
}

void AnimationClip::removeChannelValue(unsigned int index)
{
    if (index < m_values.size()) {
        m_values.erase(m_values.begin() + index);
        m_loopValues.erase(m_loopValues.begin() + index);
    }
}

void AnimationClip::setRepeatCount(float repeatCount)
{
    if (!std::isfinite(repeatCount) || repeatCount < 0.0f)
        return;
    m_repeatCount = repeatCount;
    if (repeatCount == 0.0f) {
        m_activeDuration = toMilliseconds(double(m_duration) + m_loopBlendTime);
        return;
    }
    double active = std::floor(double(m_duration) * repeatCount);
    if (repeatCount > 1.0f && m_loopBlendTime > 0)
        active += std::floor(std::ceil(repeatCount - 1.0f) * float(m_loopBlendTime));
    m_activeDuration = toMilliseconds(active);
}

void AnimationClip::setRepeatCountText(const char* text)
{
    if (std::strcmp(text, "INDEFINITE") == 0)
        setRepeatCount(0.0f);
    else
        setRepeatCount(repeatCountFromText(text));
}

void AnimationClip::setLoopBlendTime(float loopBlendTime)
{
    m_loopBlendTime = std::isfinite(loopBlendTime) ? toMilliseconds(loopBlendTime) : 0;
    // The active duration includes the blends between repeats, so it must
    // follow the blend time whichever of the two is set first.
    setRepeatCount(m_repeatCount);
}

void AnimationClip::setSpeed(float speed)
{
    if (std::isfinite(speed))
        m_speed = speed;
}

double AnimationClip::gameTime() const
{
    AnimationController* controller = m_animation ? m_animation->controller() : nullptr;
    return controller ? controller->time() : 0.0;
}

void AnimationClip::play()
{
    AnimationController* controller = m_animation ? m_animation->controller() : nullptr;
    if (!controller)
        return;
    if (!isSet(PLAYING)) {
        set(PLAYING);
        controller->schedule(this);
        m_timeStarted = controller->time();
    } else if (isSet(PAUSED)) {
        clear(PAUSED);
    } else {
        clear(MARKED_FOR_REMOVAL);
        set(RESTARTED);
        m_timeStarted = controller->time();
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
    m_state &= PLAYING | STARTED | CROSS_FADE_OUT_STARTED | FADING_OUT | FADING_IN;
    set(MARKED_FOR_REMOVAL);
}

bool AnimationClip::isPlaying() const { return isSet(PLAYING) && !isSet(PAUSED); }

void AnimationClip::seek(float milliseconds)
{
    if (!m_animation || !std::isfinite(milliseconds))
        return;
    const float clipTime = std::min(std::max(milliseconds, 0.0f), float(m_duration));
    m_elapsedTime = clipTime;
    // Not begun yet: its first frame takes the elapsed time from when play
    // was asked for, so move that instead.
    if (isSet(PLAYING) && !isSet(STARTED) && m_speed > 0.0f)
        m_timeStarted = gameTime() - double(clipTime) / double(m_speed);
    applyChannels(clipTime);
}

void AnimationClip::crossFade(AnimationClip* clip, unsigned long duration)
{
    if (!clip || clip == this)
        return;
    if (!isSet(PLAYING) || isSet(MARKED_FOR_REMOVAL)) {
        clip->play();
        return;
    }
    if (m_crossFadeToClip != clip) {
        finishCrossFade();
        clip->addRef();
        m_crossFadeToClip = clip;
    }
    clip->play();
    clip->set(FADING_IN);
    clip->m_blendWeight = 0.0f;
    set(FADING_OUT | CROSS_FADE_OUT_STARTED);
    m_crossFadeStartTime = gameTime();
    m_crossFadeOutElapsed = 0.0f;
    m_crossFadeOutDuration = static_cast<float>(duration);
}

// Hands the fade target its full weight and lets go of it.
void AnimationClip::finishCrossFade()
{
    if (!m_crossFadeToClip)
        return;
    m_crossFadeToClip->m_blendWeight = 1.0f;
    m_crossFadeToClip->clear(FADING_IN);
    releaseRef(m_crossFadeToClip);
}

void AnimationClip::addBeginListener(Listener* listener)
{
    if (!listener)
        return;
    m_beginListeners.push_back(listener);
}

void AnimationClip::addEndListener(Listener* listener)
{
    if (!listener)
        return;
    m_endListeners.push_back(listener);
}

void AnimationClip::removeBeginListener(Listener* listener) { removeListener(m_beginListeners, listener); }

void AnimationClip::removeListener(std::vector<Listener*>& listeners, Listener* listener)
{
    auto it = std::find(listeners.begin(), listeners.end(), listener);
    if (it == listeners.end())
        return;
    // While listeners are being called the list must keep its shape; the
    // empty slot is dropped afterwards.
    if (m_notifying)
        *it = nullptr;
    else
        listeners.erase(it);
}

void AnimationClip::notify(std::vector<Listener*>& listeners, Listener::EventType type)
{
    ++m_notifying;
    for (size_t i = 0; i < listeners.size(); ++i) {
        if (Listener* listener = listeners[i])
            listener->clipEvent(this, type);
    }
    if (--m_notifying == 0)
        listeners.erase(std::remove(listeners.begin(), listeners.end(), nullptr), listeners.end());
}

void AnimationClip::begin()
{
    addRef();
    set(STARTED);
    const double sincePlay = gameTime() - m_timeStarted;
    if (m_speed >= 0.0f)
        m_elapsedTime = sincePlay * m_speed;
    else
        m_elapsedTime = m_activeDuration + sincePlay * m_speed;
    notify(m_beginListeners, Listener::BEGIN);
    release();
}

void AnimationClip::end()
{
    addRef();
    // A fade still under way ends with this clip; its target plays on alone.
    finishCrossFade();
    m_blendWeight = 1.0f;
    m_state = 0;
    notify(m_endListeners, Listener::END);
    release();
}

void AnimationClip::reset()
{
    finishCrossFade();
    m_blendWeight = 1.0f;
    m_state = 0;
}

// Position in the clip (0 .. duration + loop blend) for this frame; clears
// STARTED when the active duration is used up.
float AnimationClip::currentTime()
{
    if (m_repeatCount != 0.0f
        && ((m_speed > 0.0f && m_elapsedTime >= double(m_activeDuration))
            || (m_speed < 0.0f && m_elapsedTime <= 0.0))) {
        clear(STARTED);
        if (m_speed < 0.0f)
            return 0.0f;
        // Finish where the active duration ends: the clip's end for whole
        // repeats, part-way through it for a fractional repeat count.
        const double cycle = double(m_duration) + m_loopBlendTime;
        const double last = cycle > 0.0 ? std::fmod(double(m_activeDuration), cycle) : 0.0;
        return last > 0.0 ? static_cast<float>(last) : float(m_duration);
    }
    if (m_duration == 0)
        return 0.0f;
    const double cycle = double(m_duration) + m_loopBlendTime;
    const double position = std::fmod(m_elapsedTime, cycle);
    // Played backwards a cycle starts at its end: a clip begun at speed -1
    // shows its end pose first, not the start pose that fmod wraps to.
    if (m_speed < 0.0f && position == 0.0 && m_elapsedTime > 0.0)
        return static_cast<float>(cycle);
    return static_cast<float>(position);
}

bool AnimationClip::update(float elapsed)
{
    if (isSet(PAUSED))
        return false;
    if (isSet(MARKED_FOR_REMOVAL) || !m_animation) {
        end();
        return true;
    }

    if (!isSet(STARTED))
        begin();
    else
        m_elapsedTime += double(m_speed) * elapsed;
    if (m_repeatCount == 0.0f && m_activeDuration > 0)
        wrapIndefiniteElapsedTime();

    if (!m_animation) { // a begin listener let the animation go
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

// A clip that repeats for ever keeps its elapsed time within one cycle: a
// number that only grows loses the frame times added to it (fast after an
// hour, frozen after days in a float).
void AnimationClip::wrapIndefiniteElapsedTime()
{
    const double cycle = m_activeDuration;
    if (m_elapsedTime <= 0.0)
        m_elapsedTime = cycle + std::fmod(m_elapsedTime, cycle);
    else if (m_elapsedTime >= cycle)
        m_elapsedTime = std::fmod(m_elapsedTime, cycle);
}

void AnimationClip::updateCrossFade(float elapsed)
{
    if (!m_crossFadeToClip) {
        clear(FADING_OUT | CROSS_FADE_OUT_STARTED);
        return;
    }
    const float speed = std::fabs(m_speed);
    if (isSet(CROSS_FADE_OUT_STARTED)) {
        const double since = gameTime() - std::max(m_crossFadeToClip->m_timeStarted, m_crossFadeStartTime);
        m_crossFadeOutElapsed = static_cast<float>(std::max(0.0, since) * speed);
        clear(CROSS_FADE_OUT_STARTED);
    } else {
        m_crossFadeOutElapsed += speed * elapsed;
    }

    if (m_crossFadeOutElapsed >= m_crossFadeOutDuration) {
        clear(FADING_OUT | STARTED);
        m_blendWeight = 0.0f;
        finishCrossFade();
        return;
    }
    const float p = (m_crossFadeOutDuration - m_crossFadeOutElapsed) / m_crossFadeOutDuration;
    if (!isSet(FADING_IN)) {
        m_crossFadeToClip->m_blendWeight = 1.0f - p;
        m_blendWeight = p;
    } else {
        // Still fading in itself: hand over part of what it has so far.
        m_crossFadeToClip->m_blendWeight = (1.0f - p) * m_blendWeight;
        m_blendWeight -= m_crossFadeToClip->m_blendWeight;
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
    Animation* animation = m_animation;
    const unsigned int count = std::min(animation->channelCount(), static_cast<unsigned int>(m_values.size()));
    const bool blending = m_loopBlendTime > 0 && current > float(m_duration);
    const float blend = blending ? (current - float(m_duration)) / float(m_loopBlendTime) : 0.0f;
    const float firstStart = float(animation->firstStartTime());

    for (unsigned int i = 0; i < count; ++i) {
        AnimationChannel* channel = animation->channelAt(i);
        Curve* curve = channel->curve();
        ChannelValue& value = m_values[i];
        if (value.componentCount() != curve->componentCount())
            continue;
        const float d = float(channel->duration());
        const float offset = float(channel->start()) - firstStart - float(m_startTime);
        auto channelTime = [&](float clipTime) {
            const float t = (clipTime - offset) / d;
            return t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
        };

        if (d == 0.0f) {
            curve->evaluate(0.0f, 0.0f, 1.0f, 0.0f, value.data());
        } else if (blending) {
            ChannelValue& first = m_loopValues[i];
            curve->evaluate(channelTime(float(m_duration)), 0.0f, 1.0f, 0.0f, value.data());
            curve->evaluate(channelTime(0.0f), 0.0f, 1.0f, 0.0f, first.data());
            curve->blend(value.data(), first.data(), blend, value.data());
        } else {
            curve->evaluate(channelTime(current), 0.0f, 1.0f, 0.0f, value.data());
        }
        channel->target()->setAnimationPropertyValue(channel->propertyId(), value, m_blendWeight);
    }
}

} // namespace engine

#include "Animation.h"

#include "AnimationChannel.h"
#include "AnimationClip.h"
#include "AnimationController.h"
#include "AnimationTarget.h"
#include "Curve.h"
#include "Properties.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace engine {

namespace {

// Key times at or beyond this mark an unset first key in key data without
// tangents; such a channel starts at 0.
const unsigned int kUnsetFirstKeyTime = 1000000000u;

// Frame 'frame' of 'frameCount' frames spread over 'endTime' ms. Frames
// outside 0..frameCount are clamped, so no definition can reach past the
// animation or overflow.
unsigned int frameToTime(int frame, unsigned int frameCount, unsigned int endTime)
{
    if (frame < 0)
        frame = 0;
    if (static_cast<unsigned int>(frame) > frameCount)
        frame = static_cast<int>(frameCount);
    const float time = static_cast<float>(frame) / static_cast<float>(frameCount) * static_cast<float>(endTime);
    return static_cast<unsigned int>(std::min(time, static_cast<float>(endTime)));
}

} // namespace

Animation* Animation::create(const char* id) { return new Animation(id); }

Animation::Animation(const char* id)
    : m_controller(AnimationController::current())
    , m_id(id ? id : "")
    , m_endTime(0)
    , m_firstStartTime(0)
    , m_defaultClip(nullptr)
{
}

Animation::~Animation()
{
    // Channels hold references on the animation, so none is left here.
    if (m_defaultClip)
        releaseClip(m_defaultClip);
    for (AnimationClip* clip : m_clips)
        releaseClip(clip);
}

AnimationController* Animation::controller() const
{
    if (!m_controller)
        m_controller = AnimationController::current();
    return m_controller;
}

// Stops a clip that may still be running and lets it go. Whoever else holds
// the clip keeps a harmless object that no longer plays.
void Animation::releaseClip(AnimationClip* clip)
{
    if (m_controller && clip->isSet(AnimationClip::PLAYING))
        m_controller->unschedule(clip);
    clip->reset();
    clip->detachAnimation();
    clip->release();
}

AnimationChannel* Animation::channelAt(unsigned int index) const
{
    return index < m_channels.size() ? m_channels[index] : nullptr;
}

AnimationChannel* Animation::addChannel(AnimationTarget* target, int propertyId, unsigned int keyCount,
                                        const unsigned int* keyTimes, const float* keyValues, int type)
{
    return createChannel(target, propertyId, keyCount, keyTimes, keyValues, nullptr, nullptr, type, false);
}

AnimationChannel* Animation::addChannel(AnimationTarget* target, int propertyId, unsigned int keyCount,
                                        const unsigned int* keyTimes, const float* keyValues, const float* keyInValue,
                                        const float* keyOutValue, int type)
{
    return createChannel(target, propertyId, keyCount, keyTimes, keyValues, keyInValue, keyOutValue, type, true);
}

// A channel is only made for a property the target has: a component count
// of -1 (or 0) means nothing to animate, and the keys are refused.
namespace {

bool timesRunForward(const unsigned int* keyTimes, unsigned int keyCount, unsigned int start)
{
    for (unsigned int i = 1; i < keyCount; ++i) {
        if (keyTimes[i] < start || (i > 1 && keyTimes[i] < keyTimes[i - 1]))
            return false;
    }
    return true;
}

} // namespace

bool Animation::keyTimesInOrder(const unsigned int* keyTimes, unsigned int keyCount)
{
    return keyCount == 0 || timesRunForward(keyTimes, keyCount, keyTimes[0] >= kUnsetFirstKeyTime ? 0 : keyTimes[0]);
}

AnimationChannel* Animation::createChannel(AnimationTarget* target, int propertyId, unsigned int keyCount,
                                           const unsigned int* keyTimes, const float* keyValues,
                                           const float* keyInValue, const float* keyOutValue, int type,
                                           bool withTangents)
{
    if (!target || keyCount == 0 || !keyTimes || !keyValues)
        return nullptr;
    if (withTangents && (!keyInValue || !keyOutValue))
        return nullptr;
    const int components = target->animationPropertyComponentCount(propertyId);
    if (components <= 0)
        return nullptr;

    unsigned int start = keyTimes[0];
    if (!withTangents && start >= kUnsetFirstKeyTime)
        start = 0;
    // Times that run backwards would give a negative duration.
    if (!timesRunForward(keyTimes, keyCount, start))
        return nullptr;
    const unsigned int duration = keyTimes[keyCount - 1] - start;

    Curve* curve = Curve::create(keyCount, static_cast<unsigned int>(components));
    if (target->targetType() == AnimationTarget::TRANSFORM) {
        unsigned int quaternionOffset = 0;
        if (propertyId == ANIMATE_ROTATE || propertyId == ANIMATE_ROTATE_TRANSLATE) {
            curve->setQuaternionOffset(&quaternionOffset);
        } else if (propertyId == ANIMATE_SCALE_ROTATE_TRANSLATE || propertyId == ANIMATE_SCALE_ROTATE) {
            quaternionOffset = 3;
            curve->setQuaternionOffset(&quaternionOffset);
        }
    }

    const size_t stride = static_cast<size_t>(components);
    for (unsigned int i = 0; i < keyCount; ++i) {
        float time = 0.0f;
        if (i == keyCount - 1 && keyCount > 1)
            time = 1.0f;
        else if (i > 0 && duration > 0)
            time = static_cast<float>(keyTimes[i] - start) / static_cast<float>(duration);
        const size_t at = stride * i;
        if (withTangents)
            curve->setPoint(i, time, keyValues + at, type, keyInValue + at, keyOutValue + at);
        else
            curve->setPoint(i, time, keyValues + at, type);
    }

    AnimationChannel* channel = new AnimationChannel(this, target, propertyId, curve, start, duration);
    curve->release();
    addChannel(channel);
    return channel;
}

void Animation::addChannel(AnimationChannel* channel)
{
    const unsigned int start = channel->start();
    const unsigned int end = start + channel->duration();
    if (m_channels.empty() || start < m_firstStartTime)
        m_firstStartTime = start;
    if (end > m_endTime)
        m_endTime = end;
    m_channels.push_back(channel);
    channel->target()->addChannel(channel);

    const unsigned int components = channel->curve()->componentCount();
    if (m_defaultClip)
        m_defaultClip->addChannelValue(components);
    for (AnimationClip* clip : m_clips)
        clip->addChannelValue(components);
}

// Called by a target that goes away. The time line is left as it was, so
// clips defined on it keep their meaning.
void Animation::removeChannel(AnimationChannel* channel)
{
    auto it = std::find(m_channels.begin(), m_channels.end(), channel);
    if (it == m_channels.end())
        return;
    const unsigned int index = static_cast<unsigned int>(it - m_channels.begin());
    m_channels.erase(it);
    if (m_defaultClip)
        m_defaultClip->removeChannelValue(index);
    for (AnimationClip* clip : m_clips)
        clip->removeChannelValue(index);
}

AnimationClip* Animation::findClip(const char* id)
{
    if (!id) {
        if (!m_defaultClip)
            m_defaultClip = new AnimationClip("default_clip", this, 0, m_endTime);
        return m_defaultClip;
    }
    for (AnimationClip* clip : m_clips) {
        if (std::strcmp(clip->id(), id) == 0)
            return clip;
    }
    return nullptr;
}

AnimationClip* Animation::clipAt(unsigned int index) const
{
    if (index >= m_clips.size())
        return nullptr;
    return m_clips[index];
}

unsigned int Animation::clipCount() const { return static_cast<unsigned int>(m_clips.size()); }

AnimationClip* Animation::createClip(const char* id, unsigned int start, unsigned int end)
{
    if (end < start)
        return nullptr;
    AnimationClip* clip = new AnimationClip(id, this, start, end);
    m_clips.push_back(clip);
    return clip;
}

void Animation::defineClips(Properties* animationProperties, unsigned int frameCount)
{
    if (!animationProperties || frameCount == 0)
        return;
    for (size_t i = 0; i < animationProperties->namespaceCount(); ++i) {
        Properties* clipProperties = animationProperties->namespaceAt(i);
        if (std::strcmp(clipProperties->getNamespace(), "clip") != 0)
            break;
        defineClip(clipProperties, frameCount);
    }
}

// A definition whose end frame lies before its begin frame defines nothing.
void Animation::defineClip(Properties* clipProperties, unsigned int frameCount)
{
    const int beginFrame = clipProperties->getInt("begin");
    const int endFrame = clipProperties->getInt("end");
    const unsigned int start = frameToTime(beginFrame, frameCount, m_endTime);
    const unsigned int end = frameToTime(endFrame, frameCount, m_endTime);
    AnimationClip* clip = createClip(clipProperties->getId(), start, end);
    if (!clip)
        return;
    if (const char* repeat = clipProperties->getString("repeatCount"))
        clip->setRepeatCountText(repeat);
    if (clipProperties->exists("speed"))
        clip->setSpeed(clipProperties->getFloat("speed"));
    // Set after the repeat count; the active duration follows either way.
    clip->setLoopBlendTime(clipProperties->exists("loopBlendTime") ? clipProperties->getFloat("loopBlendTime") : 0.0f);
}

bool Animation::defineClips(const char* url)
{
    std::unique_ptr<Properties> top(Properties::create(url));
    if (!top)
        return false;

    // The file holds one namespace per animation, matched by id. A file with
    // several of them is read into an unnamed top namespace; a single one is
    // the top itself. A named top that does not match is searched one level
    // down too, so that a wrapping namespace works as well.
    Properties* match = nullptr;
    if (top->getNamespace()[0] != '\0' && m_id == top->getId())
        match = top.get();
    for (size_t i = 0; !match && i < top->namespaceCount(); ++i) {
        Properties* candidate = top->namespaceAt(i);
        if (m_id == candidate->getId())
            match = candidate;
    }
    if (!match)
        return false;
    const int frameCount = match->getInt("frameCount");
    if (frameCount > 0)
        defineClips(match, static_cast<unsigned int>(frameCount));
    return true;
}

Animation* Animation::clone(AnimationChannel* channel, AnimationTarget* target) const
{
    Animation* copy = new Animation(m_id.c_str());
    copy->m_controller = m_controller;
    if (channel && target)
        copy->addClonedChannel(channel, target);
    // The clone plays over the same time line as the original.
    copy->m_endTime = std::max(copy->m_endTime, m_endTime);
    for (const AnimationClip* clip : m_clips) {
        AnimationClip* clipCopy = copy->createClip(clip->id(), clip->startTime(), clip->endTime());
        clipCopy->setSpeed(clip->speed());
        clipCopy->setLoopBlendTime(static_cast<float>(clip->loopBlendTime()));
        clipCopy->setRepeatCount(clip->repeatCount());
    }
    return copy;
}

AnimationChannel* Animation::addClonedChannel(const AnimationChannel* source, AnimationTarget* target)
{
    AnimationChannel* channel = new AnimationChannel(this, target, source->propertyId(), source->curve(),
                                                     source->start(), source->duration());
    addChannel(channel);
    return channel;
}

} // namespace engine

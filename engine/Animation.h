#pragma once

#include "Ref.h"

#include <string>
#include <vector>

namespace engine {

class AnimationChannel;
class AnimationClip;
class AnimationController;
class AnimationTarget;
class Properties;

// A set of channels sharing one time line, and the clips (time ranges) that
// play it. Every channel holds a reference on its animation, so an animation
// lives as long as any target it drives (or any other holder).
class Animation : public Ref {
public:
    // An animation without channels, bound to the current controller.
    static Animation* create(const char* id);

    const char* id() const { return m_id.c_str(); }
    // Largest channel start + duration: the length of the default clip.
    unsigned int endTime() const { return m_endTime; }
    // Smallest channel start.
    unsigned int firstStartTime() const { return m_firstStartTime; }
    // The controller current when the animation was made; an animation made
    // before any controller was registered binds to the one current now.
    // The controller must outlive the animations bound to it.
    AnimationController* controller() const;

    // Adds a channel driving 'propertyId' of 'target' through the keys (times
    // in ms, ascending; values keyCount x the property's component count).
    // Null, and nothing added, when the keys are unusable or the target has no
    // such property.
    AnimationChannel* addChannel(AnimationTarget* target, int propertyId, unsigned int keyCount,
                                 const unsigned int* keyTimes, const float* keyValues, int type);
    AnimationChannel* addChannel(AnimationTarget* target, int propertyId, unsigned int keyCount,
                                 const unsigned int* keyTimes, const float* keyValues, const float* keyInValue,
                                 const float* keyOutValue, int type);
    unsigned int channelCount() const { return static_cast<unsigned int>(m_channels.size()); }
    // Whether the key times of a channel without tangents make a time line:
    // none before the first (a first time of 1 000 000 000 ms or more counts
    // as 0) and none before the one it follows.
    static bool keyTimesInOrder(const unsigned int* keyTimes, unsigned int keyCount);
    AnimationChannel* channelAt(unsigned int index) const;

    // Null id: the default clip ("default_clip", the whole animation), made on
    // first use. Otherwise the first clip with exactly that id, or null.
    AnimationClip* findClip(const char* id = nullptr);
    // Null for an index past the last clip.
    AnimationClip* clipAt(unsigned int index) const;
    unsigned int clipCount() const;
    // A clip from 'start' to 'end' ms of this animation's time line; null when
    // end < start.
    AnimationClip* createClip(const char* id, unsigned int start, unsigned int end);

    // Clips from the "clip" namespaces nested in 'animationProperties', their
    // frames measured against 'frameCount' frames over the whole animation.
    void defineClips(Properties* animationProperties, unsigned int frameCount);
    // Clip definitions from a properties file such as "model.animation": the
    // namespace whose id is this animation's id, when it has a positive
    // "frameCount". Returns whether such a namespace was found. A missing or
    // malformed file defines nothing.
    bool defineClips(const char* url);

    // A copy for a cloned target: same id, clip definitions and the given
    // channel re-targeted. The caller owns the returned reference.
    Animation* clone(AnimationChannel* channel, AnimationTarget* target) const;

private:
    friend class AnimationTarget;

    explicit Animation(const char* id);
    ~Animation() override;
    Animation(const Animation&) = delete;
    Animation& operator=(const Animation&) = delete;

    AnimationChannel* createChannel(AnimationTarget* target, int propertyId, unsigned int keyCount,
                                    const unsigned int* keyTimes, const float* keyValues, const float* keyInValue,
                                    const float* keyOutValue, int type, bool withTangents);
    void addChannel(AnimationChannel* channel);
    AnimationChannel* addClonedChannel(const AnimationChannel* source, AnimationTarget* target);
    void removeChannel(AnimationChannel* channel);
    void defineClip(Properties* clipProperties, unsigned int frameCount);
    void releaseClip(AnimationClip* clip);

    mutable AnimationController* m_controller;
    std::string m_id;
    unsigned int m_endTime;
    unsigned int m_firstStartTime;
    std::vector<AnimationChannel*> m_channels;
    AnimationClip* m_defaultClip;
    std::vector<AnimationClip*> m_clips;
};

} // namespace engine

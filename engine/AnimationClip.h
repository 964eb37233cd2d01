#pragma once

#include "ChannelValue.h"
#include "Ref.h"

#include <string>
#include <vector>

namespace engine {

class Animation;
class AnimationController;

// A time range of an animation that can be played, paused, stopped,
// repeated, sped up (or reversed), looped with a blend back to its start and
// cross-faded into another clip. The animation controller advances it once
// per frame.
class AnimationClip : public Ref {
public:
    class Listener {
    public:
        enum EventType { BEGIN = 0, END = 1 };
        virtual ~Listener() = default;
        virtual void clipEvent(AnimationClip* clip, EventType type) = 0;
    };

    const char* id() const { return m_id.c_str(); }
    // Null once the animation is gone.
    Animation* animation() const { return m_animation; }
    unsigned int startTime() const { return m_startTime; }
    unsigned int endTime() const { return m_endTime; }
    unsigned int duration() const { return m_duration; }
    // Time the clip runs before finishing, repeats and loop blends included.
    unsigned int activeDuration() const { return m_activeDuration; }

    // 0 repeats indefinitely. Negative or non-finite counts are ignored.
    void setRepeatCount(float repeatCount);
    // The text form of scene and clip files: "INDEFINITE" or a number.
    void setRepeatCountText(const char* text);
    float repeatCount() const { return m_repeatCount; }
    // Time spent blending from the clip's end back to its start between two
    // repeats; a negative time counts as 0.
    void setLoopBlendTime(float loopBlendTime);
    unsigned int loopBlendTime() const { return m_loopBlendTime; }
    // Negative plays backwards; non-finite speeds are ignored.
    void setSpeed(float speed);
    float speed() const { return m_speed; }
    float blendWeight() const { return m_blendWeight; }
    // Milliseconds into the active duration.
    float elapsedTime() const { return static_cast<float>(m_elapsedTime); }

    void play();
    void pause();
    void stop();
    // Playing and not paused.
    bool isPlaying() const;
    // Moves to `milliseconds` into the clip (held within 0 .. duration) and
    // poses the targets there at once, whether the clip plays, is paused or
    // stands; a playing clip goes on from there.
    void seek(float milliseconds);
    // Fades this clip out and 'clip' in over 'duration' ms, starting 'clip'
    // (from its beginning). A clip that is not playing simply starts 'clip'.
    void crossFade(AnimationClip* clip, unsigned long duration);

    // Listeners are not owned; remove one before it is destroyed.
    void addBeginListener(Listener* listener);
    void addEndListener(Listener* listener);
    void removeBeginListener(Listener* listener);

private:
    friend class Animation;
    friend class AnimationController;

    enum StateBits : unsigned char {
        PLAYING = 1,
        STARTED = 2,
        CROSS_FADE_OUT_STARTED = 4,
        FADING_OUT = 8,
        FADING_IN = 16,
        MARKED_FOR_REMOVAL = 32,
        RESTARTED = 64,
        PAUSED = 128
    };

    AnimationClip(const char* id, Animation* animation, unsigned int startTime, unsigned int endTime);
    ~AnimationClip() override;
    AnimationClip(const AnimationClip&) = delete;
    AnimationClip& operator=(const AnimationClip&) = delete;

    bool isSet(unsigned char bits) const { return (m_state & bits) != 0; }
    void set(unsigned char bits) { m_state |= bits; }
    void clear(unsigned char bits) { m_state &= static_cast<unsigned char>(~bits); }

    // Per frame, from the controller; true when the clip has finished.
    bool update(float elapsed);
    void begin();
    void end();
    // Drops every state bit without notifying anyone (controller shut-down).
    void reset();
    double gameTime() const;
    float currentTime();
    void updateCrossFade(float elapsed);
    void wrapIndefiniteElapsedTime();
    void finishCrossFade();
    void applyChannels(float currentTime);
    void notify(std::vector<Listener*>& listeners, Listener::EventType type);
    void removeListener(std::vector<Listener*>& listeners, Listener* listener);

    // Kept in step with the animation's channels.
    void addChannelValue(unsigned int componentCount);
    void removeChannelValue(unsigned int index);
    void detachAnimation() { m_animation = nullptr; }

    std::string m_id;
    Animation* m_animation;
    unsigned int m_startTime;
    unsigned int m_endTime;
    unsigned int m_duration;
    unsigned char m_state;
    float m_repeatCount;
    unsigned int m_loopBlendTime;
    unsigned int m_activeDuration;
    float m_speed;
    double m_timeStarted;
    double m_elapsedTime;
    AnimationClip* m_crossFadeToClip;
    double m_crossFadeStartTime;
    float m_crossFadeOutElapsed;
    float m_crossFadeOutDuration;
    float m_blendWeight;
    std::vector<ChannelValue> m_values;
    // Second value per channel for the loop blend (clip start).
    std::vector<ChannelValue> m_loopValues;
    std::vector<Listener*> m_beginListeners;
    std::vector<Listener*> m_endListeners;
    int m_notifying;
};

} // namespace engine

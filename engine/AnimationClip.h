#ifndef ENGINE_ANIMATIONCLIP_H
#define ENGINE_ANIMATIONCLIP_H

#include "engine/ChannelValue.h"
#include "engine/Ref.h"

#include <string>
#include <vector>

namespace engine {

class Animation;
class AnimationController;

// A time range of an animation that can be played, paused, stopped,
// repeated, sped up (or reversed), looped with a blend back to its start and
// cross-faded into another clip. The animation controller advances it once
// per frame.
class AnimationClip : public Ref
{
public:
    class Listener
    {
    public:
        enum EventType
        {
            BEGIN = 0,
            END = 1
        };
        virtual ~Listener() = default;
        virtual void clipEvent(AnimationClip* clip, EventType type) = 0;
    };

    const char* id() const { return _id.c_str(); }
    // Null once the animation is gone.
    Animation* animation() const { return _animation; }
    unsigned int startTime() const { return _startTime; }
    unsigned int endTime() const { return _endTime; }
    unsigned int duration() const { return _duration; }
    // Time the clip runs before finishing, repeats and loop blends included.
    unsigned int activeDuration() const { return _activeDuration; }

    // 0 repeats indefinitely. Negative or non-finite counts are ignored.
    void setRepeatCount(float repeatCount);
    // The text form of scene and clip files: "INDEFINITE" or a number.
    void setRepeatCountText(const char* text);
    float repeatCount() const { return _repeatCount; }
    // Time spent blending from the clip's end back to its start between two
    // repeats; a negative time counts as 0.
    void setLoopBlendTime(float loopBlendTime);
    unsigned int loopBlendTime() const { return _loopBlendTime; }
    // Negative plays backwards; non-finite speeds are ignored.
    void setSpeed(float speed);
    float speed() const { return _speed; }
    float blendWeight() const { return _blendWeight; }
    // Milliseconds into the active duration.
    float elapsedTime() const { return _elapsedTime; }

    void play();
    void pause();
    void stop();
    // Playing and not paused.
    bool isPlaying() const;
    // Fades this clip out and 'clip' in over 'duration' ms, starting 'clip'
    // (from its beginning). A clip that is not playing simply starts 'clip'.
    void crossFade(AnimationClip* clip, unsigned long duration);

    // Listeners are not owned; remove one before it is destroyed.
    void addBeginListener(Listener* listener);
    void addEndListener(Listener* listener);
    void removeBeginListener(Listener* listener);
    void removeEndListener(Listener* listener);

private:
    friend class Animation;
    friend class AnimationController;

    enum StateBits : unsigned char
    {
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

    bool isSet(unsigned char bits) const { return (_state & bits) != 0; }
    void set(unsigned char bits) { _state |= bits; }
    void clear(unsigned char bits) { _state &= static_cast<unsigned char>(~bits); }

    // Per frame, from the controller; true when the clip has finished.
    bool update(float elapsed);
    void begin();
    void end();
    // Drops every state bit without notifying anyone (controller shut-down).
    void reset();
    double gameTime() const;
    float currentTime();
    void updateCrossFade(float elapsed);
    void finishCrossFade();
    void applyChannels(float currentTime);
    void notify(std::vector<Listener*>& listeners, Listener::EventType type);
    void removeListener(std::vector<Listener*>& listeners, Listener* listener);

    // Kept in step with the animation's channels.
    void addChannelValue(unsigned int componentCount);
    void removeChannelValue(unsigned int index);
    void detachAnimation() { _animation = nullptr; }

    std::string _id;
    Animation* _animation;
    unsigned int _startTime;
    unsigned int _endTime;
    unsigned int _duration;
    unsigned char _state;
    float _repeatCount;
    unsigned int _loopBlendTime;
    unsigned int _activeDuration;
    float _speed;
    double _timeStarted;
    float _elapsedTime;
    AnimationClip* _crossFadeToClip;
    double _crossFadeStartTime;
    float _crossFadeOutElapsed;
    float _crossFadeOutDuration;
    float _blendWeight;
    std::vector<ChannelValue> _values;
    // Second value per channel for the loop blend (clip start).
    std::vector<ChannelValue> _loopValues;
    std::vector<Listener*> _beginListeners;
    std::vector<Listener*> _endListeners;
    int _notifying;
};

} // namespace engine

#endif

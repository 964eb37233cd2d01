#pragma once

#include <cstddef>
#include <vector>

namespace engine {

class AnimationClip;

// Runs every playing clip once per frame. The game creates one, registers it
// as the current controller (new animations bind to it), starts it and feeds
// it the elapsed milliseconds of each frame; tests may do the same directly.
//
// The controller keeps the game time the clips see: the sum of the elapsed
// times it was given. Clip start times and the first frame of a clip are
// measured on that clock, so a clip runs identically however the frames are
// driven, and time in which the controller is not updated does not count.
class AnimationController {
public:
    enum State { RUNNING = 0, IDLE = 1, PAUSED = 2, STOPPED = 3 };

    AnimationController();
    ~AnimationController();

    // The controller new animations bind to; null when none is registered.
    static AnimationController* current();
    static void setCurrent(AnimationController* controller);

    State state() const { return m_state; }
    // Ready to run clips (idle until one is scheduled).
    void start();
    // Releases every clip (they stop without end events) and stays stopped.
    void stop();
    void pause();
    void resume();

    // One frame: advances the game time and every running clip. Never
    // allocates once the running clips have begun.
    void update(float elapsed);
    // Game time in milliseconds.
    double time() const { return m_time; }

    // Takes a reference on the clip; an empty controller starts running.
    void schedule(AnimationClip* clip);
    // Removes and releases the clip; an empty controller becomes idle.
    void unschedule(AnimationClip* clip);
    unsigned int runningClipCount() const;

private:
    AnimationController(const AnimationController&) = delete;
    AnimationController& operator=(const AnimationController&) = delete;

    bool holds(size_t i, const AnimationClip* clip) const;
    void removeFinishedSlots();

    State m_state;
    double m_time;
    // Slots of clips that leave during a frame are nulled and compacted at
    // its end, so listeners may play, stop or release clips mid-frame.
    std::vector<AnimationClip*> m_runningClips;
    bool m_updating;
};

} // namespace engine

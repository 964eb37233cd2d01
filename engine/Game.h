#pragma once

#include "math/Vector4.h"

#include <cstdint>
#include <memory>
#include <queue>
#include <vector>

namespace engine {

class AnimationController;
class Platform;

// The engine's application: starts and stops the engine's systems, keeps the
// viewport and clear values, measures time, fires timed
// events and calls the subclass's update and render once per frame. One game
// exists at a time; the platform layer calls run() once a context is current
// and frame() from its paint callback.
class Game {
public:
    enum State { UNINITIALIZED = 0, RUNNING = 1, PAUSED = 2 };
    enum ClearFlags {
        CLEAR_COLOR = 0x4000,
        CLEAR_DEPTH = 0x100,
        CLEAR_STENCIL = 0x400,
        CLEAR_COLOR_DEPTH = CLEAR_COLOR | CLEAR_DEPTH,
        CLEAR_COLOR_DEPTH_STENCIL = CLEAR_COLOR | CLEAR_DEPTH | CLEAR_STENCIL
    };

    // Told when a scheduled time has come; lateness in milliseconds.
    class TimeListener {
    public:
        virtual ~TimeListener() = default;
        virtual void timeEvent(long lateness, void* cookie) = 0;
    };

    Game();
    virtual ~Game();
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    // Milliseconds since the engine clock was (re)started.
    static double getAbsoluteTime();
    static void resetAbsoluteTime();

    // 0 on success, -1 when already running, -2 when the engine cannot start
    // (no OpenGL context).
    int run();
    // One frame; must not be re-entered.
    void frame();
    // Calls finalize and stops the engine's systems; the subclass's
    // destructor should call it while the context is still current.
    void shutdown();
    void pause();
    void resume();

    unsigned int getWidth() const { return m_width; }
    unsigned int getHeight() const { return m_height; }

    void setViewport(float x, float y, float width, float height);

    // Sets the OpenGL clear values only when they changed since last time.
    void clear(int flags, const Vector4& color, float depth, int stencil);

    AnimationController* getAnimationController() const { return m_animationController.get(); }

    // Calls the listener 'timeOffset' milliseconds from now (game frames fire it).
    void schedule(double timeOffset, TimeListener* listener, void* cookie = nullptr);

    Platform* getPlatform() const { return m_platform; }
    void setPlatform(Platform* platform) { m_platform = platform; }

    virtual void keyEvent(int event, int key);
    virtual void touchEvent(int event, int x, int y, unsigned int contactIndex);
    virtual void resizeEvent(unsigned int width, unsigned int height);

protected:
    // Before the first frame.
    virtual void initialize();
    virtual void finalize();
    // Elapsed milliseconds since the previous frame (0 while paused).
    virtual void update(float elapsedTime);
    virtual void render(float elapsedTime);

private:
    struct TimeEvent {
        double time;
        uint64_t order; // keeps events due at the same time in scheduling order
        TimeListener* listener;
        void* cookie;
        bool operator>(const TimeEvent& other) const
        {
            return time != other.time ? time > other.time : order > other.order;
        }
    };

    bool startup();
    void fireTimeEvents(double now);

    State m_state = UNINITIALIZED;
    bool m_initialized = false;
    double m_lastFrameTime = 0;
    unsigned int m_width = 0;
    unsigned int m_height = 0;
    std::unique_ptr<AnimationController> m_animationController;
    std::priority_queue<TimeEvent, std::vector<TimeEvent>, std::greater<TimeEvent>> m_timeEvents;
    uint64_t m_timeEventCount = 0;
    Platform* m_platform = nullptr;
};

} // namespace engine

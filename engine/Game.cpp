#include "Game.h"

#include "AnimationController.h"
#include "FrameBuffer.h"
#include "Platform.h"
#include "RenderState.h"
#include "StateBlock.h"

#include <GL/glew.h>

#include <chrono>

namespace engine {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point& clockStart()
{
    static Clock::time_point start = Clock::now();
    return start;
}

} // namespace

Game::Game() = default;

Game::~Game() = default;

double Game::getAbsoluteTime()
{
    return std::chrono::duration<double, std::milli>(Clock::now() - clockStart()).count();
}

void Game::resetAbsoluteTime() { clockStart() = Clock::now(); }

int Game::run()
{
    if (m_state != UNINITIALIZED)
        return -1;
    m_width = m_platform ? m_platform->getDisplayWidth() : 0;
    m_height = m_platform ? m_platform->getDisplayHeight() : 0;
    if (!startup()) {
        shutdown();
        return -2;
    }
    return 0;
}

bool Game::startup()
{
    // Needs a window to size the viewport by and a current context whose
    // entry points GLEW has loaded.
    if (!m_platform || !glGenFramebuffers)
        return false;
    setViewport(0, 0, float(m_width), float(m_height));
    RenderState::initialize();
    FrameBuffer::initialize();
    m_animationController = std::make_unique<AnimationController>();
    AnimationController::setCurrent(m_animationController.get());
    m_animationController->start();
    m_lastFrameTime = getAbsoluteTime();
    m_state = RUNNING;
    return true;
}

void Game::shutdown()
{
    if (m_initialized)
        finalize();
    m_initialized = false;
    if (m_animationController) {
        m_animationController->stop();
        if (AnimationController::current() == m_animationController.get())
            AnimationController::setCurrent(nullptr);
        m_animationController.reset();
    }
    if (m_state != UNINITIALIZED) {
        FrameBuffer::finalize();
        RenderState::finalize();
    }
    m_state = UNINITIALIZED;
}

void Game::pause()
{
    if (m_state == RUNNING) {
        m_state = PAUSED;
        m_animationController->pause();
    }
}

void Game::resume()
{
    if (m_state == PAUSED) {
        m_state = RUNNING;
        m_animationController->resume();
        // The pause does not count as elapsed time.
        m_lastFrameTime = getAbsoluteTime();
    }
}

void Game::frame()
{
    if (m_state == UNINITIALIZED)
        return;
    if (!m_initialized) {
        initialize();
        m_initialized = true;
    }
    FrameBuffer::adoptBoundAsDefault();
    const double now = getAbsoluteTime();
    fireTimeEvents(now);
    if (m_state == RUNNING) {
        const float elapsed = float(now - m_lastFrameTime);
        m_lastFrameTime = now;
        m_animationController->update(elapsed);
        update(elapsed);
        render(elapsed);
    } else if (m_state == PAUSED) {
        update(0);
        render(0);
    }
}

void Game::fireTimeEvents(double now)
{
    while (!m_timeEvents.empty() && m_timeEvents.top().time <= now) {
        // Off the queue before the call: the listener may schedule again.
        const TimeEvent event = m_timeEvents.top();
        m_timeEvents.pop();
        event.listener->timeEvent(long(now - event.time), event.cookie);
    }
}

void Game::schedule(double timeOffset, TimeListener* listener, void* cookie)
{
    if (listener)
        m_timeEvents.push({getAbsoluteTime() + timeOffset, m_timeEventCount++, listener, cookie});
}

void Game::setViewport(float x, float y, float width, float height)
{
    glViewport(GLint(x), GLint(y), GLsizei(width), GLsizei(height));
}

// The clear values are set on every call: other GL code sharing the context
// (Qt, the thumbnail pass) sets its own and does not restore ours.
void Game::clear(int flags, const Vector4& color, float depth, int stencil)
{
    GLbitfield bits = 0;
    if (flags & CLEAR_COLOR) {
        glClearColor(color.x, color.y, color.z, color.w);
        bits |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & CLEAR_DEPTH) {
        glClearDepth(depth);
        // Whatever the last pass left, the depth buffer must be writable to clear.
        StateBlock::enableDepthWrite();
        bits |= GL_DEPTH_BUFFER_BIT;
    }
    if (flags & CLEAR_STENCIL) {
        glClearStencil(stencil);
        bits |= GL_STENCIL_BUFFER_BIT;
    }
    glClear(bits);
}

void Game::keyEvent(int, int) { }
void Game::touchEvent(int, int, int, unsigned int) { }
void Game::resizeEvent(unsigned int, unsigned int) { }
void Game::initialize() { }
void Game::finalize() { }
void Game::update(float) { }
void Game::render(float) { }

} // namespace engine

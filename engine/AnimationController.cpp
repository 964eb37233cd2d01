#include "AnimationController.h"

#include "AnimationClip.h"
#include "Transform.h"

#include <algorithm>
#include <cmath>

namespace engine {

namespace {
AnimationController* s_currentController = nullptr;
}

AnimationController::AnimationController()
    : m_state(STOPPED)
    , m_time(0.0)
    , m_updating(false)
{
    // Room for a typical scene's clips, so playing one rarely allocates.
    m_runningClips.reserve(32);
}

AnimationController::~AnimationController()
{
    stop();
    if (s_currentController == this)
        s_currentController = nullptr;
}

AnimationController* AnimationController::current() { return s_currentController; }

void AnimationController::setCurrent(AnimationController* controller) { s_currentController = controller; }

void AnimationController::start()
{
    if (m_state == STOPPED)
        m_state = m_runningClips.empty() ? IDLE : RUNNING;
}

void AnimationController::stop()
{
    // Listeners are not told: this is shut-down, and whoever listens may be
    // gone already. The clips are left idle, so they can be played again.
    std::vector<AnimationClip*> clips;
    clips.swap(m_runningClips);
    m_runningClips.reserve(32);
    for (AnimationClip* clip : clips) {
        if (clip) {
            clip->reset();
            clip->release();
        }
    }
    m_state = STOPPED;
}

void AnimationController::pause()
{
    if (m_state == RUNNING || m_state == IDLE)
        m_state = PAUSED;
}

void AnimationController::resume()
{
    if (m_state == PAUSED)
        m_state = m_runningClips.empty() ? IDLE : RUNNING;
}

void AnimationController::schedule(AnimationClip* clip)
{
    if (!clip)
        return;
    if (runningClipCount() == 0 && m_state != PAUSED)
        m_state = RUNNING;
    clip->addRef();
    m_runningClips.push_back(clip);
}

void AnimationController::unschedule(AnimationClip* clip)
{
    auto it = std::find(m_runningClips.begin(), m_runningClips.end(), clip);
    if (!clip || it == m_runningClips.end())
        return;
    if (m_updating)
        *it = nullptr;
    else
        m_runningClips.erase(it);
    // Out of the running list it must not believe it still plays.
    clip->reset();
    clip->release();
    if (runningClipCount() == 0 && m_state == RUNNING)
        m_state = IDLE;
}

unsigned int AnimationController::runningClipCount() const
{
    return static_cast<unsigned int>(m_runningClips.size()
                                     - std::count(m_runningClips.begin(), m_runningClips.end(), nullptr));
}

// Whether slot i still holds the clip: a listener may have unscheduled it or
// stopped the whole controller.
bool AnimationController::holds(size_t i, const AnimationClip* clip) const
{
    return i < m_runningClips.size() && m_runningClips[i] == clip;
}

void AnimationController::removeFinishedSlots()
{
    m_runningClips.erase(std::remove(m_runningClips.begin(), m_runningClips.end(), nullptr), m_runningClips.end());
}

void AnimationController::update(float elapsed)
{
    if (m_state == PAUSED)
        return;
    // Time only moves forward, by a real amount; anything else would leave
    // clips stuck at a NaN time or running backwards.
    if (!std::isfinite(elapsed) || elapsed < 0.0f)
        elapsed = 0.0f;
    m_time += elapsed;
    if (m_state != RUNNING)
        return;

    // Listeners of animated transforms hear of each change once per frame,
    // after every clip has written its values.
    Transform::suspendTransformChanged();
    m_updating = true;
    // Re-read the size each time: listeners may schedule clips, which then
    // run in this frame too.
    for (size_t i = 0; i < m_runningClips.size(); ++i) {
        AnimationClip* clip = m_runningClips[i];
        if (!clip)
            continue;
        // Held for the duration of its turn: a listener may unschedule it
        // or destroy its animation meanwhile.
        clip->addRef();
        if (clip->isSet(AnimationClip::RESTARTED)) {
            // Played again while running: end it and let it begin afresh
            // later in this same pass.
            clip->end();
            if (holds(i, clip)) {
                m_runningClips[i] = nullptr;
                if (clip->isSet(AnimationClip::PLAYING)) {
                    // An end listener played it again; that entry stands.
                    clip->release();
                } else {
                    clip->set(AnimationClip::PLAYING);
                    m_runningClips.push_back(clip);
                }
            }
        } else if (clip->update(elapsed) && holds(i, clip)) {
            m_runningClips[i] = nullptr;
            clip->release();
        }
        clip->release();
    }
    m_updating = false;
    removeFinishedSlots();
    Transform::resumeTransformChanged();

    if (m_runningClips.empty() && m_state == RUNNING)
        m_state = IDLE;
}

} // namespace engine

#include "engine/AnimationController.h"

#include "engine/AnimationClip.h"
#include "engine/Transform.h"

#include <algorithm>
#include <cmath>

namespace engine {

namespace {
AnimationController* currentController = nullptr;
}

AnimationController::AnimationController()
    : _state(STOPPED)
    , _time(0.0)
    , _updating(false)
{
    // Room for a typical scene's clips, so playing one rarely allocates.
    _runningClips.reserve(32);
}

AnimationController::~AnimationController()
{
    stop();
    if (currentController == this)
        currentController = nullptr;
}

AnimationController* AnimationController::current()
{
    return currentController;
}

void AnimationController::setCurrent(AnimationController* controller)
{
    currentController = controller;
}

void AnimationController::start()
{
    if (_state == STOPPED)
        _state = _runningClips.empty() ? IDLE : RUNNING;
}

void AnimationController::stop()
{
    // Listeners are not told: this is shut-down, and whoever listens may be
    // gone already. The clips are left idle, so they can be played again.
    std::vector<AnimationClip*> clips;
    clips.swap(_runningClips);
    _runningClips.reserve(32);
    for (AnimationClip* clip : clips) {
        if (clip) {
            clip->reset();
            clip->release();
        }
    }
    _state = STOPPED;
}

void AnimationController::pause()
{
    if (_state == RUNNING || _state == IDLE)
        _state = PAUSED;
}

void AnimationController::resume()
{
    if (_state == PAUSED)
        _state = _runningClips.empty() ? IDLE : RUNNING;
}

void AnimationController::schedule(AnimationClip* clip)
{
    if (!clip)
        return;
    if (runningClipCount() == 0 && _state != PAUSED)
        _state = RUNNING;
    clip->addRef();
    _runningClips.push_back(clip);
}

void AnimationController::unschedule(AnimationClip* clip)
{
    auto it = std::find(_runningClips.begin(), _runningClips.end(), clip);
    if (!clip || it == _runningClips.end())
        return;
    if (_updating)
        *it = nullptr;
    else
        _runningClips.erase(it);
    // Out of the running list it must not believe it still plays.
    clip->reset();
    clip->release();
    if (runningClipCount() == 0 && _state == RUNNING)
        _state = IDLE;
}

unsigned int AnimationController::runningClipCount() const
{
    return static_cast<unsigned int>(
        _runningClips.size() - std::count(_runningClips.begin(), _runningClips.end(), nullptr));
}

// Whether slot i still holds the clip: a listener may have unscheduled it or
// stopped the whole controller.
bool AnimationController::holds(size_t i, const AnimationClip* clip) const
{
    return i < _runningClips.size() && _runningClips[i] == clip;
}

void AnimationController::removeFinishedSlots()
{
    _runningClips.erase(std::remove(_runningClips.begin(), _runningClips.end(), nullptr), _runningClips.end());
}

void AnimationController::update(float elapsed)
{
    if (_state == PAUSED)
        return;
    // Time only moves forward, by a real amount; anything else would leave
    // clips stuck at a NaN time or running backwards.
    if (!std::isfinite(elapsed) || elapsed < 0.0f)
        elapsed = 0.0f;
    _time += elapsed;
    if (_state != RUNNING)
        return;

    // Listeners of animated transforms hear of each change once per frame,
    // after every clip has written its values.
    Transform::suspendTransformChanged();
    _updating = true;
    // Re-read the size each time: listeners may schedule clips, which then
    // run in this frame too.
    for (size_t i = 0; i < _runningClips.size(); ++i) {
        AnimationClip* clip = _runningClips[i];
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
                _runningClips[i] = nullptr;
                if (clip->isSet(AnimationClip::PLAYING)) {
                    // An end listener played it again; that entry stands.
                    clip->release();
                } else {
                    clip->set(AnimationClip::PLAYING);
                    _runningClips.push_back(clip);
                }
            }
        } else if (clip->update(elapsed) && holds(i, clip)) {
            _runningClips[i] = nullptr;
            clip->release();
        }
        clip->release();
    }
    _updating = false;
    removeFinishedSlots();
    Transform::resumeTransformChanged();

    if (_runningClips.empty() && _state == RUNNING)
        _state = IDLE;
}

} // namespace engine

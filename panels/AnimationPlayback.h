#pragma once

#include <QString>

// What the animation list asks of whoever runs the clips (the viewport).
// Clips are named by their identifiers; each call answers whether it worked.
class AnimationPlayback {
public:
    virtual ~AnimationPlayback() = default;

    virtual bool playAnimation(const QString& id) = 0;
    virtual bool pauseAnimation(const QString& id) = 0;
    virtual bool stopAnimation(const QString& id) = 0;
    virtual bool seekAnimation(const QString& id, float milliseconds) = 0;
    virtual bool setAnimationLooping(const QString& id, bool looping) = 0;
    // One cycle of the clip in milliseconds; 0 for an unknown clip.
    virtual float animationLength(const QString& id) const = 0;
};

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
};

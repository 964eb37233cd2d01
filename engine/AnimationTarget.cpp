#include "engine/AnimationTarget.h"

#include <algorithm>
#include <cstring>

namespace engine {

AnimationTarget::AnimationTarget(TargetType type)
    : _targetType(type)
    , _channels(nullptr)
{
}

AnimationTarget::~AnimationTarget()
{
    delete _channels;
}

int AnimationTarget::propertyIdFromName(TargetType type, const char* name) const
{
    if (!name)
        return -1;
    if (type != TRANSFORM)
        return std::strcmp(name, "ANIMATE_UNIFORM") == 0 ? ANIMATE_UNIFORM : -1;

    static const struct { const char* name; int id; } transformNames[] = {
        { "ANIMATE_SCALE", ANIMATE_SCALE },
        { "ANIMATE_SCALE_X", ANIMATE_SCALE_X },
        { "ANIMATE_SCALE_Y", ANIMATE_SCALE_Y },
        { "ANIMATE_SCALE_Z", ANIMATE_SCALE_Z },
        { "ANIMATE_ROTATE", ANIMATE_ROTATE },
        { "ANIMATE_TRANSLATE", ANIMATE_TRANSLATE },
        { "ANIMATE_TRANSLATE_X", ANIMATE_TRANSLATE_X },
        { "ANIMATE_TRANSLATE_Y", ANIMATE_TRANSLATE_Y },
        { "ANIMATE_TRANSLATE_Z", ANIMATE_TRANSLATE_Z },
        { "ANIMATE_ROTATE_TRANSLATE", ANIMATE_ROTATE_TRANSLATE },
        { "ANIMATE_SCALE_ROTATE_TRANSLATE", ANIMATE_SCALE_ROTATE_TRANSLATE },
    };
    for (const auto& entry : transformNames) {
        if (std::strcmp(name, entry.name) == 0)
            return entry.id;
    }
    return -1;
}

unsigned int AnimationTarget::channelCount() const
{
    return _channels ? static_cast<unsigned int>(_channels->size()) : 0;
}

AnimationChannel* AnimationTarget::channelAt(unsigned int index) const
{
    return index < channelCount() ? (*_channels)[index] : nullptr;
}

void AnimationTarget::addChannel(AnimationChannel* channel)
{
    if (!_channels)
        _channels = new std::vector<AnimationChannel*>();
    _channels->push_back(channel);
}

void AnimationTarget::removeChannel(AnimationChannel* channel)
{
    if (!_channels)
        return;
    auto it = std::find(_channels->begin(), _channels->end(), channel);
    if (it != _channels->end())
        _channels->erase(it);
}

} // namespace engine

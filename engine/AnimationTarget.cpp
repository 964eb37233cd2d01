#include "AnimationTarget.h"

#include "Animation.h"
#include "AnimationChannel.h"
#include "AnimationClip.h"
#include "ChannelValue.h"
#include "Curve.h"
#include "NumberText.h"
#include "Properties.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace engine {

namespace {

// Splits on blanks; every piece must be a whole unsigned number (automatic
// base: "0x" hexadecimal, a leading "0" octal) that fits 32 bits.
bool parseKeyTimes(const char* text, std::vector<unsigned int>& out)
{
    const char* p = text;
    while (*p) {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (!*p)
            break;
        if (!std::isdigit(static_cast<unsigned char>(*p)))
            return false;
        char* end = nullptr;
        errno = 0;
        const unsigned long value = std::strtoul(p, &end, 0);
        if (errno == ERANGE || value > 0xFFFFFFFFul || (*end && *end != ' ' && *end != '\t'))
            return false;
        out.push_back(static_cast<unsigned int>(value));
        p = end;
    }
    return true;
}

// Splits on blanks; every piece must be a whole, finite decimal number.
bool parseKeyValues(const char* text, std::vector<float>& out)
{
    const char* p = text;
    while (*p) {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (!*p)
            break;
        float value = 0.0f;
        const char* end = NumberText::parseFloat(p, &value);
        if (!end || (*end && *end != ' ' && *end != '\t') || !std::isfinite(value))
            return false;
        out.push_back(value);
        p = end;
    }
    return true;
}

bool parseKeyValues(const char* text, size_t expected, std::vector<float>& out)
{
    return text && parseKeyValues(text, out) && out.size() == expected;
}

} // namespace

AnimationTarget::AnimationTarget(TargetType type)
    : m_targetType(type)
{
}

AnimationTarget::~AnimationTarget()
{
    // Taken out first so that nothing reached from here sees a half-emptied list.
    std::vector<AnimationChannel*> channels;
    channels.swap(m_channels);
    for (AnimationChannel* channel : channels) {
        channel->animation()->removeChannel(channel);
        delete channel; // may destroy the animation with its last channel
    }
}

Animation* AnimationTarget::createAnimation(const char* id, int propertyId, unsigned int keyCount,
                                            const unsigned int* keyTimes, const float* keyValues, int type)
{
    Animation* animation = Animation::create(id);
    if (!animation->addChannel(this, propertyId, keyCount, keyTimes, keyValues, type)) {
        animation->release();
        return nullptr;
    }
    return animation;
}

Animation* AnimationTarget::createAnimation(const char* id, int propertyId, unsigned int keyCount,
                                            const unsigned int* keyTimes, const float* keyValues,
                                            const float* keyInValue, const float* keyOutValue, int type)
{
    Animation* animation = Animation::create(id);
    if (!animation->addChannel(this, propertyId, keyCount, keyTimes, keyValues, keyInValue, keyOutValue, type)) {
        animation->release();
        return nullptr;
    }
    return animation;
}

// Every key list must hold exactly as many numbers as the key count asks
// for; anything else yields no animation rather than a partial one.
Animation* AnimationTarget::createAnimation(const char* id, Properties* animationProperties)
{
    if (!animationProperties || std::strcmp(animationProperties->getNamespace(), "animation") != 0)
        return nullptr;
    const int propertyId = propertyIdFromName(m_targetType, animationProperties->getString("property"));
    if (propertyId == -1)
        return nullptr;
    const int components = animationPropertyComponentCount(propertyId);
    const int keyCount = animationProperties->getInt("keyCount");
    const char* keyTimesText = animationProperties->getString("keyTimes");
    const char* keyValuesText = animationProperties->getString("keyValues");
    const char* curveName = animationProperties->getString("curve");
    if (components <= 0 || keyCount <= 0 || !keyTimesText || !keyValuesText || !curveName)
        return nullptr;

    std::vector<unsigned int> keyTimes;
    if (!parseKeyTimes(keyTimesText, keyTimes) || keyTimes.size() != static_cast<size_t>(keyCount))
        return nullptr;
    const size_t valueCount = keyTimes.size() * static_cast<size_t>(components);
    std::vector<float> keyValues;
    if (!parseKeyValues(keyValuesText, valueCount, keyValues))
        return nullptr;
    const int type = Curve::interpolationTypeFromName(curveName);

    const char* keyInText = animationProperties->getString("keyIn");
    const char* keyOutText = animationProperties->getString("keyOut");
    Animation* animation = nullptr;
    if (keyInText || keyOutText) {
        // A missing half of the tangents counts as flat.
        std::vector<float> keyIn;
        std::vector<float> keyOut;
        if (keyInText && !parseKeyValues(keyInText, valueCount, keyIn))
            return nullptr;
        if (keyOutText && !parseKeyValues(keyOutText, valueCount, keyOut))
            return nullptr;
        keyIn.resize(valueCount, 0.0f);
        keyOut.resize(valueCount, 0.0f);
        animation = createAnimation(id, propertyId, static_cast<unsigned int>(keyCount), keyTimes.data(),
                                    keyValues.data(), keyIn.data(), keyOut.data(), type);
    } else {
        animation = createAnimation(id, propertyId, static_cast<unsigned int>(keyCount), keyTimes.data(),
                                    keyValues.data(), type);
    }
    if (!animation)
        return nullptr;

    if (const char* repeat = animationProperties->getString("repeatCount"))
        animation->findClip()->setRepeatCountText(repeat);
    if (animationProperties->namespaceCount() > 0
        && std::strcmp(animationProperties->namespaceAt(0)->getNamespace(), "clip") == 0) {
        const int frameCount = animationProperties->getInt("frameCount");
        if (frameCount > 0)
            animation->defineClips(animationProperties, static_cast<unsigned int>(frameCount));
    }
    return animation;
}

void AnimationTarget::collectAnimations(std::vector<Animation*>& out) const
{
    for (AnimationChannel* channel : m_channels) {
        Animation* animation = channel->animation();
        if (std::find(out.begin(), out.end(), animation) == out.end())
            out.push_back(animation);
    }
}

int AnimationTarget::propertyIdFromName(TargetType type, const char* name) const
{
    if (!name)
        return -1;
    if (type != TRANSFORM)
        return std::strcmp(name, "ANIMATE_UNIFORM") == 0 ? ANIMATE_UNIFORM : -1;

    static const struct {
        const char* name;
        int id;
    } kTransformNames[] = {
        {"ANIMATE_SCALE", ANIMATE_SCALE},
        {"ANIMATE_SCALE_X", ANIMATE_SCALE_X},
        {"ANIMATE_SCALE_Y", ANIMATE_SCALE_Y},
        {"ANIMATE_SCALE_Z", ANIMATE_SCALE_Z},
        {"ANIMATE_ROTATE", ANIMATE_ROTATE},
        {"ANIMATE_TRANSLATE", ANIMATE_TRANSLATE},
        {"ANIMATE_TRANSLATE_X", ANIMATE_TRANSLATE_X},
        {"ANIMATE_TRANSLATE_Y", ANIMATE_TRANSLATE_Y},
        {"ANIMATE_TRANSLATE_Z", ANIMATE_TRANSLATE_Z},
        {"ANIMATE_ROTATE_TRANSLATE", ANIMATE_ROTATE_TRANSLATE},
        {"ANIMATE_SCALE_ROTATE_TRANSLATE", ANIMATE_SCALE_ROTATE_TRANSLATE},
    };
    for (const auto& entry : kTransformNames) {
        if (std::strcmp(name, entry.name) == 0)
            return entry.id;
    }
    return -1;
}

unsigned int AnimationTarget::channelCount() const { return static_cast<unsigned int>(m_channels.size()); }

AnimationChannel* AnimationTarget::channelAt(unsigned int index) const
{
    return index < m_channels.size() ? m_channels[index] : nullptr;
}

void AnimationTarget::addChannel(AnimationChannel* channel) { m_channels.push_back(channel); }

void AnimationTarget::removeChannel(AnimationChannel* channel)
{
    auto it = std::find(m_channels.begin(), m_channels.end(), channel);
    if (it != m_channels.end())
        m_channels.erase(it);
}

} // namespace engine

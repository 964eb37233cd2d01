#include "FbxLegacyAnimation.h"

#include "FbxLegacyProperties.h"
#include "FbxNodeValues.h"

#include <cctype>
#include <map>

namespace {

using V = FbxNodeValues;

// The key attribute flags of the newer layout.
constexpr int64_t kConstantFlag = 0x2;
constexpr int64_t kLinearFlag = 0x4;

// One value of a key list: a number (whole or not) or a letter.
struct Token {
    bool letter = false;
    bool whole = false;
    double number = 0.0;
    int64_t integer = 0;
    char character = 0;
};

std::vector<Token> tokens(const FbxNode& key)
{
    std::vector<Token> list;
    for (const FbxProperty& p : key.properties) {
        Token t;
        if (p.type == 'C' || (p.type == 'S' && p.text.size() == 1)) {
            // Binary files store the letters as single characters, ASCII files as bare words.
            t.letter = true;
            t.character = p.type == 'C' ? static_cast<char>(p.integer) : p.text[0];
        } else if (V::isNumber(p)) {
            t.whole = p.type != 'F' && p.type != 'D';
            t.number = V::number(p);
            t.integer = p.integer;
        } else if (p.type == 'd' || p.type == 'f') {
            for (double v : p.reals) {
                Token n;
                n.number = v;
                list.push_back(n);
            }
            continue;
        } else if (p.isArray()) {
            for (int64_t v : p.integers) {
                Token n;
                n.whole = true;
                n.integer = v;
                n.number = double(v);
                list.push_back(n);
            }
            continue;
        } else {
            continue;
        }
        list.push_back(t);
    }
    return list;
}

bool isInterpolationLetter(const Token& t) { return t.letter && std::isupper(static_cast<unsigned char>(t.character)); }

// A key starts with a whole time and a value, followed by the letter of its interpolation; the slopes
// and weights after it are never a whole number, a number and an upper-case letter in a row.
bool startsKey(const std::vector<Token>& list, size_t at)
{
    if (at + 1 >= list.size() || list[at].letter || !list[at].whole || list[at + 1].letter)
        return false;
    return at + 2 == list.size() || isInterpolationLetter(list[at + 2]);
}

FbxLegacyAnimation::Interpolation interpolationOf(char letter)
{
    switch (letter) {
    case 'C':
        return FbxLegacyAnimation::Interpolation::Constant;
    case 'L':
        return FbxLegacyAnimation::Interpolation::Linear;
    default:
        return FbxLegacyAnimation::Interpolation::Cubic;
    }
}

const std::map<std::string, std::string>& transformProperties()
{
    static const std::map<std::string, std::string> kProperties
        = {{"T", "Lcl Translation"}, {"R", "Lcl Rotation"}, {"S", "Lcl Scaling"}};
    return kProperties;
}

} // namespace

std::vector<FbxLegacyAnimation::Key> FbxLegacyAnimation::readKeys(const FbxNode& channel)
{
    std::vector<Key> keys;
    const FbxNode* keyNode = channel.child("Key");
    if (!keyNode)
        return keys;
    const std::vector<Token> list = tokens(*keyNode);
    for (size_t at = 0; at < list.size(); ++at) {
        if (!startsKey(list, at))
            continue;
        Key key;
        key.time = list[at].integer;
        key.value = list[at + 1].number;
        if (at + 2 < list.size())
            key.interpolation = interpolationOf(list[at + 2].character);
        if (keys.empty() || key.time > keys.back().time)
            keys.push_back(key); // a key out of order would make the curve run backwards
        at += 2;
    }
    return keys;
}

bool FbxLegacyAnimation::hasKeys(const FbxNode& channel)
{
    for (const FbxNode& c : channel.children)
        if ((c.name == "Key" && !c.properties.empty()) || (c.name == "Channel" && hasKeys(c)))
            return true;
    return false;
}

FbxNode FbxLegacyAnimation::curve(const FbxNode& channel, const std::vector<Key>& keys)
{
    std::vector<int64_t> times;
    std::vector<double> values;
    std::vector<int64_t> flags;
    for (const Key& key : keys) {
        times.push_back(key.time);
        values.push_back(key.value);
        flags.push_back(key.interpolation == Interpolation::Constant ? kConstantFlag : kLinearFlag);
    }
    const FbxNode* defaultValue = channel.child("Default");
    return V::make(
        "AnimationCurve", {V::makeInt64(0), V::makeText(FbxObjectSink::storedName("", "AnimCurve")), V::makeText("")},
        {V::make("Default", {V::makeDouble(defaultValue ? V::number(*defaultValue, 0, 0.0) : 0.0)}),
         V::make("KeyVer", {V::makeInt32(4008)}), V::make("KeyTime", {V::makeInt64Array(times)}),
         V::make("KeyValueFloat", {V::makeFloatArray(values)}), V::make("KeyAttrFlags", {V::makeInt32Array(flags)}),
         V::make("KeyAttrDataFloat", {V::makeFloatArray(std::vector<double>(4 * keys.size(), 0.0))}),
         V::make("KeyAttrRefCount", {V::makeInt32Array(std::vector<int64_t>(keys.size(), 1))})});
}

void FbxLegacyAnimation::translateTransform(const FbxNode& transform, int64_t modelId, int64_t layerId,
                                            const std::string& modelName, FbxObjectSink& sink)
{
    for (const FbxNode* channel : V::children(transform, "Channel")) {
        const std::string name = V::text(*channel, 0);
        const auto property = transformProperties().find(name);
        if (property == transformProperties().end()) {
            if (hasKeys(*channel))
                sink.leaveOut("animation channel", modelName + " " + name);
            continue;
        }
        std::vector<std::pair<std::string, std::vector<Key>>> axes;
        FbxNode properties = V::make("Properties70");
        for (const FbxNode* axis : V::children(*channel, "Channel")) {
            const std::string letter = V::text(*axis, 0);
            if (letter != "X" && letter != "Y" && letter != "Z")
                continue;
            const FbxNode* defaultValue = axis->child("Default");
            FbxLegacyProperties::set(
                properties,
                FbxLegacyProperties::number("d|" + letter, defaultValue ? V::number(*defaultValue, 0, 0.0) : 0.0));
            std::vector<Key> keys = readKeys(*axis);
            if (keys.size() >= 2) // one key holds the value the model's own property holds
                axes.push_back({letter, std::move(keys)});
        }
        if (axes.empty())
            continue;
        const int64_t nodeId = sink.add(
            V::make("AnimationCurveNode",
                    {V::makeInt64(0), V::makeText(FbxObjectSink::storedName(name, "AnimCurveNode")), V::makeText("")},
                    {std::move(properties)}));
        sink.connect(nodeId, layerId);
        sink.connect(nodeId, modelId, property->second);
        for (const auto& axis : axes) {
            const FbxNode* source = nullptr;
            for (const FbxNode* c : V::children(*channel, "Channel"))
                if (V::text(*c, 0) == axis.first)
                    source = c;
            const int64_t curveId = sink.add(curve(*source, axis.second));
            sink.connect(curveId, nodeId, "d|" + axis.first);
        }
    }
}

bool FbxLegacyAnimation::moves(const FbxNode& channel)
{
    for (const FbxNode* axis : V::children(channel, "Channel"))
        if (readKeys(*axis).size() >= 2 || moves(*axis))
            return true;
    return false;
}

void FbxLegacyAnimation::translateTake(const FbxNode& take, FbxObjectSink& sink)
{
    const std::string name = V::text(take, 0);
    bool anyMotion = false;
    for (const FbxNode* model : V::children(take, "Model"))
        anyMotion = anyMotion || moves(*model);
    if (!anyMotion)
        return; // a take of poses only would come out as an animation without channels
    FbxNode properties = V::make("Properties70");
    for (const char* field : {"LocalTime", "ReferenceTime"}) {
        const FbxNode* span = take.child(field);
        const std::vector<int64_t> times = span ? V::integers(*span) : std::vector<int64_t>();
        if (times.size() < 2)
            continue;
        const std::string prefix = std::string(field) == "LocalTime" ? "Local" : "Reference";
        properties.children.push_back(FbxLegacyProperties::time(prefix + "Start", times[0]));
        properties.children.push_back(FbxLegacyProperties::time(prefix + "Stop", times[1]));
    }
    const int64_t stackId = sink.add(V::make(
        "AnimationStack", {V::makeInt64(0), V::makeText(FbxObjectSink::storedName(name, "AnimStack")), V::makeText("")},
        {std::move(properties)}));
    // The importer skips a layer whose record has no child list.
    const int64_t layerId = sink.add(
        V::make("AnimationLayer",
                {V::makeInt64(0), V::makeText(FbxObjectSink::storedName("BaseLayer", "AnimLayer")), V::makeText("")},
                {V::make("Properties70")}));
    sink.connect(layerId, stackId);

    for (const FbxNode& animated : take.children) {
        if (animated.name == "FileName" || animated.name == "LocalTime" || animated.name == "ReferenceTime"
            || animated.name == "Comment" || !hasKeys(animated))
            continue;
        const std::string key = FbxObjectSink::objectKey(V::text(animated, 0), animated.name);
        const int64_t modelId = animated.name == "Model" ? sink.idOf(key) : -1;
        if (modelId < 0) {
            sink.leaveOut("animation of", key + " in take \"" + name + "\"");
            continue;
        }
        for (const FbxNode* channel : V::children(animated, "Channel")) {
            if (V::text(*channel, 0) == "Transform")
                translateTransform(*channel, modelId, layerId, key, sink);
            else if (hasKeys(*channel))
                sink.leaveOut("animation channel", key + " " + V::text(*channel, 0));
        }
    }
}

void FbxLegacyAnimation::translate(const FbxNode& takes, FbxObjectSink& sink)
{
    for (const FbxNode* take : V::children(takes, "Take"))
        translateTake(*take, sink);
}

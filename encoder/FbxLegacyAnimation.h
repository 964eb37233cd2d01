#pragma once

#include "FbxNode.h"
#include "FbxObjectSink.h"

#include <cstdint>
#include <string>
#include <vector>

// The takes of an old file (`Takes { Take: name { Model: name { Channel: "Transform" { Channel: "T"
// { Channel: "X" { Key: ... }}}}}}`) as animation stacks of the newer layout, one layer each, with a
// curve node per animated transform channel and a curve per animated axis. Key times keep their
// unit (46186158000 per second) and values; cubic slopes and weights are not carried over, so every
// key that is not constant interpolates linearly.
class FbxLegacyAnimation {
public:
    enum class Interpolation { Constant, Linear, Cubic };
    struct Key {
        int64_t time = 0;
        double value = 0.0;
        Interpolation interpolation = Interpolation::Linear;
    };

    static void translate(const FbxNode& takes, FbxObjectSink& sink);

    // The keys of a channel's `Key:` values, which mix times, values and letters that say how each
    // key interpolates, followed by slopes and weights of a length the letters decide.
    static std::vector<Key> readKeys(const FbxNode& channel);

private:
    static void translateTake(const FbxNode& take, FbxObjectSink& sink);
    static void translateTransform(const FbxNode& transform, int64_t modelId, int64_t layerId,
                                   const std::string& modelName, FbxObjectSink& sink);
    static bool hasKeys(const FbxNode& channel);
    // Whether a channel or one below it has keys at two times or more.
    static bool moves(const FbxNode& channel);
    static FbxNode curve(const FbxNode& channel, const std::vector<Key>& keys);
};

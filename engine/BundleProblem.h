#pragma once

#include <string>
#include <vector>

namespace engine {

// One thing a model load left out (or refused to open) and why, so that a
// damaged file is reported rather than shown as if it were whole.
struct BundleProblem {
    enum Kind { MESH, PART, SKIN, CHANNEL, MATERIAL, PATH };

    Kind kind = MESH;
    std::string id; // what was left out: a mesh (for its part or skin too), material, channel target or file name
    std::string reason;

    // Lower case, for messages and JSON: "mesh", "part", ...
    static const char* kindName(Kind kind)
    {
        static const char* const kNames[] = {"mesh", "part", "skin", "channel", "material", "path"};
        return kNames[kind];
    }
};

using BundleProblems = std::vector<BundleProblem>;

} // namespace engine

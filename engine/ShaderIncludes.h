#pragma once

#include <cstddef>
#include <string>

namespace engine {

// Replaces each #include "name" of a shader by the named file (relative to
// the including file's folder), expanded in turn. Shaders come with models,
// so their includes are bounded three ways: in nesting (a file that
// includes itself), in the number of includes and in the bytes read and
// written altogether, since a few small files that each include another
// several times over a few levels would otherwise expand to gigabytes.
class ShaderIncludes {
public:
    enum class Outcome {
        Expanded,
        Unreadable, // an include could not be read or lies outside the resources; expansion ended there
        TooLarge // over one of the bounds; what was expanded is no shader
    };

    static constexpr int kMaxDepth = 16;
    static constexpr int kMaxIncludes = 4096;
    static constexpr size_t kMaxBytes = size_t(4) << 20;

    // 'out' receives the expansion of 'source', which was read from 'path';
    // a relative path lies in the resource folder 'folder'.
    static Outcome expand(const std::string& path, const std::string& source, std::string* out,
                          const std::string& folder = std::string());

private:
    struct Budget {
        std::string folder;
        int includes = 0;
        size_t bytes = 0;
    };
    static Outcome expandInto(const std::string& path, const std::string& source, std::string* out, int depth,
                              Budget* budget);
};

} // namespace engine

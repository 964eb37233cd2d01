#pragma once

#include <vector>

namespace engine {

// The smaller levels of a texture, made on the processor. A software
// renderer compiles a drawing program the first time glGenerateMipmap runs,
// which costs more than the averaging itself: a tenth of the time it takes
// to open a textured model.
class MipmapLevels {
public:
    struct Level {
        unsigned int width = 0;
        unsigned int height = 0;
        std::vector<unsigned char> pixels; // rows tightly packed
    };

    // The level below a width × height image of 8-bit channels: half the
    // size on each side that is longer than 1, every pixel the rounded mean
    // of the 2 × 2 (along a side of 1, the 2 × 1) pixels it covers.
    static Level halve(const unsigned char* pixels, unsigned int width, unsigned int height, unsigned int channels);
};

} // namespace engine

#include "MipmapLevels.h"

#include <algorithm>

namespace engine {

MipmapLevels::Level MipmapLevels::halve(const unsigned char* pixels, unsigned int width, unsigned int height,
                                        unsigned int channels)
{
    Level level;
    level.width = std::max(1u, width / 2);
    level.height = std::max(1u, height / 2);
    level.pixels.resize(size_t(level.width) * level.height * channels);
    const size_t rowSize = size_t(width) * channels;
    // Along a side of 1 the same row (or column) is taken twice.
    const size_t nextRow = height > 1 ? rowSize : 0;
    const size_t nextColumn = width > 1 ? channels : 0;
    unsigned char* out = level.pixels.data();
    for (unsigned int y = 0; y < level.height; ++y) {
        const unsigned char* top = pixels + size_t(y) * 2 * nextRow;
        for (unsigned int x = 0; x < level.width; ++x) {
            const unsigned char* corner = top + size_t(x) * 2 * nextColumn;
            for (unsigned int c = 0; c < channels; ++c) {
                const unsigned int sum
                    = corner[c] + corner[c + nextColumn] + corner[c + nextRow] + corner[c + nextRow + nextColumn];
                *out++ = static_cast<unsigned char>((sum + 2) / 4);
            }
        }
    }
    return level;
}

} // namespace engine

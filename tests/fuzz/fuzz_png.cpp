// Feeds arbitrary bytes to the PNG reader that textures go through.
#include "Image.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (engine::Image* image = engine::Image::createFromMemory(data, size))
        image->release();
    return 0;
}

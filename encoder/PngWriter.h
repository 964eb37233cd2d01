#pragma once

#include <string>

// Writes 8-bit images as PNG, the one texture format the engine decodes.
class PngWriter {
public:
    // `channels`: 1 gray, 2 gray + alpha, 3 RGB, 4 RGBA; rows top first, tightly packed.
    // Returns false (and leaves no file) when the file cannot be written.
    static bool write(const std::string& path, const unsigned char* pixels, unsigned width, unsigned height,
                      unsigned channels);
};

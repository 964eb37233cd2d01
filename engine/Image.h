#pragma once

#include "Ref.h"

#include <cstddef>
#include <memory>

namespace engine {

// 8-bit RGB or RGBA pixels decoded from a PNG, bottom row first (the order
// OpenGL expects).
class Image : public Ref {
public:
    enum Format { RGB = 0, RGBA = 1 };

    // Null for an unreadable file or anything libpng refuses.
    static Image* create(const char* path);
    static Image* createFromMemory(const unsigned char* data, size_t size);
    // Takes a copy of width * height pixels (may be null for a cleared image).
    static Image* create(unsigned int width, unsigned int height, Format format, const unsigned char* data = nullptr);

    Format getFormat() const { return m_format; }
    unsigned int getWidth() const { return m_width; }
    unsigned int getHeight() const { return m_height; }
    unsigned int getBytesPerPixel() const { return m_format == RGBA ? 4 : 3; }
    const unsigned char* getData() const { return m_data.get(); }
    unsigned char* getData() { return m_data.get(); }

private:
    Image(Format format, unsigned int width, unsigned int height, std::unique_ptr<unsigned char[]> data);
    ~Image() override = default;

    friend class PngDecoder;

    Format m_format;
    unsigned int m_width;
    unsigned int m_height;
    std::unique_ptr<unsigned char[]> m_data;
};

} // namespace engine

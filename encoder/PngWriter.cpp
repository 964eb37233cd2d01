#include "PngWriter.h"

#include <png.h>

#include <cstdio>
#include <cstring>

bool PngWriter::write(const std::string& path, const unsigned char* pixels, unsigned width, unsigned height,
                      unsigned channels)
{
    static const png_uint_32 kFormats[] = {PNG_FORMAT_GRAY, PNG_FORMAT_GA, PNG_FORMAT_RGB, PNG_FORMAT_RGBA};
    if (!pixels || width == 0 || height == 0 || channels < 1 || channels > 4)
        return false;

    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = kFormats[channels - 1];
    // Conversion speed matters more than a few percent of file size here.
    image.flags = PNG_IMAGE_FLAG_FAST;

    const png_int_32 rowStride = static_cast<png_int_32>(width * channels);
    const bool written = png_image_write_to_file(&image, path.c_str(), 0, pixels, rowStride, nullptr) != 0;
    png_image_free(&image);
    if (!written)
        std::remove(path.c_str());
    return written;
}

#include "Image.h"

#include "FileSystem.h"
#include "Stream.h"

#include <png.h>

#include <cstring>
#include <limits>
#include <new>

namespace engine {

// libpng glue: reads from an engine stream or a memory block, and longjmps
// out of any decoder error back into decode().
class PngDecoder {
public:
    static Image* decode(png_rw_ptr reader, void* source);

private:
    static Image* decodeRows(png_structp png, png_infop info);
};

namespace {

const size_t kSignatureSize = 8;
// Refuses images whose pixels would not fit in memory (a hostile header).
const size_t kMaxPixelBytes = size_t(1) << 28;

struct MemorySource {
    const unsigned char* data;
    size_t size;
    size_t position;
};

void readFromStream(png_structp png, png_bytep out, png_size_t length)
{
    Stream* stream = static_cast<Stream*>(png_get_io_ptr(png));
    if (stream->read(out, 1, length) != length)
        png_error(png, "short read");
}

void readFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    MemorySource* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (length > source->size - source->position)
        png_error(png, "short read");
    std::memcpy(out, source->data + source->position, length);
    source->position += length;
}

void silentError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void silentWarning(png_structp, png_const_charp) { }

} // namespace

Image::Image(Format format, unsigned int width, unsigned int height, std::unique_ptr<unsigned char[]> data)
    : m_format(format)
    , m_width(width)
    , m_height(height)
    , m_data(std::move(data))
{
}

Image* Image::create(unsigned int width, unsigned int height, Format format, const unsigned char* data)
{
    const size_t size = size_t(width) * height * (format == RGBA ? 4 : 3);
    if (size > kMaxPixelBytes)
        return nullptr;
    std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[size ? size : 1]());
    if (!pixels)
        return nullptr;
    if (data)
        std::memcpy(pixels.get(), data, size);
    return new Image(format, width, height, std::move(pixels));
}

Image* Image::create(const char* path)
{
    if (!path)
        return nullptr;
    std::unique_ptr<Stream> stream(FileSystem::open(path));
    if (!stream)
        return nullptr;
    unsigned char signature[kSignatureSize];
    if (stream->read(signature, 1, kSignatureSize) != kSignatureSize || png_sig_cmp(signature, 0, kSignatureSize))
        return nullptr;
    return PngDecoder::decode(readFromStream, stream.get());
}

Image* Image::createFromMemory(const unsigned char* data, size_t size)
{
    if (!data || size < kSignatureSize || png_sig_cmp(data, 0, kSignatureSize))
        return nullptr;
    MemorySource source = {data, size, kSignatureSize};
    return PngDecoder::decode(readFromMemory, &source);
}

Image* PngDecoder::decode(png_rw_ptr reader, void* source)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, silentError, silentWarning);
    if (!png)
        return nullptr;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return nullptr;
    }
    png_set_read_fn(png, source, reader);
    png_set_sig_bytes(png, int(kSignatureSize));
    Image* image = decodeRows(png, info);
    png_destroy_read_struct(&png, &info, nullptr);
    return image;
}

// Separate from decode() so that nothing with a destructor lives in the frame
// that setjmp returns into twice.
Image* PngDecoder::decodeRows(png_structp png, png_infop info)
{
    Image* volatile image = nullptr;
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        delete[] rows;
        if (image)
            image->release();
        return nullptr;
    }
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int colorType = png_get_color_type(png, info);
    Image::Format format;
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_PALETTE:
        format = Image::RGB;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
    case PNG_COLOR_TYPE_RGBA:
        format = Image::RGBA;
        break;
    default:
        return nullptr;
    }
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_expand_gray_1_2_4_to_8(png);
        png_set_gray_to_rgb(png);
    }
    // Transparency chunks would add a fourth channel the format has no room for.
    png_set_strip_16(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS) && format == Image::RGB)
        png_set_strip_alpha(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const unsigned int bytesPerPixel = format == Image::RGBA ? 4 : 3;
    if (width == 0 || height == 0 || rowBytes != size_t(width) * bytesPerPixel
        || size_t(height) > kMaxPixelBytes / rowBytes)
        return nullptr;
    image = Image::create(width, height, format);
    if (!image)
        return nullptr;
    unsigned char* pixels = image->getData();
    rows = new (std::nothrow) png_bytep[height];
    if (!rows)
        png_error(png, "out of memory");
    // The file's first row becomes the buffer's last: bottom-up, as OpenGL expects.
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = pixels + size_t(height - 1 - y) * rowBytes;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    delete[] rows;
    return image;
}

} // namespace engine

#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

class Texture;

// Compressed texture containers. DDS files with DXT1, DXT3 or DXT5 blocks
// become S3TC textures with the mipmap levels they carry. PVR files (the
// legacy version 2 header, tagged "PVR!") give PVRTC textures where the
// context samples PVRTC, and plain RGBA 8888 or RGB 888 textures anywhere.
class CompressedTextureReader {
public:
    CompressedTextureReader() = delete;

    enum PvrStatus {
        PVR_OK,
        PVR_TOO_SHORT,
        PVR_NOT_PVR,
        PVR_BAD_SIZE,
        PVR_UNSUPPORTED_LAYOUT,
        PVR_UNSUPPORTED_PIXEL_TYPE,
        PVR_NO_PVRTC_SUPPORT,
        PVR_TRUNCATED
    };

    // What a PVR header asks for, checked against the file's length before
    // anything reaches the driver.
    struct PvrPlan {
        PvrStatus status = PVR_NOT_PVR;
        uint32_t pixelType = 0;
        bool compressed = false;
        unsigned int glFormat = 0; // compressed internal format, or GL_RGB / GL_RGBA
        unsigned int width = 0;
        unsigned int height = 0;
        unsigned int levels = 0;
        size_t dataOffset = 0;
    };

    static PvrPlan planPvr(const unsigned char* data, size_t size, bool pvrtcSupported);
    // Why a PVR file was refused, in words.
    static const char* describe(PvrStatus status);
    // Bytes of one level of a planned PVR texture.
    static size_t pvrLevelBytes(const PvrPlan& plan, unsigned int level);

    // Null for anything malformed, truncated or not supported by the context.
    static Texture* readDds(const unsigned char* data, size_t size);
    static Texture* readPvr(const unsigned char* data, size_t size, bool generateMipmaps = false);
};

} // namespace engine

#pragma once

#include <cstddef>

namespace engine {

class Texture;

// Compressed texture containers. DDS files with DXT1, DXT3 or DXT5 blocks
// become S3TC textures with the mipmap levels they carry; PVR files hold
// PVRTC data that desktop OpenGL cannot sample and are refused.
class CompressedTextureReader {
public:
    CompressedTextureReader() = delete;

    // Null for anything malformed, truncated or not supported by the context.
    static Texture* readDds(const unsigned char* data, size_t size);
    static Texture* readPvr(const unsigned char* data, size_t size);
};

} // namespace engine

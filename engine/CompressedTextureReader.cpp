#include "CompressedTextureReader.h"

#include "Texture.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace engine {

namespace {

const size_t kDdsHeaderSize = 128; // magic and header
const uint32_t kDdsHasFourCc = 0x4;
// More levels than a 32-bit size can halve through means a corrupt count.
const uint32_t kMaxLevels = 32;

uint32_t readUint32(const unsigned char* data)
{
    uint32_t value;
    std::memcpy(&value, data, 4);
    return value;
}

uint32_t fourCc(const char* text) { return readUint32(reinterpret_cast<const unsigned char*>(text)); }

struct BlockFormat {
    GLenum internalFormat;
    unsigned int blockBytes;
};

bool blockFormat(uint32_t code, BlockFormat* format)
{
    if (code == fourCc("DXT1"))
        *format = {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 8};
    else if (code == fourCc("DXT3"))
        *format = {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 16};
    else if (code == fourCc("DXT5"))
        *format = {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 16};
    else
        return false;
    return true;
}

size_t levelBytes(uint32_t width, uint32_t height, unsigned int blockBytes)
{
    return size_t(std::max(1u, (width + 3) / 4)) * std::max(1u, (height + 3) / 4) * blockBytes;
}

} // namespace

Texture* CompressedTextureReader::readDds(const unsigned char* data, size_t size)
{
    if (!data || size < kDdsHeaderSize || std::memcmp(data, "DDS ", 4) != 0 || readUint32(data + 4) != 124)
        return nullptr;
    const uint32_t height = readUint32(data + 12);
    const uint32_t width = readUint32(data + 16);
    const uint32_t levels = std::max(1u, readUint32(data + 28));
    BlockFormat format;
    if (!(readUint32(data + 80) & kDdsHasFourCc) || !blockFormat(readUint32(data + 84), &format))
        return nullptr;
    if (width == 0 || height == 0 || width > 16384 || height > 16384 || levels > kMaxLevels
        || !GLEW_EXT_texture_compression_s3tc)
        return nullptr;
    // Every level must lie inside the file before anything reaches the driver.
    size_t total = 0;
    for (uint32_t level = 0; level < levels; ++level)
        total += levelBytes(std::max(1u, width >> level), std::max(1u, height >> level), format.blockBytes);
    if (total > size - kDdsHeaderSize)
        return nullptr;

    Texture* texture = Texture::create(Texture::UNKNOWN, width, height, nullptr, false);
    if (!texture)
        return nullptr;
    texture->m_compressed = true;
    texture->m_internalFormat = format.internalFormat;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, texture->getHandle());
    const unsigned char* level = data + kDdsHeaderSize;
    for (uint32_t i = 0; i < levels; ++i) {
        const uint32_t w = std::max(1u, width >> i);
        const uint32_t h = std::max(1u, height >> i);
        const size_t bytes = levelBytes(w, h, format.blockBytes);
        glCompressedTexImage2D(GL_TEXTURE_2D, GLint(i), format.internalFormat, GLsizei(w), GLsizei(h), 0,
                               GLsizei(bytes), level);
        level += bytes;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(levels - 1));
    texture->m_mipmapped = levels > 1;
    glBindTexture(GL_TEXTURE_2D, GLuint(previous));
    return texture;
}

Texture* CompressedTextureReader::readPvr(const unsigned char*, size_t) { return nullptr; }

} // namespace engine

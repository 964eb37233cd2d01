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

// Legacy PVR header (version 2): 13 little-endian 32-bit fields.
const size_t kPvrHeaderSize = 52;
const size_t kPvrTagOffset = 44;
const uint32_t kPvrPixelTypeMask = 0xff;
const uint32_t kPvrFlagCubeMap = 0x1000;
const uint32_t kPvrFlagVolume = 0x4000;
const uint32_t kPvrFlagAlpha = 0x8000;
const uint32_t kMaxTextureSize = 16384;

enum PvrPixelType : uint32_t {
    MGL_PVRTC2 = 0x0c,
    MGL_PVRTC4 = 0x0d,
    OGL_RGBA_8888 = 0x12,
    OGL_RGB_888 = 0x15,
    OGL_PVRTC2 = 0x18,
    OGL_PVRTC4 = 0x19
};

bool isPvrtc(uint32_t type, unsigned int* bitsPerPixel)
{
    if (type == MGL_PVRTC2 || type == OGL_PVRTC2)
        *bitsPerPixel = 2;
    else if (type == MGL_PVRTC4 || type == OGL_PVRTC4)
        *bitsPerPixel = 4;
    else
        return false;
    return true;
}

GLenum pvrtcFormat(unsigned int bitsPerPixel, bool alpha)
{
    if (bitsPerPixel == 2)
        return alpha ? GL_COMPRESSED_RGBA_PVRTC_2BPPV1_IMG : GL_COMPRESSED_RGB_PVRTC_2BPPV1_IMG;
    return alpha ? GL_COMPRESSED_RGBA_PVRTC_4BPPV1_IMG : GL_COMPRESSED_RGB_PVRTC_4BPPV1_IMG;
}

unsigned int levelsBelow(uint32_t width, uint32_t height)
{
    unsigned int levels = 1;
    for (uint32_t side = std::max(width, height); side > 1; side >>= 1)
        ++levels;
    return levels;
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

CompressedTextureReader::PvrPlan CompressedTextureReader::planPvr(const unsigned char* data, size_t size,
                                                                  bool pvrtcSupported)
{
    PvrPlan plan;
    if (!data || size < kPvrHeaderSize) {
        plan.status = PVR_TOO_SHORT;
        return plan;
    }
    if (readUint32(data) != kPvrHeaderSize || std::memcmp(data + kPvrTagOffset, "PVR!", 4) != 0)
        return plan;
    const uint32_t flags = readUint32(data + 16);
    const uint32_t surfaces = readUint32(data + 48);
    plan.height = readUint32(data + 4);
    plan.width = readUint32(data + 8);
    plan.pixelType = flags & kPvrPixelTypeMask;
    plan.dataOffset = kPvrHeaderSize;
    const uint64_t levels = uint64_t(readUint32(data + 12)) + 1;
    if (plan.width == 0 || plan.height == 0 || plan.width > kMaxTextureSize || plan.height > kMaxTextureSize
        || levels > levelsBelow(plan.width, plan.height)) {
        plan.status = PVR_BAD_SIZE;
        return plan;
    }
    plan.levels = unsigned(levels);
    if ((flags & (kPvrFlagCubeMap | kPvrFlagVolume)) || surfaces > 1) {
        plan.status = PVR_UNSUPPORTED_LAYOUT;
        return plan;
    }
    unsigned int bitsPerPixel = 0;
    if (isPvrtc(plan.pixelType, &bitsPerPixel)) {
        plan.compressed = true;
        plan.glFormat = pvrtcFormat(bitsPerPixel, flags & kPvrFlagAlpha);
        // PVRTC blocks cover power-of-two surfaces only.
        if (!Texture::isPowerOfTwo(plan.width) || !Texture::isPowerOfTwo(plan.height)) {
            plan.status = PVR_BAD_SIZE;
            return plan;
        }
        if (!pvrtcSupported) {
            plan.status = PVR_NO_PVRTC_SUPPORT;
            return plan;
        }
    } else if (plan.pixelType == OGL_RGBA_8888 || plan.pixelType == OGL_RGB_888) {
        plan.glFormat = plan.pixelType == OGL_RGBA_8888 ? GL_RGBA : GL_RGB;
    } else {
        plan.status = PVR_UNSUPPORTED_PIXEL_TYPE;
        return plan;
    }
    size_t total = 0;
    for (unsigned int level = 0; level < plan.levels; ++level)
        total += pvrLevelBytes(plan, level);
    plan.status = total <= size - kPvrHeaderSize ? PVR_OK : PVR_TRUNCATED;
    return plan;
}

size_t CompressedTextureReader::pvrLevelBytes(const PvrPlan& plan, unsigned int level)
{
    const size_t w = std::max(1u, plan.width >> level);
    const size_t h = std::max(1u, plan.height >> level);
    if (!plan.compressed)
        return w * h * (plan.glFormat == GL_RGBA ? 4 : 3);
    // A PVRTC level never shrinks below one block of 2 x 2 blocks.
    if (plan.glFormat == GL_COMPRESSED_RGB_PVRTC_2BPPV1_IMG || plan.glFormat == GL_COMPRESSED_RGBA_PVRTC_2BPPV1_IMG)
        return std::max<size_t>(w, 16) * std::max<size_t>(h, 8) * 2 / 8;
    return std::max<size_t>(w, 8) * std::max<size_t>(h, 8) * 4 / 8;
}

const char* CompressedTextureReader::describe(PvrStatus status)
{
    switch (status) {
    case PVR_OK:
        return "PVR texture readable";
    case PVR_TOO_SHORT:
        return "PVR file shorter than its header";
    case PVR_NOT_PVR:
        return "not a PVR file with a version 2 header (\"PVR!\" tag)";
    case PVR_BAD_SIZE:
        return "PVR texture size or mipmap count out of range";
    case PVR_UNSUPPORTED_LAYOUT:
        return "PVR cube maps, volumes and texture arrays are not supported";
    case PVR_UNSUPPORTED_PIXEL_TYPE:
        return "PVR pixel type not supported (PVRTC, RGBA 8888 and RGB 888 are)";
    case PVR_NO_PVRTC_SUPPORT:
        return "PVRTC textures need GL_IMG_texture_compression_pvrtc, which this OpenGL lacks";
    case PVR_TRUNCATED:
        return "PVR file shorter than the texture its header describes";
    }
    return "unknown PVR status";
}

Texture* CompressedTextureReader::readPvr(const unsigned char* data, size_t size, bool generateMipmaps)
{
    const PvrPlan plan = planPvr(data, size, GLEW_IMG_texture_compression_pvrtc);
    if (plan.status != PVR_OK)
        return nullptr;
    const unsigned char* level = data + plan.dataOffset;
    if (!plan.compressed && plan.levels == 1) {
        return Texture::create(plan.glFormat == GL_RGBA ? Texture::RGBA : Texture::RGB, plan.width, plan.height, level,
                               generateMipmaps);
    }
    Texture* texture = Texture::create(plan.compressed                ? Texture::UNKNOWN
                                           : plan.glFormat == GL_RGBA ? Texture::RGBA
                                                                      : Texture::RGB,
                                       plan.width, plan.height, nullptr, false);
    if (!texture)
        return nullptr;
    texture->m_compressed = plan.compressed;
    texture->m_internalFormat = plan.glFormat;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, texture->getHandle());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (unsigned int i = 0; i < plan.levels; ++i) {
        const GLsizei w = GLsizei(std::max(1u, plan.width >> i));
        const GLsizei h = GLsizei(std::max(1u, plan.height >> i));
        const size_t bytes = pvrLevelBytes(plan, i);
        if (plan.compressed)
            glCompressedTexImage2D(GL_TEXTURE_2D, GLint(i), plan.glFormat, w, h, 0, GLsizei(bytes), level);
        else
            glTexImage2D(GL_TEXTURE_2D, GLint(i), GLint(plan.glFormat), w, h, 0, plan.glFormat, GL_UNSIGNED_BYTE,
                         level);
        level += bytes;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(plan.levels - 1));
    texture->m_mipmapped = plan.levels > 1;
    if (texture->m_mipmapped) {
        texture->m_minFilter = Sampler::NEAREST_MIPMAP_LINEAR;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, texture->m_minFilter);
    }
    glBindTexture(GL_TEXTURE_2D, GLuint(previous));
    return texture;
}

} // namespace engine

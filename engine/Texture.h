#pragma once

#include "Ref.h"
#include "Sampler.h"

#include <string>

namespace engine {

class Image;

// An OpenGL 2D or cube texture. Textures made from files are shared through
// a cache keyed by the file's path; the cache holds no reference.
class Texture : public Ref {
public:
    using Sampler = engine::Sampler;

    enum Format { UNKNOWN = 0, RGB = 0x1907, RGBA = 0x1908 };
    enum Type { TEXTURE_2D = 0x0DE1, TEXTURE_CUBE = 0x8513 };

    // png, pvr and dds files (extension compared without regard to case).
    static Texture* create(const char* path, bool generateMipmaps = false);
    static Texture* create(Image* image, bool generateMipmaps = false);
    // data may be null (an empty texture, as render targets use). A cube map
    // takes six faces one after the other.
    static Texture* create(Format format, unsigned int width, unsigned int height, const unsigned char* data,
                           bool generateMipmaps = false, Type type = TEXTURE_2D);

    const char* getPath() const { return m_path.c_str(); }
    unsigned int getHandle() const { return m_handle; }
    Format getFormat() const { return m_format; }
    // The OpenGL compressed format of a texture read from a container.
    unsigned int getCompressedFormat() const { return m_compressed ? m_internalFormat : 0; }
    Type getType() const { return m_type; }
    unsigned int getWidth() const { return m_width; }
    unsigned int getHeight() const { return m_height; }
    bool isMipmapped() const { return m_mipmapped; }

    // Does nothing for sizes that are not powers of two.
    void generateMipmaps();

    static bool isPowerOfTwo(unsigned int value) { return value != 0 && (value & (value - 1)) == 0; }

private:
    friend class engine::Sampler;
    friend class CompressedTextureReader;

    Texture() = default;
    ~Texture() override;

    static Texture* createFromFile(const std::string& path, bool generateMipmaps);
    // Binds the texture and applies the modes that differ from its current ones.
    void applySamplerModes(const Sampler& sampler);

    std::string m_path;
    // Size and modification time of the file when it was read: a file
    // written over since is read again, not shared.
    long long m_fileSize = -1;
    long long m_fileTime = -1;
    unsigned int m_handle = 0;
    Format m_format = UNKNOWN;
    unsigned int m_internalFormat = 0;
    Type m_type = TEXTURE_2D;
    unsigned int m_width = 0;
    unsigned int m_height = 0;
    bool m_mipmapped = false;
    bool m_cached = false;
    bool m_compressed = false;
    Sampler::Wrap m_wrapS = Sampler::REPEAT;
    Sampler::Wrap m_wrapT = Sampler::REPEAT;
    Sampler::Wrap m_wrapR = Sampler::REPEAT;
    Sampler::Filter m_minFilter = Sampler::LINEAR;
    Sampler::Filter m_magFilter = Sampler::LINEAR;
};

} // namespace engine

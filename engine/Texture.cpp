#include "Texture.h"

#include "CompressedTextureReader.h"
#include "FileSystem.h"
#include "Image.h"
#include "MipmapLevels.h"

#include <GL/glew.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

namespace engine {

namespace {

// Textures made from files, for sharing; the cache holds no reference.
std::vector<Texture*>& textureCache()
{
    static std::vector<Texture*> cache;
    return cache;
}

struct FileStamp {
    long long size = -1;
    long long time = -1; // nanoseconds since the epoch
};

FileStamp fileStampOf(const char* path)
{
    struct stat info { };
    if (stat(FileSystem::resolvePath(path).c_str(), &info) != 0)
        return FileStamp();
    return FileStamp {static_cast<long long>(info.st_size),
                      static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
}

std::string lowerCaseExtension(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

GLenum bindingQuery(Texture::Type type)
{
    return type == Texture::TEXTURE_CUBE ? GL_TEXTURE_BINDING_CUBE_MAP : GL_TEXTURE_BINDING_2D;
}

// A mipmap filter on a texture without mipmaps would leave it incomplete
// (sampled as black); the nearest plain filter stands in.
GLint usableMinFilter(Sampler::Filter filter, bool mipmapped)
{
    if (mipmapped)
        return filter;
    switch (filter) {
    case Sampler::NEAREST_MIPMAP_NEAREST:
    case Sampler::NEAREST_MIPMAP_LINEAR:
        return GL_NEAREST;
    case Sampler::LINEAR_MIPMAP_NEAREST:
    case Sampler::LINEAR_MIPMAP_LINEAR:
        return GL_LINEAR;
    default:
        return filter;
    }
}

// Binds 'handle' for the lifetime of the scope and then rebinds what was bound.
class TextureBindingScope {
public:
    TextureBindingScope(Texture::Type type, GLuint handle)
        : m_type(type)
    {
        GLint previous = 0;
        glGetIntegerv(bindingQuery(type), &previous);
        m_previous = GLuint(previous);
        glBindTexture(type, handle);
    }
    ~TextureBindingScope() { glBindTexture(m_type, m_previous); }

private:
    Texture::Type m_type;
    GLuint m_previous = 0;
};

// Levels 1 and below of the bound 2D texture, whose level 0 holds 'data'.
void uploadSmallerLevels(Texture::Format format, unsigned int width, unsigned int height, const unsigned char* data)
{
    const unsigned int channels = format == Texture::RGBA ? 4 : 3;
    MipmapLevels::Level level;
    level.width = width;
    level.height = height;
    const unsigned char* pixels = data;
    for (GLint index = 1; level.width > 1 || level.height > 1; ++index) {
        level = MipmapLevels::halve(pixels, level.width, level.height, channels);
        glTexImage2D(GL_TEXTURE_2D, index, GLint(format), GLsizei(level.width), GLsizei(level.height), 0, format,
                     GL_UNSIGNED_BYTE, level.pixels.data());
        pixels = level.pixels.data();
    }
}

} // namespace

Texture::~Texture()
{
    if (m_cached) {
        auto& cache = textureCache();
        cache.erase(std::remove(cache.begin(), cache.end(), this), cache.end());
    }
    if (m_handle)
        glDeleteTextures(1, &m_handle);
}

Texture* Texture::create(const char* path, bool generateMipmaps)
{
    if (!path || !*path)
        return nullptr;
    const std::string key = FileSystem::resolvePath(path);
    const FileStamp stamp = fileStampOf(path);
    for (Texture* cached : textureCache()) {
        if (cached->m_path == key && cached->m_fileSize == stamp.size && cached->m_fileTime == stamp.time) {
            cached->addRef();
            if (generateMipmaps)
                cached->generateMipmaps();
            return cached;
        }
    }
    Texture* texture = createFromFile(path, generateMipmaps);
    if (!texture)
        return nullptr;
    texture->m_path = key;
    texture->m_fileSize = stamp.size;
    texture->m_fileTime = stamp.time;
    texture->m_cached = true;
    textureCache().push_back(texture);
    return texture;
}

Texture* Texture::createFromFile(const std::string& path, bool generateMipmaps)
{
    const std::string extension = lowerCaseExtension(path);
    if (extension == "dds" || extension == "pvr") {
        int size = 0;
        std::unique_ptr<char[]> data(FileSystem::readAll(path.c_str(), &size));
        if (!data || size < 0)
            return nullptr;
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data.get());
        return extension == "dds" ? CompressedTextureReader::readDds(bytes, size_t(size))
                                  : CompressedTextureReader::readPvr(bytes, size_t(size), generateMipmaps);
    }
    if (extension != "png")
        return nullptr;
    Image* image = Image::create(path.c_str());
    if (!image)
        return nullptr;
    Texture* texture = create(image, generateMipmaps);
    image->release();
    return texture;
}

Texture* Texture::create(Image* image, bool generateMipmaps)
{
    if (!image)
        return nullptr;
    return create(image->getFormat() == Image::RGBA ? RGBA : RGB, image->getWidth(), image->getHeight(),
                  image->getData(), generateMipmaps);
}

Texture* Texture::create(Format format, unsigned int width, unsigned int height, const unsigned char* data,
                         bool generateMipmaps, Type type)
{
    if (!glGenerateMipmap || (format != RGB && format != RGBA && (data || type == TEXTURE_CUBE)))
        return nullptr;
    const bool powerOfTwo = isPowerOfTwo(width) && isPowerOfTwo(height);
    Texture* texture = new Texture();
    glGenTextures(1, &texture->m_handle);
    if (!texture->m_handle) {
        texture->release();
        return nullptr;
    }
    texture->m_format = format;
    texture->m_type = type;
    texture->m_width = width;
    texture->m_height = height;
    TextureBindingScope scope(type, texture->m_handle);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (format == UNKNOWN) {
        // Storage comes later, from a compressed container.
    } else if (type == TEXTURE_2D) {
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), GLsizei(width), GLsizei(height), 0, format, GL_UNSIGNED_BYTE,
                     data);
    } else {
        const size_t faceSize = size_t(width) * height * (format == RGBA ? 4 : 3);
        for (unsigned int face = 0; face < 6; ++face) {
            glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GLint(format), GLsizei(width), GLsizei(height), 0,
                         format, GL_UNSIGNED_BYTE, data ? data + face * faceSize : nullptr);
        }
    }
    const bool mipmapped = generateMipmaps && powerOfTwo;
    texture->m_minFilter = mipmapped ? Sampler::NEAREST_MIPMAP_LINEAR : Sampler::LINEAR;
    texture->m_magFilter = Sampler::LINEAR;
    const Sampler::Wrap wrap = powerOfTwo ? Sampler::REPEAT : Sampler::CLAMP;
    texture->m_wrapS = texture->m_wrapT = texture->m_wrapR = wrap;
    glTexParameteri(type, GL_TEXTURE_MIN_FILTER, texture->m_minFilter);
    glTexParameteri(type, GL_TEXTURE_MAG_FILTER, texture->m_magFilter);
    glTexParameteri(type, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(type, GL_TEXTURE_WRAP_T, wrap);
    if (type == TEXTURE_CUBE)
        glTexParameteri(type, GL_TEXTURE_WRAP_R, wrap);
    if (mipmapped) {
        if (type == TEXTURE_2D && data) {
            uploadSmallerLevels(format, width, height, data);
        } else {
            glHint(GL_GENERATE_MIPMAP_HINT, GL_NICEST);
            glGenerateMipmap(type);
        }
        texture->m_mipmapped = true;
    }
    return texture;
}

void Texture::generateMipmaps()
{
    if (m_mipmapped || m_compressed || !isPowerOfTwo(m_width) || !isPowerOfTwo(m_height))
        return;
    TextureBindingScope scope(m_type, m_handle);
    glHint(GL_GENERATE_MIPMAP_HINT, GL_NICEST);
    glGenerateMipmap(m_type);
    m_mipmapped = true;
    // A mipmap filter asked for earlier can take effect now.
    glTexParameteri(m_type, GL_TEXTURE_MIN_FILTER, m_minFilter);
}

void Texture::applySamplerModes(const Sampler& sampler)
{
    glBindTexture(m_type, m_handle);
    if (sampler.getWrapS() != m_wrapS) {
        m_wrapS = sampler.getWrapS();
        glTexParameteri(m_type, GL_TEXTURE_WRAP_S, m_wrapS);
    }
    if (sampler.getWrapT() != m_wrapT) {
        m_wrapT = sampler.getWrapT();
        glTexParameteri(m_type, GL_TEXTURE_WRAP_T, m_wrapT);
    }
    if (m_type == TEXTURE_CUBE && sampler.getWrapR() != m_wrapR) {
        m_wrapR = sampler.getWrapR();
        glTexParameteri(m_type, GL_TEXTURE_WRAP_R, m_wrapR);
    }
    if (sampler.getMinFilter() != m_minFilter) {
        m_minFilter = sampler.getMinFilter();
        glTexParameteri(m_type, GL_TEXTURE_MIN_FILTER, usableMinFilter(m_minFilter, m_mipmapped));
    }
    if (sampler.getMagFilter() != m_magFilter) {
        m_magFilter = sampler.getMagFilter();
        glTexParameteri(m_type, GL_TEXTURE_MAG_FILTER, m_magFilter);
    }
}

} // namespace engine

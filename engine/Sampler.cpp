#include "Sampler.h"

#include "Texture.h"

#include <GL/glew.h>

#include <cstring>

namespace engine {

Sampler* Sampler::create(Texture* texture) { return texture ? new Sampler(texture) : nullptr; }

Sampler::Sampler(Texture* texture)
    : m_texture(texture)
    , m_wrapS(texture->m_wrapS)
    , m_wrapT(texture->m_wrapT)
    , m_wrapR(texture->m_wrapR)
    , m_minFilter(texture->m_minFilter)
    , m_magFilter(texture->m_magFilter)
{
    m_texture->addRef();
}

Sampler::~Sampler() { releaseRef(m_texture); }

Sampler::Filter Sampler::parseFilter(const char* name, Filter fallback)
{
    static const struct {
        const char* name;
        Filter filter;
    } kFilters[] = {{"NEAREST", NEAREST},
                    {"LINEAR", LINEAR},
                    {"NEAREST_MIPMAP_NEAREST", NEAREST_MIPMAP_NEAREST},
                    {"LINEAR_MIPMAP_NEAREST", LINEAR_MIPMAP_NEAREST},
                    {"NEAREST_MIPMAP_LINEAR", NEAREST_MIPMAP_LINEAR},
                    {"LINEAR_MIPMAP_LINEAR", LINEAR_MIPMAP_LINEAR}};
    for (const auto& entry : kFilters) {
        if (name && std::strcmp(name, entry.name) == 0)
            return entry.filter;
    }
    return fallback;
}

Sampler::Wrap Sampler::parseWrap(const char* name, Wrap fallback)
{
    if (name && std::strcmp(name, "REPEAT") == 0)
        return REPEAT;
    if (name && std::strcmp(name, "CLAMP") == 0)
        return CLAMP;
    return fallback;
}

void Sampler::setWrapMode(Wrap wrapS, Wrap wrapT, Wrap wrapR)
{
    m_wrapS = wrapS;
    m_wrapT = wrapT;
    m_wrapR = wrapR;
}

void Sampler::setFilterMode(Filter minificationFilter, Filter magnificationFilter)
{
    m_minFilter = minificationFilter;
    m_magFilter = magnificationFilter;
}

void Sampler::bind() { m_texture->applySamplerModes(*this); }

} // namespace engine

#pragma once

#include "Ref.h"

namespace engine {

class Texture;

// How a material samples a texture: wrap and filter modes, applied to the
// texture when bound and only when they differ from what it has.
class Sampler : public Ref {
public:
    enum Filter {
        NEAREST = 0x2600,
        LINEAR = 0x2601,
        NEAREST_MIPMAP_NEAREST = 0x2700,
        LINEAR_MIPMAP_NEAREST = 0x2701,
        NEAREST_MIPMAP_LINEAR = 0x2702,
        LINEAR_MIPMAP_LINEAR = 0x2703
    };
    enum Wrap { REPEAT = 0x2901, CLAMP = 0x812F };

    // Takes a reference to the texture; null without one.
    static Sampler* create(Texture* texture);

    // Names as written in material files; 'fallback' for anything else.
    static Filter parseFilter(const char* name, Filter fallback);
    static Wrap parseWrap(const char* name, Wrap fallback);

    Texture* getTexture() const { return m_texture; }
    void setWrapMode(Wrap wrapS, Wrap wrapT, Wrap wrapR = REPEAT);
    void setFilterMode(Filter minificationFilter, Filter magnificationFilter);
    Wrap getWrapS() const { return m_wrapS; }
    Wrap getWrapT() const { return m_wrapT; }
    Wrap getWrapR() const { return m_wrapR; }
    Filter getMinFilter() const { return m_minFilter; }
    Filter getMagFilter() const { return m_magFilter; }

    // Binds the texture to the active unit and brings its modes up to date.
    void bind();

private:
    explicit Sampler(Texture* texture);
    ~Sampler() override;

    Texture* m_texture;
    Wrap m_wrapS;
    Wrap m_wrapT;
    Wrap m_wrapR;
    Filter m_minFilter;
    Filter m_magFilter;
};

} // namespace engine

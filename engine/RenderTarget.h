#pragma once

#include "Ref.h"

#include <string>

namespace engine {

class Texture;

// A colour texture a frame buffer draws into (RGBA, no mipmaps).
class RenderTarget : public Ref {
public:
    // Null without a context or for a zero size.
    static RenderTarget* create(const char* id, unsigned int width, unsigned int height);
    // Null when no render target has that id.
    static RenderTarget* getRenderTarget(const char* id);

    const char* getId() const { return m_id.c_str(); }
    Texture* getTexture() const { return m_texture; }
    unsigned int getWidth() const;
    unsigned int getHeight() const;

private:
    explicit RenderTarget(const char* id);
    ~RenderTarget() override;

    std::string m_id;
    Texture* m_texture = nullptr;
};

} // namespace engine

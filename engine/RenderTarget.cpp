#include "RenderTarget.h"

#include "ObjectRegistry.h"
#include "Texture.h"

namespace engine {

RenderTarget::RenderTarget(const char* id)
    : m_id(id ? id : "")
{
    ObjectRegistry<RenderTarget>::add(this);
}

RenderTarget::~RenderTarget()
{
    releaseRef(m_texture);
    ObjectRegistry<RenderTarget>::remove(this);
}

RenderTarget* RenderTarget::create(const char* id, unsigned int width, unsigned int height)
{
    if (width == 0 || height == 0)
        return nullptr;
    Texture* texture = Texture::create(Texture::RGBA, width, height, nullptr, false);
    if (!texture)
        return nullptr;
    RenderTarget* target = new RenderTarget(id);
    target->m_texture = texture;
    return target;
}

RenderTarget* RenderTarget::getRenderTarget(const char* id) { return ObjectRegistry<RenderTarget>::find(id); }

unsigned int RenderTarget::getWidth() const { return m_texture->getWidth(); }

unsigned int RenderTarget::getHeight() const { return m_texture->getHeight(); }

} // namespace engine

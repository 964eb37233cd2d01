#include "RenderTarget.h"

#include "Texture.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace engine {

namespace {

std::vector<RenderTarget*>& renderTargets()
{
    static std::vector<RenderTarget*> targets;
    return targets;
}

} // namespace

RenderTarget::RenderTarget(const char* id)
    : m_id(id ? id : "")
{
    renderTargets().push_back(this);
}

RenderTarget::~RenderTarget()
{
    releaseRef(m_texture);
    auto& targets = renderTargets();
    targets.erase(std::remove(targets.begin(), targets.end(), this), targets.end());
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

RenderTarget* RenderTarget::getRenderTarget(const char* id)
{
    for (RenderTarget* target : renderTargets()) {
        if (id && target->m_id == id)
            return target;
    }
    return nullptr;
}

unsigned int RenderTarget::getWidth() const { return m_texture->getWidth(); }

unsigned int RenderTarget::getHeight() const { return m_texture->getHeight(); }

} // namespace engine

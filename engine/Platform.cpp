#include "Platform.h"

#include "Game.h"

namespace engine {

Platform::Platform(Game* game)
    : m_game(game)
{
    if (m_game)
        m_game->setPlatform(this);
}

Platform::~Platform()
{
    if (m_game && m_game->getPlatform() == this)
        m_game->setPlatform(nullptr);
}

} // namespace engine

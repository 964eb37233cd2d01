#pragma once

namespace engine {

class Game;

// What the engine needs of the window it draws into; the application's
// windowing layer derives from it and drives the game's frames.
class Platform {
public:
    explicit Platform(Game* game);
    virtual ~Platform();
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    // Pixels; read when the game starts and taken as its first viewport.
    virtual unsigned int getDisplayWidth() const = 0;
    virtual unsigned int getDisplayHeight() const = 0;

private:
    Game* m_game;
};

} // namespace engine

#pragma once

#include "Platform.h"

// A window of fixed size that is never shown: for drawing without a display.
class OffscreenPlatform : public engine::Platform {
public:
    OffscreenPlatform(engine::Game* game, unsigned int width, unsigned int height)
        : Platform(game)
        , m_width(width)
        , m_height(height)
    {
    }

    unsigned int getDisplayWidth() const override { return m_width; }
    unsigned int getDisplayHeight() const override { return m_height; }

private:
    unsigned int m_width;
    unsigned int m_height;
};

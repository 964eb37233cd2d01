#pragma once

#include <QImage>

// A colour and depth-stencil target of its own, for drawing without a
// window's frame buffer. Binds itself for its lifetime and puts back the
// frame buffer and viewport it found. Needs a current context.
class OffscreenTarget {
public:
    OffscreenTarget(int width, int height);
    ~OffscreenTarget();

    OffscreenTarget(const OffscreenTarget&) = delete;
    OffscreenTarget& operator=(const OffscreenTarget&) = delete;

    bool isComplete() const;
    // What was drawn, top row first.
    QImage read() const;

private:
    int m_width;
    int m_height;
    int m_previousFrameBuffer = 0;
    int m_previousViewport[4] = {0, 0, 0, 0};
    unsigned int m_frameBuffer = 0;
    unsigned int m_renderBuffers[2] = {0, 0};
};

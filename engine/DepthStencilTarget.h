#pragma once

#include "Ref.h"

#include <string>

namespace engine {

// Depth (and stencil) render buffers of a frame buffer. Depth and stencil
// share one packed buffer where the context allows it.
class DepthStencilTarget : public Ref {
public:
    enum Format { DEPTH = 0, DEPTH_STENCIL = 1 };

    static DepthStencilTarget* create(const char* id, Format format, unsigned int width, unsigned int height);
    static DepthStencilTarget* getDepthStencilTarget(const char* id);

    const char* getId() const { return m_id.c_str(); }
    Format getFormat() const { return m_format; }
    unsigned int getWidth() const { return m_width; }
    unsigned int getHeight() const { return m_height; }
    unsigned int getDepthBuffer() const { return m_depthBuffer; }
    // The packed buffer when packed; 0 for a depth-only target.
    unsigned int getStencilBuffer() const { return m_packed ? m_depthBuffer : m_stencilBuffer; }

private:
    DepthStencilTarget(const char* id, Format format, unsigned int width, unsigned int height);
    ~DepthStencilTarget() override;

    // Packed 24/8 storage, else what the extension string allows.
    void allocateStorage();

    std::string m_id;
    Format m_format;
    unsigned int m_width;
    unsigned int m_height;
    unsigned int m_depthBuffer = 0;
    unsigned int m_stencilBuffer = 0;
    bool m_packed = false;
};

} // namespace engine

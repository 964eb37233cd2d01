#pragma once

#include "Ref.h"

#include <string>
#include <vector>

namespace engine {

class DepthStencilTarget;
class RenderTarget;

// An OpenGL frame buffer with colour render targets and a depth-stencil
// target. The default frame buffer is whatever was bound when the engine
// started (a Qt widget draws into its own, not into 0).
class FrameBuffer : public Ref {
public:
    // Wraps the currently bound frame buffer as the default one; needs a
    // current context. finalize() releases it.
    static void initialize();
    static void finalize();
    // Takes the frame buffer bound now as the default one again. A widget
    // may replace its frame buffer (on resize), so each frame starts here.
    static void adoptBoundAsDefault();

    // No render target.
    static FrameBuffer* create(const char* id);
    // With a render target of that size in slot 0 (none for a zero size).
    static FrameBuffer* create(const char* id, unsigned int width, unsigned int height);

    const char* getId() const { return m_id.c_str(); }
    unsigned int getHandle() const { return m_handle; }
    // Those of the render target in slot 0; 0 without one.
    unsigned int getWidth() const;
    unsigned int getHeight() const;

    // Takes a reference; null empties the slot.
    void setRenderTarget(RenderTarget* target, unsigned int index = 0);
    RenderTarget* getRenderTarget(unsigned int index = 0) const;
    void setDepthStencilTarget(DepthStencilTarget* target);
    DepthStencilTarget* getDepthStencilTarget() const { return m_depthStencilTarget; }
    bool isComplete() const;
    bool isDefault() const { return this == s_defaultFrameBuffer; }

    // Makes this the current frame buffer; returns the previous one.
    FrameBuffer* bind();
    static FrameBuffer* bindDefault();
    static FrameBuffer* getDefault() { return s_defaultFrameBuffer; }

private:
    FrameBuffer(const char* id, unsigned int handle);
    ~FrameBuffer() override;

    // Runs 'attach' with this frame buffer bound, then rebinds the current one.
    template <typename Attach>
    void whileBound(Attach attach);
    void selectDrawBuffers();

    static unsigned int maxColorAttachments();

    static FrameBuffer* s_defaultFrameBuffer;
    static FrameBuffer* s_currentFrameBuffer;

    std::string m_id;
    unsigned int m_handle;
    std::vector<RenderTarget*> m_renderTargets;
    DepthStencilTarget* m_depthStencilTarget = nullptr;
};

} // namespace engine

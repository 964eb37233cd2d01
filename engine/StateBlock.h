#pragma once

#include "Ref.h"

namespace engine {

// Fixed-function render state of a material, technique or pass. Only the
// states set away from their defaults are applied; one global block mirrors
// what the OpenGL context currently has away from default so that each pass
// restores what the previous one left and nothing else.
class StateBlock : public Ref {
public:
    enum Blend {
        BLEND_ZERO = 0,
        BLEND_ONE = 1,
        BLEND_SRC_COLOR = 0x0300,
        BLEND_ONE_MINUS_SRC_COLOR = 0x0301,
        BLEND_SRC_ALPHA = 0x0302,
        BLEND_ONE_MINUS_SRC_ALPHA = 0x0303,
        BLEND_DST_ALPHA = 0x0304,
        BLEND_ONE_MINUS_DST_ALPHA = 0x0305,
        BLEND_DST_COLOR = 0x0306,
        BLEND_ONE_MINUS_DST_COLOR = 0x0307,
        BLEND_SRC_ALPHA_SATURATE = 0x0308,
        BLEND_CONSTANT_ALPHA = 0x8003,
        BLEND_ONE_MINUS_CONSTANT_ALPHA = 0x8004
    };
    enum CompareFunction {
        NEVER = 0x0200,
        LESS = 0x0201,
        EQUAL = 0x0202,
        LEQUAL = 0x0203,
        GREATER = 0x0204,
        NOTEQUAL = 0x0205,
        GEQUAL = 0x0206,
        ALWAYS = 0x0207
    };
    enum CullFaceSide {
        CULL_FACE_SIDE_BACK = 0x0405,
        CULL_FACE_SIDE_FRONT = 0x0404,
        CULL_FACE_SIDE_FRONT_AND_BACK = 0x0408
    };
    enum FrontFace { FRONT_FACE_CW = 0x0900, FRONT_FACE_CCW = 0x0901 };
    enum StencilOperation {
        STENCIL_OP_KEEP = 0x1E00,
        STENCIL_OP_ZERO = 0,
        STENCIL_OP_REPLACE = 0x1E01,
        STENCIL_OP_INCR = 0x1E02,
        STENCIL_OP_DECR = 0x1E03,
        STENCIL_OP_INVERT = 0x150A,
        STENCIL_OP_INCR_WRAP = 0x8507,
        STENCIL_OP_DECR_WRAP = 0x8508
    };
    // Which states differ from their defaults.
    enum StateBit {
        STATE_BLEND = 1,
        STATE_BLEND_FUNC = 2,
        STATE_CULL_FACE = 4,
        STATE_DEPTH_TEST = 8,
        STATE_DEPTH_WRITE = 16,
        STATE_DEPTH_FUNC = 32,
        STATE_CULL_FACE_SIDE = 64,
        STATE_STENCIL_TEST = 128,
        STATE_STENCIL_WRITE = 0x100,
        STATE_STENCIL_FUNC = 0x200,
        STATE_STENCIL_OP = 0x400,
        STATE_FRONT_FACE = 0x800
    };

    static StateBlock* create();

    // The block that mirrors the context; created by initialize(), which the
    // game calls once a context exists.
    static void initialize();
    static void finalize();
    // Puts every state the context has away from default, and not in
    // 'keepBits', back to its default.
    static void restore(unsigned int keepBits);
    // Depth writes must be on for a depth clear to work.
    static void enableDepthWrite();

    // Applies this block after restoring everything it does not set.
    void bind();
    // Applies this block's non-default states only.
    void bindNoRestore();

    unsigned int getBits() const { return m_bits; }

    // By the names of material files; unknown names are ignored.
    void setState(const char* name, const char* value);

    void setBlend(bool enabled);
    void setBlendSrc(Blend factor);
    void setBlendDst(Blend factor);
    void setCullFace(bool enabled);
    void setCullFaceSide(CullFaceSide side);
    void setFrontFace(FrontFace winding);
    void setDepthTest(bool enabled);
    void setDepthWrite(bool enabled);
    void setDepthFunction(CompareFunction function);
    void setStencilTest(bool enabled);
    void setStencilWrite(unsigned int mask);
    void setStencilFunction(CompareFunction function, int reference, unsigned int mask);
    void setStencilOperation(StencilOperation stencilFail, StencilOperation depthFail, StencilOperation depthPass);

    bool getBlend() const { return m_blendEnabled; }

private:
    StateBlock() = default;
    ~StateBlock() override = default;

    void setBit(StateBit bit, bool nonDefault);
    // Applies one state of 'source' to the context and to the mirror.
    static void apply(StateBit bit, const StateBlock& source);

    static StateBlock* s_defaultState;

    bool m_cullFaceEnabled = false;
    bool m_depthTestEnabled = false;
    bool m_depthWriteEnabled = true;
    CompareFunction m_depthFunction = LESS;
    bool m_blendEnabled = false;
    Blend m_blendSrc = BLEND_ONE;
    Blend m_blendDst = BLEND_ZERO;
    CullFaceSide m_cullFaceSide = CULL_FACE_SIDE_BACK;
    FrontFace m_frontFace = FRONT_FACE_CCW;
    bool m_stencilTestEnabled = false;
    unsigned int m_stencilWrite = 0xFFFFFFFF;
    CompareFunction m_stencilFunction = ALWAYS;
    int m_stencilFunctionRef = 0;
    unsigned int m_stencilFunctionMask = 0xFFFFFFFF;
    StencilOperation m_stencilOpSfail = STENCIL_OP_KEEP;
    StencilOperation m_stencilOpDpfail = STENCIL_OP_KEEP;
    StencilOperation m_stencilOpDppass = STENCIL_OP_KEEP;
    unsigned int m_bits = 0;
};

} // namespace engine

#include "StateBlock.h"

#include <GL/glew.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace engine {

StateBlock* StateBlock::s_defaultState = nullptr;

namespace {

struct NamedValue {
    const char* name;
    unsigned int value;
};

const NamedValue kBlendFactors[] = {{"ZERO", GL_ZERO},
                                    {"ONE", GL_ONE},
                                    {"SRC_COLOR", GL_SRC_COLOR},
                                    {"ONE_MINUS_SRC_COLOR", GL_ONE_MINUS_SRC_COLOR},
                                    {"DST_COLOR", GL_DST_COLOR},
                                    {"ONE_MINUS_DST_COLOR", GL_ONE_MINUS_DST_COLOR},
                                    {"SRC_ALPHA", GL_SRC_ALPHA},
                                    {"ONE_MINUS_SRC_ALPHA", GL_ONE_MINUS_SRC_ALPHA},
                                    {"DST_ALPHA", GL_DST_ALPHA},
                                    {"ONE_MINUS_DST_ALPHA", GL_ONE_MINUS_DST_ALPHA},
                                    {"CONSTANT_ALPHA", GL_CONSTANT_ALPHA},
                                    {"ONE_MINUS_CONSTANT_ALPHA", GL_ONE_MINUS_CONSTANT_ALPHA},
                                    {"SRC_ALPHA_SATURATE", GL_SRC_ALPHA_SATURATE}};

const NamedValue kCompareFunctions[]
    = {{"NEVER", GL_NEVER},     {"LESS", GL_LESS},         {"EQUAL", GL_EQUAL},   {"LEQUAL", GL_LEQUAL},
       {"GREATER", GL_GREATER}, {"NOTEQUAL", GL_NOTEQUAL}, {"GEQUAL", GL_GEQUAL}, {"ALWAYS", GL_ALWAYS}};

const NamedValue kStencilOperations[]
    = {{"KEEP", GL_KEEP}, {"ZERO", GL_ZERO},     {"REPLACE", GL_REPLACE},     {"INCR", GL_INCR},
       {"DECR", GL_DECR}, {"INVERT", GL_INVERT}, {"INCR_WRAP", GL_INCR_WRAP}, {"DECR_WRAP", GL_DECR_WRAP}};

const NamedValue kCullFaceSides[] = {{"BACK", GL_BACK}, {"FRONT", GL_FRONT}, {"FRONT_AND_BACK", GL_FRONT_AND_BACK}};

const NamedValue kFrontFaces[] = {{"CCW", GL_CCW}, {"CW", GL_CW}};

template <size_t N>
unsigned int lookUp(const NamedValue (&table)[N], const std::string& name, unsigned int fallback)
{
    for (const NamedValue& entry : table) {
        if (name == entry.name)
            return entry.value;
    }
    return fallback;
}

std::string upperCase(const char* text)
{
    std::string result(text ? text : "");
    for (char& c : result)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

bool parseBool(const std::string& upper) { return upper == "TRUE"; }

unsigned int parseUnsigned(const char* text)
{
    unsigned int value = 0;
    return text && std::sscanf(text, "%u", &value) == 1 ? value : 0;
}

int parseInt(const char* text)
{
    int value = 0;
    return text && std::sscanf(text, "%d", &value) == 1 ? value : 0;
}

void enableOrDisable(GLenum capability, bool enabled)
{
    if (enabled)
        glEnable(capability);
    else
        glDisable(capability);
}

} // namespace

StateBlock* StateBlock::create() { return new StateBlock(); }

void StateBlock::initialize()
{
    if (!s_defaultState)
        s_defaultState = new StateBlock();
}

void StateBlock::finalize() { releaseRef(s_defaultState); }

void StateBlock::setBit(StateBit bit, bool nonDefault)
{
    if (nonDefault)
        m_bits |= bit;
    else
        m_bits &= ~unsigned(bit);
}

void StateBlock::setBlend(bool enabled)
{
    m_blendEnabled = enabled;
    setBit(STATE_BLEND, enabled);
}

void StateBlock::setBlendSrc(Blend factor)
{
    m_blendSrc = factor;
    setBit(STATE_BLEND_FUNC, m_blendSrc != BLEND_ONE || m_blendDst != BLEND_ZERO);
}

void StateBlock::setBlendDst(Blend factor)
{
    m_blendDst = factor;
    setBit(STATE_BLEND_FUNC, m_blendSrc != BLEND_ONE || m_blendDst != BLEND_ZERO);
}

void StateBlock::setCullFace(bool enabled)
{
    m_cullFaceEnabled = enabled;
    setBit(STATE_CULL_FACE, enabled);
}

void StateBlock::setCullFaceSide(CullFaceSide side)
{
    m_cullFaceSide = side;
    setBit(STATE_CULL_FACE_SIDE, side != CULL_FACE_SIDE_BACK);
}

void StateBlock::setFrontFace(FrontFace winding)
{
    m_frontFace = winding;
    setBit(STATE_FRONT_FACE, winding != FRONT_FACE_CCW);
}

void StateBlock::setDepthTest(bool enabled)
{
    m_depthTestEnabled = enabled;
    setBit(STATE_DEPTH_TEST, enabled);
}

void StateBlock::setDepthWrite(bool enabled)
{
    m_depthWriteEnabled = enabled;
    setBit(STATE_DEPTH_WRITE, !enabled);
}

void StateBlock::setDepthFunction(CompareFunction function)
{
    m_depthFunction = function;
    setBit(STATE_DEPTH_FUNC, function != LESS);
}

void StateBlock::setStencilTest(bool enabled)
{
    m_stencilTestEnabled = enabled;
    setBit(STATE_STENCIL_TEST, enabled);
}

void StateBlock::setStencilWrite(unsigned int mask)
{
    m_stencilWrite = mask;
    setBit(STATE_STENCIL_WRITE, mask != 0xFFFFFFFF);
}

void StateBlock::setStencilFunction(CompareFunction function, int reference, unsigned int mask)
{
    m_stencilFunction = function;
    m_stencilFunctionRef = reference;
    m_stencilFunctionMask = mask;
    setBit(STATE_STENCIL_FUNC, function != ALWAYS || reference != 0 || mask != 0xFFFFFFFF);
}

void StateBlock::setStencilOperation(StencilOperation stencilFail, StencilOperation depthFail,
                                     StencilOperation depthPass)
{
    m_stencilOpSfail = stencilFail;
    m_stencilOpDpfail = depthFail;
    m_stencilOpDppass = depthPass;
    setBit(STATE_STENCIL_OP,
           stencilFail != STENCIL_OP_KEEP || depthFail != STENCIL_OP_KEEP || depthPass != STENCIL_OP_KEEP);
}

void StateBlock::setState(const char* name, const char* value)
{
    if (!name)
        return;
    const std::string key(name);
    const std::string upper = upperCase(value);
    auto blend = [&](unsigned int fallback) { return Blend(lookUp(kBlendFactors, upper, fallback)); };
    auto compare = [&](unsigned int fallback) { return CompareFunction(lookUp(kCompareFunctions, upper, fallback)); };
    auto stencilOp = [&]() { return StencilOperation(lookUp(kStencilOperations, upper, GL_KEEP)); };
    if (key == "blend")
        setBlend(parseBool(upper));
    else if (key == "blendSrc" || key == "srcBlend")
        setBlendSrc(blend(GL_ONE));
    else if (key == "blendDst" || key == "dstBlend")
        setBlendDst(blend(GL_ONE));
    else if (key == "cullFace")
        setCullFace(parseBool(upper));
    else if (key == "cullFaceSide")
        setCullFaceSide(CullFaceSide(lookUp(kCullFaceSides, upper, GL_BACK)));
    else if (key == "frontFace")
        setFrontFace(FrontFace(lookUp(kFrontFaces, upper, GL_CCW)));
    else if (key == "depthTest")
        setDepthTest(parseBool(upper));
    else if (key == "depthWrite")
        setDepthWrite(parseBool(upper));
    else if (key == "depthFunc")
        setDepthFunction(compare(GL_LESS));
    else if (key == "stencilTest")
        setStencilTest(parseBool(upper));
    else if (key == "stencilWrite")
        setStencilWrite(parseUnsigned(value));
    else if (key == "stencilFunc")
        setStencilFunction(compare(GL_ALWAYS), m_stencilFunctionRef, m_stencilFunctionMask);
    else if (key == "stencilFuncRef")
        setStencilFunction(m_stencilFunction, parseInt(value), m_stencilFunctionMask);
    else if (key == "stencilFuncMask")
        setStencilFunction(m_stencilFunction, m_stencilFunctionRef, parseUnsigned(value));
    else if (key == "stencilOpSfail")
        setStencilOperation(stencilOp(), m_stencilOpDpfail, m_stencilOpDppass);
    else if (key == "stencilOpDpfail")
        setStencilOperation(m_stencilOpSfail, stencilOp(), m_stencilOpDppass);
    else if (key == "stencilOpDppass")
        setStencilOperation(m_stencilOpSfail, m_stencilOpDpfail, stencilOp());
}

void StateBlock::apply(StateBit bit, const StateBlock& source)
{
    StateBlock& mirror = *s_defaultState;
    switch (bit) {
    case STATE_BLEND:
        enableOrDisable(GL_BLEND, source.m_blendEnabled);
        mirror.setBlend(source.m_blendEnabled);
        break;
    case STATE_BLEND_FUNC:
        glBlendFunc(source.m_blendSrc, source.m_blendDst);
        mirror.setBlendSrc(source.m_blendSrc);
        mirror.setBlendDst(source.m_blendDst);
        break;
    case STATE_CULL_FACE:
        enableOrDisable(GL_CULL_FACE, source.m_cullFaceEnabled);
        mirror.setCullFace(source.m_cullFaceEnabled);
        break;
    case STATE_CULL_FACE_SIDE:
        glCullFace(source.m_cullFaceSide);
        mirror.setCullFaceSide(source.m_cullFaceSide);
        break;
    case STATE_FRONT_FACE:
        glFrontFace(source.m_frontFace);
        mirror.setFrontFace(source.m_frontFace);
        break;
    case STATE_DEPTH_TEST:
        enableOrDisable(GL_DEPTH_TEST, source.m_depthTestEnabled);
        mirror.setDepthTest(source.m_depthTestEnabled);
        break;
    case STATE_DEPTH_WRITE:
        glDepthMask(source.m_depthWriteEnabled ? GL_TRUE : GL_FALSE);
        mirror.setDepthWrite(source.m_depthWriteEnabled);
        break;
    case STATE_DEPTH_FUNC:
        glDepthFunc(source.m_depthFunction);
        mirror.setDepthFunction(source.m_depthFunction);
        break;
    case STATE_STENCIL_TEST:
        enableOrDisable(GL_STENCIL_TEST, source.m_stencilTestEnabled);
        mirror.setStencilTest(source.m_stencilTestEnabled);
        break;
    case STATE_STENCIL_WRITE:
        glStencilMask(source.m_stencilWrite);
        mirror.setStencilWrite(source.m_stencilWrite);
        break;
    case STATE_STENCIL_FUNC:
        glStencilFunc(source.m_stencilFunction, source.m_stencilFunctionRef, source.m_stencilFunctionMask);
        mirror.setStencilFunction(source.m_stencilFunction, source.m_stencilFunctionRef, source.m_stencilFunctionMask);
        break;
    case STATE_STENCIL_OP:
        glStencilOp(source.m_stencilOpSfail, source.m_stencilOpDpfail, source.m_stencilOpDppass);
        mirror.setStencilOperation(source.m_stencilOpSfail, source.m_stencilOpDpfail, source.m_stencilOpDppass);
        break;
    }
}

namespace {

const StateBlock::StateBit kAllBits[]
    = {StateBlock::STATE_BLEND,          StateBlock::STATE_BLEND_FUNC,   StateBlock::STATE_CULL_FACE,
       StateBlock::STATE_DEPTH_TEST,     StateBlock::STATE_DEPTH_WRITE,  StateBlock::STATE_DEPTH_FUNC,
       StateBlock::STATE_CULL_FACE_SIDE, StateBlock::STATE_STENCIL_TEST, StateBlock::STATE_STENCIL_WRITE,
       StateBlock::STATE_STENCIL_FUNC,   StateBlock::STATE_STENCIL_OP,   StateBlock::STATE_FRONT_FACE};

} // namespace

void StateBlock::restore(unsigned int keepBits)
{
    if (!s_defaultState)
        return;
    static const StateBlock kDefaults;
    for (StateBit bit : kAllBits) {
        if ((s_defaultState->m_bits & bit) && !(keepBits & bit))
            apply(bit, kDefaults);
    }
}

void StateBlock::enableDepthWrite()
{
    if (s_defaultState && !s_defaultState->m_depthWriteEnabled) {
        glDepthMask(GL_TRUE);
        s_defaultState->setDepthWrite(true);
    }
}

void StateBlock::bind()
{
    restore(m_bits);
    bindNoRestore();
}

void StateBlock::bindNoRestore()
{
    if (!s_defaultState)
        return;
    for (StateBit bit : kAllBits) {
        if (m_bits & bit)
            apply(bit, *this);
    }
}

} // namespace engine

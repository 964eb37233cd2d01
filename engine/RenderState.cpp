#include "RenderState.h"

#include "Camera.h"
#include "Effect.h"
#include "MaterialParameter.h"
#include "MeshSkin.h"
#include "Model.h"
#include "Node.h"
#include "Pass.h"
#include "Scene.h"
#include "Technique.h"

#include <algorithm>
#include <cstring>

namespace engine {

namespace {

const char* const kAutoBindingNames[] = {"WORLD_MATRIX",
                                         "VIEW_MATRIX",
                                         "PROJECTION_MATRIX",
                                         "WORLD_VIEW_MATRIX",
                                         "VIEW_PROJECTION_MATRIX",
                                         "WORLD_VIEW_PROJECTION_MATRIX",
                                         "INVERSE_TRANSPOSE_WORLD_MATRIX",
                                         "INVERSE_TRANSPOSE_WORLD_VIEW_MATRIX",
                                         "CAMERA_WORLD_POSITION",
                                         "CAMERA_VIEW_POSITION",
                                         "MATRIX_PALETTE",
                                         "SCENE_AMBIENT_COLOR"};

const MeshSkin* skinOf(const Node* node)
{
    const Model* model = node ? dynamic_cast<const Model*>(node->getDrawable()) : nullptr;
    return model ? model->getSkin() : nullptr;
}

} // namespace

RenderState::AutoBinding RenderState::autoBindingFromName(const char* name)
{
    if (!name)
        return NONE;
    for (int i = 0; i < int(sizeof(kAutoBindingNames) / sizeof(kAutoBindingNames[0])); ++i) {
        if (std::strcmp(name, kAutoBindingNames[i]) == 0)
            return AutoBinding(i + 1);
    }
    return NONE;
}

void RenderState::initialize() { StateBlock::initialize(); }

void RenderState::finalize() { StateBlock::finalize(); }

RenderState::~RenderState()
{
    for (MaterialParameter* parameter : m_parameters)
        parameter->release();
    releaseRef(m_state);
}

MaterialParameter* RenderState::findParameter(const char* name) const
{
    if (!name)
        return nullptr;
    for (MaterialParameter* parameter : m_parameters) {
        if (std::strcmp(parameter->getName(), name) == 0)
            return parameter;
    }
    return nullptr;
}

MaterialParameter* RenderState::getParameter(const char* name) const
{
    if (!name)
        return nullptr;
    if (MaterialParameter* found = findParameter(name))
        return found;
    MaterialParameter* parameter = MaterialParameter::create(name);
    m_parameters.push_back(parameter);
    return parameter;
}

MaterialParameter* RenderState::getParameterByIndex(unsigned int index) const
{
    return index < m_parameters.size() ? m_parameters[index] : nullptr;
}

void RenderState::setParameterAutoBinding(const char* name, const char* autoBinding)
{
    if (!name || !autoBinding)
        return;
    m_autoBindings[name] = autoBinding;
    applyAutoBinding(name, autoBindingFromName(autoBinding));
}

// The getters read the node bound at draw time, so a binding made before any
// node is bound works once one is.
void RenderState::applyAutoBinding(const std::string& name, AutoBinding binding)
{
    if (binding == NONE)
        return;
    MaterialParameter* parameter = getParameter(name.c_str());
    switch (binding) {
    case WORLD_MATRIX:
        parameter->bindValue(this, &RenderState::autoBindingWorldMatrix);
        break;
    case VIEW_MATRIX:
        parameter->bindValue(this, &RenderState::autoBindingViewMatrix);
        break;
    case PROJECTION_MATRIX:
        parameter->bindValue(this, &RenderState::autoBindingProjectionMatrix);
        break;
    case WORLD_VIEW_MATRIX:
        parameter->bindValue(this, &RenderState::autoBindingWorldViewMatrix);
        break;
    case VIEW_PROJECTION_MATRIX:
        parameter->bindValue(this, &RenderState::autoBindingViewProjectionMatrix);
        break;
    case WORLD_VIEW_PROJECTION_MATRIX:
        parameter->bindValue(this, &RenderState::autoBindingWorldViewProjectionMatrix);
        break;
    case INVERSE_TRANSPOSE_WORLD_MATRIX:
        parameter->bindValue(this, &RenderState::autoBindingInverseTransposeWorldMatrix);
        break;
    case INVERSE_TRANSPOSE_WORLD_VIEW_MATRIX:
        parameter->bindValue(this, &RenderState::autoBindingInverseTransposeWorldViewMatrix);
        break;
    case CAMERA_WORLD_POSITION:
        parameter->bindValue(this, &RenderState::autoBindingCameraWorldPosition);
        break;
    case CAMERA_VIEW_POSITION:
        parameter->bindValue(this, &RenderState::autoBindingCameraViewPosition);
        break;
    case MATRIX_PALETTE:
        parameter->bindValue(this, &RenderState::autoBindingMatrixPalette, &RenderState::autoBindingMatrixPaletteSize);
        break;
    case SCENE_AMBIENT_COLOR:
        parameter->bindValue(this, &RenderState::autoBindingAmbientColor);
        break;
    case NONE:
        break;
    }
}

void RenderState::setNodeBinding(Node* node) { m_nodeBinding = node; }

RenderState::StateBlock* RenderState::getStateBlock() const
{
    if (!m_state)
        m_state = StateBlock::create();
    return m_state;
}

Matrix RenderState::autoBindingWorldMatrix() const
{
    return m_nodeBinding ? m_nodeBinding->getWorldMatrix() : Matrix();
}

Matrix RenderState::autoBindingViewMatrix() const { return m_nodeBinding ? m_nodeBinding->getViewMatrix() : Matrix(); }

Matrix RenderState::autoBindingProjectionMatrix() const
{
    return m_nodeBinding ? m_nodeBinding->getProjectionMatrix() : Matrix();
}

Matrix RenderState::autoBindingWorldViewMatrix() const
{
    return m_nodeBinding ? m_nodeBinding->getWorldViewMatrix() : Matrix();
}

Matrix RenderState::autoBindingViewProjectionMatrix() const
{
    return m_nodeBinding ? m_nodeBinding->getViewProjectionMatrix() : Matrix();
}

Matrix RenderState::autoBindingWorldViewProjectionMatrix() const
{
    return m_nodeBinding ? m_nodeBinding->getWorldViewProjectionMatrix() : Matrix();
}

Matrix RenderState::autoBindingInverseTransposeWorldMatrix() const
{
    return m_nodeBinding ? m_nodeBinding->getInverseTransposeWorldMatrix() : Matrix();
}

Matrix RenderState::autoBindingInverseTransposeWorldViewMatrix() const
{
    return m_nodeBinding ? m_nodeBinding->getInverseTransposeWorldViewMatrix() : Matrix();
}

Vector3 RenderState::autoBindingCameraWorldPosition() const
{
    return m_nodeBinding ? m_nodeBinding->getActiveCameraTranslationWorld() : Vector3();
}

Vector3 RenderState::autoBindingCameraViewPosition() const
{
    return m_nodeBinding ? m_nodeBinding->getActiveCameraTranslationView() : Vector3();
}

const Vector4* RenderState::autoBindingMatrixPalette() const
{
    const MeshSkin* skin = skinOf(m_nodeBinding);
    return skin ? skin->getMatrixPalette() : nullptr;
}

unsigned int RenderState::autoBindingMatrixPaletteSize() const
{
    const MeshSkin* skin = skinOf(m_nodeBinding);
    return skin ? skin->getMatrixPaletteSize() : 0;
}

Vector3 RenderState::autoBindingAmbientColor() const
{
    const Scene* scene = m_nodeBinding ? m_nodeBinding->getScene() : nullptr;
    return scene ? scene->getAmbientColor() : Vector3();
}

void RenderState::bindParameters(Effect* effect) const
{
    for (MaterialParameter* parameter : m_parameters)
        parameter->bind(effect);
}

void RenderState::bindPass(Pass* pass)
{
    RenderState* const chain[3]
        = {pass->getTechnique() ? pass->getTechnique()->getParent() : nullptr, pass->getTechnique(), pass};
    unsigned int keepBits = 0;
    for (RenderState* state : chain) {
        if (state && state->m_state)
            keepBits |= state->m_state->getBits();
    }
    StateBlock::restore(keepBits);
    Effect* effect = pass->getEffect();
    effect->bind();
    for (RenderState* state : chain) {
        if (state)
            state->bindParameters(effect);
    }
    for (RenderState* state : chain) {
        if (state && state->m_state)
            state->m_state->bindNoRestore();
    }
}

} // namespace engine

#pragma once

#include "Ref.h"
#include "StateBlock.h"
#include "math/Matrix.h"
#include "math/Vector3.h"
#include "math/Vector4.h"

#include <map>
#include <string>
#include <vector>

namespace engine {

class Effect;
class MaterialParameter;
class Node;
class Pass;

// What a material, a technique and a pass have in common: shader parameters,
// named auto-bindings to the node being drawn, and a state block. A pass's
// parent is its technique, a technique's is its material.
class RenderState : public Ref {
public:
    using StateBlock = engine::StateBlock;

    enum AutoBinding {
        NONE = 0,
        WORLD_MATRIX = 1,
        VIEW_MATRIX = 2,
        PROJECTION_MATRIX = 3,
        WORLD_VIEW_MATRIX = 4,
        VIEW_PROJECTION_MATRIX = 5,
        WORLD_VIEW_PROJECTION_MATRIX = 6,
        INVERSE_TRANSPOSE_WORLD_MATRIX = 7,
        INVERSE_TRANSPOSE_WORLD_VIEW_MATRIX = 8,
        CAMERA_WORLD_POSITION = 9,
        CAMERA_VIEW_POSITION = 10,
        MATRIX_PALETTE = 11,
        SCENE_AMBIENT_COLOR = 12
    };

    // NONE for a text that names none of the twelve.
    static AutoBinding autoBindingFromName(const char* name);

    // Starts and ends the render state system (the mirror of the context's
    // state); needs a current context.
    static void initialize();
    static void finalize();

    // Created on first request.
    MaterialParameter* getParameter(const char* name) const;
    // Null when not created yet.
    MaterialParameter* findParameter(const char* name) const;
    unsigned int getParameterCount() const { return static_cast<unsigned int>(m_parameters.size()); }
    MaterialParameter* getParameterByIndex(unsigned int index) const;

    // The parameter takes its value from the node bound to this render state
    // (see the AutoBinding names). Texts that name no auto-binding are kept.
    void setParameterAutoBinding(const char* name, const char* autoBinding);

    // Also binds the techniques and passes below.
    virtual void setNodeBinding(Node* node);
    Node* getNodeBinding() const { return m_nodeBinding; }

    // Created on first request.
    StateBlock* getStateBlock() const;

    RenderState* getParent() const { return m_parent; }

    // Auto-binding getters: identity matrices and zero vectors without a node.
    Matrix autoBindingWorldMatrix() const;
    Matrix autoBindingViewMatrix() const;
    Matrix autoBindingProjectionMatrix() const;
    Matrix autoBindingWorldViewMatrix() const;
    Matrix autoBindingViewProjectionMatrix() const;
    Matrix autoBindingWorldViewProjectionMatrix() const;
    Matrix autoBindingInverseTransposeWorldMatrix() const;
    Matrix autoBindingInverseTransposeWorldViewMatrix() const;
    Vector3 autoBindingCameraWorldPosition() const;
    Vector3 autoBindingCameraViewPosition() const;
    const Vector4* autoBindingMatrixPalette() const;
    unsigned int autoBindingMatrixPaletteSize() const;
    Vector3 autoBindingAmbientColor() const;

protected:
    RenderState() = default;
    ~RenderState() override;

    void setParent(RenderState* parent) { m_parent = parent; }
    // Binds 'pass' with its technique and material: restores the state the
    // three do not set, makes the effect current, uploads every parameter
    // from the material down and applies their state blocks.
    static void bindPass(Pass* pass);
    // For copies of a render state (clones keep values, not bindings).
    void applyAutoBinding(const std::string& name, AutoBinding binding);

private:
    RenderState(const RenderState&) = delete;
    RenderState& operator=(const RenderState&) = delete;

    void bindParameters(Effect* effect) const;

    mutable std::vector<MaterialParameter*> m_parameters;
    std::map<std::string, std::string> m_autoBindings;
    Node* m_nodeBinding = nullptr;
    mutable StateBlock* m_state = nullptr;
    RenderState* m_parent = nullptr;
};

} // namespace engine

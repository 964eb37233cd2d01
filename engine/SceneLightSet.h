#pragma once

#include "Light.h"
#include "MethodBinding.h"
#include "math/Vector3.h"

#include <vector>

namespace engine {

class Material;

// The scene lights of one kind that light a material at once, as the uniform
// arrays of the model shader take them ("u_spotLightColors" and so on).
// Colours, ranges and cones are set once; positions and directions follow
// the light nodes, in view space, every time the material is bound.
class SceneLightSet : public MethodBinding {
public:
    // A light's brightest channel above one is its intensity folded into the
    // colour by the importer; only the hue is kept, at full strength.
    static Vector3 shaderColor(const Light& light);

    // How much `light` gives at `worldPoint`: its strongest channel (at most
    // one), weakened by range and cone as the model shader weakens it.
    static float influenceAt(const Light& light, const Vector3& worldPoint);

    // Keeps the `count` lights of `type` from `lights` that give `worldPoint`
    // the most light, strongest first; ties keep the given order.
    static std::vector<Light*> strongest(const std::vector<Light*>& lights, Light::Type type, unsigned int count,
                                         const Vector3& worldPoint);

    // Sets the arrays of one kind on the material, each colour scaled by
    // `exposure`; fewer lights than the shader's count leave the rest black.
    static void bind(Material* material, Light::Type type, const std::vector<Light*>& lights, unsigned int count,
                     float exposure);

    void setValue(Effect* effect, Uniform* uniform) override;

private:
    enum class Quantity { PositionView, ForwardView };

    SceneLightSet(const std::vector<Light*>& lights, Quantity quantity, unsigned int count);
    ~SceneLightSet() override = default;

    std::vector<Light*> m_lights; // owned by their nodes, which live as long as the model's scene
    Quantity m_quantity;
    std::vector<Vector3> m_values; // one per shader slot
};

} // namespace engine

#pragma once

#include "Light.h"
#include "MethodBinding.h"
#include "math/BoundingSphere.h"
#include "math/Vector3.h"

#include <vector>

namespace engine {

class Material;
class Node;

// The scene lights of one kind that light a material at once, as the uniform
// arrays of the model shader take them ("u_spotLightColors" and so on).
// Every time the material is bound, the lights that can reach the lit node
// where it stands now are packed to the front of the arrays, positions and
// directions in view space, and the slots after them are black: the shader
// stops at the first black light. A light whose range or cone misses the mesh
// then costs no shading where the driver branches on uniform values (GPUs);
// Mesa's llvmpipe runs such branches masked and saves nothing measurable.
class SceneLightSet : public MethodBinding {
public:
    // The kinds of scene light, in the order the shader's loops take them.
    static constexpr Light::Type kTypes[] = {Light::DIRECTIONAL, Light::POINT, Light::SPOT};
    // The material define that says how many lights of `type` its shader
    // takes ("POINT_LIGHT_COUNT 4").
    static const char* countDefine(Light::Type type);

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

    // Whether `light` can give any point of `bounds` (world space) light:
    // within its range and, for a spot, its outer cone; black lights reach
    // nothing.
    static bool reaches(const Light& light, const BoundingSphere& bounds);

    // Binds the arrays of one kind on the material, each colour scaled by
    // `exposure`; fewer lights than the shader's count leave the rest black.
    // Lights that cannot reach `litNode` (null: any node) are left out.
    static void bind(Material* material, Light::Type type, const std::vector<Light*>& lights, unsigned int count,
                     float exposure, const Node* litNode = nullptr);

    void setValue(Effect* effect, Uniform* uniform) override;

private:
    enum class Quantity { Color, PositionView, ForwardView, RangeInverse, InnerAngleCos, OuterAngleCos };

    struct Packing {
        std::vector<Light*> lights; // owned by their nodes, which live as long as the model's scene
        const Node* litNode;
        float exposure;
    };

    SceneLightSet(const Packing& packing, Quantity quantity, unsigned int count);
    ~SceneLightSet() override = default;

    // The lights that reach the lit node now, in their order.
    void pack();
    Vector3 vectorOf(const Light& light) const;
    float numberOf(const Light& light) const;

    Packing m_packing;
    Quantity m_quantity;
    std::vector<Light*> m_packed; // capacity kept from bind to bind
    std::vector<Vector3> m_vectors; // one per shader slot, for vector quantities
    std::vector<float> m_numbers; // one per shader slot, for the others
};

} // namespace engine

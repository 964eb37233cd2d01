#pragma once

#include <array>
#include <vector>

namespace engine {
class Light;
class Material;
class Model;
class Node;
class Scene;
} // namespace engine

// Lights opaque models under scene lights in two steps: their surfaces are
// drawn once into targets of their own (colour, normal, specular, the unlit
// share and depth), then one pass over the view adds every light to each
// pixel. A light then costs once per pixel on screen rather than once per
// fragment drawn, which matters most for dense meshes, where every triangle
// covers about a pixel and a rasteriser shades whole blocks for each.
// The picture is the one the materials' own lit draw gives, but that in a
// multisampled frame buffer a lit pixel is written to all its samples: the
// edges of these models are not smoothed there.
class DeferredLighting {
public:
    // The scene's lights of each kind, indexed by engine::Light::Type.
    using LightCounts = std::array<unsigned int, 4>;
    // A rectangle of pixels, from the lower left as OpenGL counts them.
    struct PixelRect {
        int x;
        int y;
        int width;
        int height;
    };

    DeferredLighting() = default;
    ~DeferredLighting();

    DeferredLighting(const DeferredLighting&) = delete;
    DeferredLighting& operator=(const DeferredLighting&) = delete;

    // Whether `node` can be lit this way: every material it draws has the
    // surface and light pass techniques, and room for all of the scene's
    // lights of each kind (with more, each material keeps its own choice).
    static bool canLight(const engine::Node* node, const LightCounts& lights);

    // Draws `nodes` (each passing canLight among `lights`, all the scene's)
    // into the bound frame buffer and
    // viewport, first after its depth was cleared: the light pass shades
    // only pixels nearer than the far plane. The depth they leave is theirs,
    // so what is drawn after them is hidden as usual. Returns the mesh parts drawn, or -1 when nothing
    // was drawn because the targets or the light pass cannot be made: the
    // caller then draws the nodes as usual.
    int draw(const std::vector<engine::Node*>& nodes, const std::vector<engine::Light*>& lights, engine::Scene* scene);

private:
    enum Target { Color, Normal, Specular, Unlit, TargetCount };

    bool prepareTargets(int width, int height);
    void releaseTargets();
    bool prepareDepthCopy();
    bool prepareLightPass(const engine::Material* source, const std::vector<engine::Light*>& lights,
                          engine::Scene* scene);
    int drawSurfaces(const std::vector<engine::Node*>& nodes, const int viewport[4]);
    void lightSurfaces();

    int m_width = 0;
    int m_height = 0;
    unsigned int m_frameBuffer = 0;
    unsigned int m_depthTexture = 0;
    unsigned int m_textures[TargetCount] = {};

    engine::Model* m_lightPass = nullptr; // a quad over the view
    engine::Model* m_depthCopy = nullptr; // the same, writing the surfaces' depth
    std::vector<engine::Light*> m_boundLights; // those m_lightPass was given
};

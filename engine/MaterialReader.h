#pragma once

#include "BundleProblem.h"
#include "Material.h"

#include <string>

namespace engine {

class Properties;
class RenderState;
class Technique;

// Builds a Material from a "material" namespace of a material file: its
// techniques and passes, their parameters, samplers and render states, and
// the techniques made of every pass (see PassVariant).
class MaterialReader {
public:
    MaterialReader() = delete;

    // Null for anything but a "material" namespace, or when a pass fails.
    // Shader and texture paths are relative to the resource folder 'folder';
    // those that leave it are refused and, with 'problems', reported there.
    static Material* read(const std::string& folder, Properties* properties, Material::PassCallback callback,
                          void* cookie, BundleProblems* problems = nullptr);

    // The kind of parameter a value's text gives.
    enum ValueKind { TEXT, FLOAT, VECTOR2, VECTOR3, VECTOR4, MATRIX };
    static ValueKind valueKind(const char* value);

    // The techniques each pass of a file gives: the pass as written, a flat
    // colour for picking, and for "DEFERRED_LIGHTING" passes the surface
    // ("GBUFFER") and the light pass ("LIGHT_PASS") of deferred lighting.
    enum class PassVariant { Drawn, ColorPicking, Surface, LightPass };

    // Parameters, samplers and "renderState" blocks of one namespace.
    static void readRenderState(RenderState* state, Properties* properties);

private:
    static Material* readMaterial(Properties* properties, Material::PassCallback callback, void* cookie);
    static bool readTechnique(Material* material, Properties* properties, Material::PassCallback callback,
                              void* cookie);
    // The pass, or null when its effect does not build.
    static Pass* readPass(Technique* technique, Properties* properties, Material::PassCallback callback, void* cookie,
                          PassVariant variant);
    // A technique of the variant of one pass; null when it does not build.
    static Technique* readVariant(Material* material, Properties* pass, Material::PassCallback callback, void* cookie,
                                  PassVariant variant);
    static void readParameter(RenderState* state, Properties* properties, const char* name, const char* value);
    static void readSampler(RenderState* state, Properties* sampler);
    static void addDefines(Material* material, const std::string& defines);
};

} // namespace engine

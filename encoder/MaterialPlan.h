#pragma once

#include <string>
#include <vector>

// Everything the material file will say, decided before it is written: one
// block per material id the bundle names, with the values, sampler, render
// state and shader defines already chosen. MaterialWriter only formats it.

enum class TextureWrap { REPEAT, CLAMP };
enum class FrontFace { CCW, CW };

struct PlannedSampler {
    std::string path; // relative to the model folder
    bool mipmap = false;
    TextureWrap wrapS = TextureWrap::REPEAT;
    TextureWrap wrapT = TextureWrap::REPEAT;
};

struct PlannedMaterial {
    std::string id;
    float diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    bool specular = false;
    float specularColor[3] = {0, 0, 0};
    float specularExponent = 0;
    bool matrixPalette = false;
    bool sceneLights = false; // lit by the scene's lights, not the viewer's own fixed to the world
    bool textured = false;
    PlannedSampler sampler; // only when textured
    bool emissive = false;
    float emissiveColor[3] = {0, 0, 0}; // multiplies the emissive map when there is one
    bool emissiveTextured = false;
    PlannedSampler emissiveSampler; // only when emissiveTextured
    bool cullFace = false;
    FrontFace frontFace = FrontFace::CCW;
    bool blend = false;
    std::vector<std::string> defines;
};

struct MaterialPlan {
    std::string path; // the material file beside the bundle
    std::vector<PlannedMaterial> materials;
};

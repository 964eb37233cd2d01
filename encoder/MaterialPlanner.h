#pragma once

#include "BundlePlan.h"
#include "EncoderOptions.h"
#include "MaterialPlan.h"
#include "Messages.h"

#include <assimp/material.h>

#include <array>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

struct aiScene;
struct ExportedTexture;

// A map as the source names it; an empty path: none.
struct SourceTexture {
    std::string path;
    aiTextureMapMode wrapU = aiTextureMapMode_Wrap;
    aiTextureMapMode wrapV = aiTextureMapMode_Wrap;
};
class TextureExporter;

// What a mesh part needs from the shader that draws it; part of a material id,
// because two parts with the same source material but different vertex data
// need different shader defines.
struct MaterialUsage {
    unsigned jointCount = 0; // 0: not skinned; else the skin's joint count (the SKINNING define needs it)
    bool vertexColors = false;
    bool texCoords = false; // the mesh has a first texture coordinate set
    bool tangents = false; // tangent + binormal present
    // Scene lights the shader takes, per kind: directional, point, spot. All
    // zero: the viewer's own lights.
    std::array<unsigned, 3> lightCounts = {0, 0, 0};
};

// Decides the materials of the file beside the bundle ("model.material" for
// "model.gpb"): hands out the ids the bundle names, exports the textures they
// use into "tex/" below the model folder, and chooses values, render state and
// shader defines. Warns where the source cannot be carried over as it is.
class MaterialPlanner {
public:
    // A skin with more joints than this may not fit into the uniform space of
    // older graphics cards (three vec4 per joint).
    static constexpr unsigned kJointWarningLimit = 80;

    MaterialPlanner(const aiScene& scene, const EncoderOptions& options, const std::string& modelFolder,
                    Messages& messages);
    ~MaterialPlanner();

    // The "DiffuseFactor" of FBX materials by name (see SourceProbe::diffuseFactors): it multiplies their diffuse map.
    void setDiffuseFactors(const std::map<std::string, float>& factors);

    // The material id that the bundle's model entry names for one mesh part drawn with source material
    // `materialIndex` (aiMesh::mMaterialIndex) and the given usage. Same inputs give the same id.
    std::string materialFor(unsigned materialIndex, const MaterialUsage& usage);

    // The blocks for the ids handed out so far, in that order; exports the textures they name.
    MaterialPlan plan();

private:
    struct Request {
        unsigned materialIndex;
        MaterialUsage usage;
        std::string id;
    };

    PlannedMaterial plannedMaterial(const Request& request);
    // Exports one map of a material; true when the request's mesh can draw it (it has texture coordinates).
    bool plannedSampler(const SourceTexture& source, const std::string& material, const Request& request,
                        PlannedSampler& sampler, bool* translucent = nullptr);
    std::string materialName(unsigned materialIndex) const;
    std::string materialFilePath() const;
    std::string sourceFolder() const;

    const aiScene& m_scene;
    EncoderOptions m_options;
    std::string m_modelFolder;
    Messages& m_messages;
    std::vector<Request> m_requests;
    std::map<std::tuple<unsigned, unsigned, bool, bool, bool, std::array<unsigned, 3>>, std::string> m_idByKey;
    std::map<unsigned, std::string> m_baseIdByMaterial;
    std::set<std::string> m_usedIds;
    std::set<unsigned> m_warnedJointCounts;
    std::set<unsigned> m_warnedMaterials;
    std::map<std::string, float> m_diffuseFactors;
    std::unique_ptr<TextureExporter> m_textures; // made on first use: it writes into the model folder
};

#pragma once

#include "EncoderOptions.h"
#include "Messages.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

struct aiScene;
struct ExportedTexture;
class TextureExporter;

// What a mesh part needs from the shader that draws it; part of a material id,
// because two parts with the same source material but different vertex data
// need different shader defines.
struct MaterialUsage {
    unsigned jointCount = 0; // 0: not skinned; else the skin's joint count (the SKINNING define needs it)
    bool vertexColors = false;
    bool texCoords = false; // the mesh has a first texture coordinate set
    bool tangents = false; // tangent + binormal present
};

// Writes the material file beside the bundle ("model.material" for
// "model.gpb") and copies the textures it names into "tex/" below the model
// folder. Every material draws with the shaders in "shaders/" of the model
// folder; its defines say which parts of those shaders are used.
class MaterialWriter {
public:
    // A skin with more joints than this may not fit into the uniform space of
    // older graphics cards (three vec4 per joint).
    static constexpr unsigned kJointWarningLimit = 80;

    MaterialWriter(const aiScene& scene, const EncoderOptions& options, const std::string& modelFolder,
                   Messages& messages);
    ~MaterialWriter();

    void setLightCounts(unsigned directional, unsigned point, unsigned spot); // lights the bundle's scene has

    // The material id that the bundle's model entry names for one mesh part drawn with source material
    // `materialIndex` (aiMesh::mMaterialIndex) and the given usage. Same inputs give the same id.
    std::string materialFor(unsigned materialIndex, const MaterialUsage& usage);

    // Writes "model.material" (temp name + rename) and the textures into "tex/" below the model folder.
    // Returns false on a fatal error (already reported through messages).
    bool write();

    // A number as the material file writes it: plain decimal notation, which
    // the engine's number check accepts (no exponent, no "nan").
    static std::string number(float value);

private:
    struct Request {
        unsigned materialIndex;
        MaterialUsage usage;
        std::string id;
    };

    // The text of the material file for the requests made so far; exports
    // the textures it names.
    std::string materialFileText();
    std::string materialText(const Request& request);
    std::string materialName(unsigned materialIndex) const;
    std::string materialFilePath() const;
    std::string sourceFolder() const;

    const aiScene& m_scene;
    EncoderOptions m_options;
    std::string m_modelFolder;
    Messages& m_messages;
    unsigned m_directionalLights = 0;
    unsigned m_pointLights = 0;
    unsigned m_spotLights = 0;
    std::vector<Request> m_requests;
    std::map<std::tuple<unsigned, unsigned, bool, bool, bool>, std::string> m_idByKey;
    std::map<unsigned, std::string> m_baseIdByMaterial;
    std::set<std::string> m_usedIds;
    std::set<unsigned> m_warnedJointCounts;
    std::set<unsigned> m_warnedMaterials;
    std::unique_ptr<TextureExporter> m_textures; // made on first use: it writes into the model folder
};

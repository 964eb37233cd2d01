#pragma once

#include "EncoderOptions.h"
#include "Messages.h"

#include <map>
#include <string>
#include <tuple>
#include <vector>

struct aiScene;

// What a mesh part needs from the shader that draws it; part of a material id,
// because two parts with the same source material but different vertex data
// need different shader defines.
struct MaterialUsage {
    unsigned jointCount = 0;     // 0: not skinned; else the skin's joint count (the SKINNING define needs it)
    bool vertexColors = false;
    bool texCoords = false;      // the mesh has a first texture coordinate set
    bool tangents = false;       // tangent + binormal present
};

// Writes "model.material" beside the bundle and copies the textures it names
// into "tex/" below the model folder.
class MaterialWriter {
public:
    MaterialWriter(const aiScene& scene, const EncoderOptions& options, const std::string& modelFolder,
                   Messages& messages);

    void setLightCounts(unsigned directional, unsigned point, unsigned spot);   // lights the bundle's scene has

    // The material id that the bundle's model entry names for one mesh part drawn with source material
    // `materialIndex` (aiMesh::mMaterialIndex) and the given usage. Same inputs give the same id.
    std::string materialFor(unsigned materialIndex, const MaterialUsage& usage);

    // Writes "model.material" (temp name + rename) and the textures into "tex/" below the model folder.
    // Returns false on a fatal error (already reported through messages).
    bool write();

private:
    struct Request {
        unsigned materialIndex;
        MaterialUsage usage;
        std::string id;
    };

    const aiScene& m_scene;
    EncoderOptions m_options;
    std::string m_modelFolder;
    Messages& m_messages;
    unsigned m_directionalLights = 0;
    unsigned m_pointLights = 0;
    unsigned m_spotLights = 0;
    std::vector<Request> m_requests;
    std::map<std::tuple<unsigned, unsigned, bool, bool, bool>, std::string> m_idByKey;
};

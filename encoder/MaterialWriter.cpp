#include "MaterialWriter.h"

#include <assimp/scene.h>

MaterialWriter::MaterialWriter(const aiScene& scene, const EncoderOptions& options, const std::string& modelFolder,
                               Messages& messages)
    : m_scene(scene), m_options(options), m_modelFolder(modelFolder), m_messages(messages)
{
}

void MaterialWriter::setLightCounts(unsigned directional, unsigned point, unsigned spot)
{
    m_directionalLights = directional;
    m_pointLights = point;
    m_spotLights = spot;
}

std::string MaterialWriter::materialFor(unsigned materialIndex, const MaterialUsage& usage)
{
    const auto key = std::make_tuple(materialIndex, usage.jointCount, usage.vertexColors, usage.texCoords,
                                     usage.tangents);
    auto found = m_idByKey.find(key);
    if (found != m_idByKey.end())
        return found->second;
    std::string id = "material" + std::to_string(m_requests.size());
    m_requests.push_back({materialIndex, usage, id});
    m_idByKey.emplace(key, id);
    return id;
}

bool MaterialWriter::write()
{
    return true;
}

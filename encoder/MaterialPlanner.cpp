#include "MaterialPlanner.h"

#include "MessageCodes.h"
#include "TextureExporter.h"
#include "Utf8Text.h"

#include <assimp/GltfMaterial.h>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Exponents below this light a whole hemisphere; exporters write such values
// for surfaces that are not glossy at all (3ds Max glossiness 0 and the like).
const float kMinSpecularExponent = 2.0f;
const float kMaxSpecularExponent = 1024.0f;

struct SourceLook {
    std::string name;
    aiColor4D diffuse {0.8f, 0.8f, 0.8f, 1.0f};
    aiColor3D specular {0.0f, 0.0f, 0.0f};
    float specularExponent = 0.0f;
    float opacity = 1.0f;
    bool twoSided = false;
    bool hasOpacityMap = false;
    std::string diffuseTexture; // reference as the source names it; empty: none
    aiTextureMapMode wrapU = aiTextureMapMode_Wrap;
    aiTextureMapMode wrapV = aiTextureMapMode_Wrap;
    // glTF multiplies its base colour map by the base colour factor; FBX and
    // OBJ exporters leave a placeholder colour beside a map that replaces it.
    bool colourTintsTexture = false;
};

float clamp01(float value) { return std::isfinite(value) ? std::min(1.0f, std::max(0.0f, value)) : 0.0f; }

std::string diffuseTextureOf(const aiMaterial& material, aiTextureType& typeOut)
{
    // PBR materials name their colour map "base colour"; older ones "diffuse".
    for (aiTextureType type : {aiTextureType_DIFFUSE, aiTextureType_BASE_COLOR}) {
        aiString path;
        if (material.GetTextureCount(type) > 0 && material.GetTexture(type, 0, &path) == AI_SUCCESS
            && path.length > 0) {
            typeOut = type;
            return path.C_Str();
        }
    }
    return std::string();
}

SourceLook lookOf(const aiScene& scene, unsigned materialIndex)
{
    SourceLook look;
    if (materialIndex >= scene.mNumMaterials || !scene.mMaterials || !scene.mMaterials[materialIndex]) {
        look.name = "default";
        return look;
    }
    const aiMaterial& material = *scene.mMaterials[materialIndex];
    aiString name;
    look.name = material.Get(AI_MATKEY_NAME, name) == AI_SUCCESS && name.length > 0
        ? std::string(name.C_Str())
        : "material" + std::to_string(materialIndex);

    aiColor3D diffuse;
    if (material.Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) == AI_SUCCESS)
        look.diffuse = aiColor4D(diffuse.r, diffuse.g, diffuse.b, 1.0f);
    aiString alphaMode; // only the glTF reader sets it
    look.colourTintsTexture = material.Get(AI_MATKEY_GLTF_ALPHAMODE, alphaMode) == AI_SUCCESS;
    float opacity = 1.0f;
    if (material.Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS && std::isfinite(opacity))
        look.opacity = clamp01(opacity);

    aiColor3D specular;
    float exponent = 0.0f;
    float strength = 1.0f;
    if (material.Get(AI_MATKEY_COLOR_SPECULAR, specular) == AI_SUCCESS
        && material.Get(AI_MATKEY_SHININESS, exponent) == AI_SUCCESS && std::isfinite(exponent)) {
        if (material.Get(AI_MATKEY_SHININESS_STRENGTH, strength) != AI_SUCCESS || !std::isfinite(strength))
            strength = 1.0f;
        look.specular
            = aiColor3D(clamp01(specular.r * strength), clamp01(specular.g * strength), clamp01(specular.b * strength));
        look.specularExponent = exponent;
    }

    int twoSided = 0;
    look.twoSided = material.Get(AI_MATKEY_TWOSIDED, twoSided) == AI_SUCCESS && twoSided != 0;
    look.hasOpacityMap = material.GetTextureCount(aiTextureType_OPACITY) > 0;

    aiTextureType type = aiTextureType_DIFFUSE;
    look.diffuseTexture = diffuseTextureOf(material, type);
    if (!look.diffuseTexture.empty()) {
        int mode = aiTextureMapMode_Wrap;
        if (material.Get(AI_MATKEY_MAPPINGMODE_U(type, 0), mode) == AI_SUCCESS)
            look.wrapU = static_cast<aiTextureMapMode>(mode);
        mode = aiTextureMapMode_Wrap;
        if (material.Get(AI_MATKEY_MAPPINGMODE_V(type, 0), mode) == AI_SUCCESS)
            look.wrapV = static_cast<aiTextureMapMode>(mode);
    }
    return look;
}

bool hasSpecular(const SourceLook& look)
{
    const float brightest = std::max({look.specular.r, look.specular.g, look.specular.b});
    return brightest > 0.01f && look.specularExponent >= kMinSpecularExponent;
}

bool isPowerOfTwo(unsigned value) { return value != 0 && (value & (value - 1)) == 0; }

TextureWrap wrapOf(aiTextureMapMode mode)
{
    return mode == aiTextureMapMode_Clamp || mode == aiTextureMapMode_Decal ? TextureWrap::CLAMP : TextureWrap::REPEAT;
}

// The names of the material file's own blocks and the ids it gives them. The engine finds
// "model.material#name" by id or by block name, first among the materials and, in a file of a
// single material, among that material's blocks: a material called "technique" would resolve to
// its technique block.
bool isReservedWord(const std::string& id)
{
    static const char* const kWords[]
        = {"material", "technique", "pass", "renderState", "sampler", "default", "u_diffuseTexture"};
    return std::find(std::begin(kWords), std::end(kWords), id) != std::end(kWords);
}

// A material id that can only name its own block; the source name where that is safe.
std::string sanitizedId(const std::string& name)
{
    const std::string id = Utf8Text::propertiesId(name, "unnamed_material");
    return isReservedWord(id) ? id + "_material" : id;
}

} // namespace

MaterialPlanner::MaterialPlanner(const aiScene& scene, const EncoderOptions& options, const std::string& modelFolder,
                                 Messages& messages)
    : m_scene(scene)
    , m_options(options)
    , m_modelFolder(modelFolder.empty() ? "." : modelFolder)
    , m_messages(messages)
{
}

MaterialPlanner::~MaterialPlanner() = default;

void MaterialPlanner::setLightCounts(unsigned directional, unsigned point, unsigned spot)
{
    m_directionalLights = directional;
    m_pointLights = point;
    m_spotLights = spot;
}

std::string MaterialPlanner::materialName(unsigned materialIndex) const { return lookOf(m_scene, materialIndex).name; }

std::string MaterialPlanner::materialFor(unsigned materialIndex, const MaterialUsage& usage)
{
    // Every index past the list means "no material": all such parts share one default.
    materialIndex = std::min(materialIndex, m_scene.mNumMaterials);
    const auto key
        = std::make_tuple(materialIndex, usage.jointCount, usage.vertexColors, usage.texCoords, usage.tangents);
    const auto found = m_idByKey.find(key);
    if (found != m_idByKey.end())
        return found->second;

    // The first use of a source material takes its plain name; other vertex
    // layouts of the same material get a numbered variant of it.
    const auto baseFound = m_baseIdByMaterial.find(materialIndex);
    const bool firstUse = baseFound == m_baseIdByMaterial.end();
    const std::string base = firstUse ? sanitizedId(materialName(materialIndex)) : baseFound->second;
    const std::string suffix = firstUse ? "_" : "_v";
    std::string id = firstUse ? base : base + suffix + "2";
    for (int n = firstUse ? 2 : 3; m_usedIds.count(id); ++n)
        id = base + suffix + std::to_string(n);
    if (firstUse)
        m_baseIdByMaterial.emplace(materialIndex, id);
    m_usedIds.insert(id);
    m_requests.push_back({materialIndex, usage, id});
    m_idByKey.emplace(key, id);

    if (usage.jointCount > kJointWarningLimit && m_warnedJointCounts.insert(usage.jointCount).second) {
        m_messages.warning(MessageCode::ManyJoints, "Many joints",
                           "A skin with " + std::to_string(usage.jointCount) + " joints needs "
                               + std::to_string(usage.jointCount * 3)
                               + " shader vectors for its pose; older graphics cards offer fewer and may not "
                                 "draw it.\nReduce the number of bones that deform one mesh.");
    }
    return id;
}

std::string MaterialPlanner::sourceFolder() const
{
    const fs::path input(m_options.inputPath);
    return input.has_parent_path() ? input.parent_path().string() : std::string(".");
}

std::string MaterialPlanner::materialFilePath() const
{
    if (m_options.outputPath.empty())
        return (fs::path(m_modelFolder) / "model.material").string();
    // The engine finds the material file by the bundle's name.
    return fs::path(m_options.outputPath).replace_extension(".material").string();
}

PlannedMaterial MaterialPlanner::plannedMaterial(const Request& request)
{
    SourceLook look = lookOf(m_scene, request.materialIndex);
    const MaterialUsage& usage = request.usage;
    PlannedMaterial planned;
    planned.id = request.id;

    ExportedTexture texture;
    if (!look.diffuseTexture.empty()) {
        if (!m_textures)
            m_textures = std::make_unique<TextureExporter>(m_scene, sourceFolder(), m_modelFolder, m_messages);
        texture = m_textures->exportTexture(look.diffuseTexture, look.name);
        if (!texture.path.empty() && !usage.texCoords && m_warnedMaterials.insert(request.materialIndex).second) {
            m_messages.warning(MessageCode::TextureWithoutCoordinates, "Texture without coordinates",
                               "Material \"" + look.name + "\" has the texture \"" + look.diffuseTexture
                                   + "\", but a mesh drawn with it has no texture coordinates, so that mesh is "
                                     "drawn without the texture.");
        }
    }
    planned.textured = !texture.path.empty() && usage.texCoords;
    if (planned.textured) {
        // Mipmaps need power-of-two sizes in the engine; a mipmap filter on a
        // texture without mipmaps would sample black.
        planned.sampler.path = texture.path;
        planned.sampler.mipmap = isPowerOfTwo(texture.width) && isPowerOfTwo(texture.height);
        planned.sampler.wrapS = wrapOf(look.wrapU);
        planned.sampler.wrapT = wrapOf(look.wrapV);
    }

    if (look.opacity < 0.01f) {
        // A fully transparent material is nearly always an export fault
        // (a transparency factor read the wrong way round); an invisible
        // model helps nobody, so it is drawn opaque and the user told.
        m_messages.warning(MessageCode::InvisibleMaterial, "Invisible material",
                           "Material \"" + look.name
                               + "\" is fully transparent (opacity 0); it is drawn opaque "
                                 "so the model can be seen.");
        look.opacity = 1.0f;
    }
    planned.blend = look.opacity < 0.999f || look.hasOpacityMap || (planned.textured && texture.translucent);
    planned.specular = hasSpecular(look);

    if (usage.jointCount > 0) {
        planned.defines.push_back("SKINNING");
        planned.defines.push_back("SKINNING_JOINT_COUNT " + std::to_string(usage.jointCount));
    }
    if (planned.textured)
        planned.defines.push_back("DIFFUSE_TEXTURE");
    if (usage.vertexColors)
        planned.defines.push_back("VERTEX_COLOR");
    // The viewer binds one light per material, preferring spot, then point,
    // then directional lights; the define names the kind it will look for.
    const char* lightDefine = m_spotLights > 0 ? "SPOT_LIGHT"
        : m_pointLights > 0                    ? "POINT_LIGHT"
        : m_directionalLights > 0              ? "DIRECTIONAL_LIGHT"
                                               : nullptr;
    if (lightDefine)
        planned.defines.push_back(lightDefine);
    if (planned.specular)
        planned.defines.push_back("SPECULAR");

    // A texture brings its own colour; the diffuse colour would tint it, as only glTF means it to.
    const bool white = planned.textured && !look.colourTintsTexture;
    planned.diffuse[0] = white ? 1.0f : clamp01(look.diffuse.r);
    planned.diffuse[1] = white ? 1.0f : clamp01(look.diffuse.g);
    planned.diffuse[2] = white ? 1.0f : clamp01(look.diffuse.b);
    planned.diffuse[3] = look.opacity;
    if (planned.specular) {
        planned.specularColor[0] = look.specular.r;
        planned.specularColor[1] = look.specular.g;
        planned.specularColor[2] = look.specular.b;
        planned.specularExponent = std::min(look.specularExponent, kMaxSpecularExponent);
    }
    planned.lightColor = lightDefine || planned.specular;
    planned.matrixPalette = usage.jointCount > 0;

    switch (m_options.culling) {
    case BackfaceCulling::Off:
        break;
    case BackfaceCulling::Ccw:
        planned.cullFace = true;
        break;
    case BackfaceCulling::Cw:
        planned.cullFace = true;
        planned.frontFace = FrontFace::CW;
        break;
    case BackfaceCulling::Material:
        planned.cullFace = !look.twoSided;
        break;
    }
    return planned;
}

MaterialPlan MaterialPlanner::plan()
{
    MaterialPlan plan;
    plan.path = materialFilePath();
    for (const Request& request : m_requests)
        plan.materials.push_back(plannedMaterial(request));
    return plan;
}

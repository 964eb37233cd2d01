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

// Lambert and flat shading have no highlight, though importers still report
// the specular colour written beside them (a Collada <lambert> with a
// <specular> element, for one).
bool isDiffuseOnly(const aiMaterial& material)
{
    int model = 0;
    if (material.Get(AI_MATKEY_SHADING_MODEL, model) != AI_SUCCESS)
        return false;
    switch (aiShadingMode(model)) {
    case aiShadingMode_Flat:
    case aiShadingMode_Gouraud:
    case aiShadingMode_OrenNayar:
    case aiShadingMode_Minnaert:
    case aiShadingMode_NoShading:
        return true;
    default:
        return false;
    }
}

struct SourceLook {
    std::string name;
    aiColor4D diffuse {0.8f, 0.8f, 0.8f, 1.0f};
    aiColor3D specular {0.0f, 0.0f, 0.0f};
    aiColor3D emissive {0.0f, 0.0f, 0.0f};
    float specularExponent = 0.0f;
    float opacity = 1.0f;
    bool twoSided = false;
    bool hasOpacityMap = false;
    SourceTexture diffuseTexture;
    SourceTexture emissiveTexture;
    // What a map is multiplied by. glTF multiplies its maps by the colour factors and Standard
    // Surface by its weights; FBX and OBJ exporters leave a placeholder colour beside a map that
    // replaces it, so the map is drawn as it is.
    aiColor3D diffuseTint {1.0f, 1.0f, 1.0f};
    aiColor3D emissiveTint {1.0f, 1.0f, 1.0f};
};

// Where a source gives no material, the importers put a white stand-in (Assimp's own
// "DefaultMaterial", an unnamed one from PLY or glTF); white vanishes on the white preview.
const float kDefaultGrey = 0.5f;

float clamp01(float value) { return std::isfinite(value) ? std::min(1.0f, std::max(0.0f, value)) : 0.0f; }

aiColor3D scaled(const aiColor3D& colour, float factor)
{
    return aiColor3D(colour.r * factor, colour.g * factor, colour.b * factor);
}

SourceTexture textureOf(const aiMaterial& material, std::initializer_list<aiTextureType> types)
{
    SourceTexture texture;
    for (aiTextureType type : types) {
        aiString path;
        if (material.GetTextureCount(type) == 0 || material.GetTexture(type, 0, &path) != AI_SUCCESS
            || path.length == 0)
            continue;
        texture.path = path.C_Str();
        int mode = aiTextureMapMode_Wrap;
        if (material.Get(AI_MATKEY_MAPPINGMODE_U(type, 0), mode) == AI_SUCCESS)
            texture.wrapU = static_cast<aiTextureMapMode>(mode);
        mode = aiTextureMapMode_Wrap;
        if (material.Get(AI_MATKEY_MAPPINGMODE_V(type, 0), mode) == AI_SUCCESS)
            texture.wrapV = static_cast<aiTextureMapMode>(mode);
        break;
    }
    return texture;
}

// Maya's Standard Surface keeps its colours in raw properties: a weight times a colour, where a
// map replaces the colour and keeps the weight.
void readStandardSurface(const aiMaterial& material, SourceLook& look)
{
    aiColor3D colour;
    float weight = 1.0f;
    if (material.Get("$raw.Maya|baseColor", 0, 0, colour) == AI_SUCCESS) {
        if (material.Get("$raw.Maya|base", 0, 0, weight) != AI_SUCCESS)
            weight = 1.0f;
        const aiColor3D base = scaled(colour, weight);
        look.diffuse = aiColor4D(base.r, base.g, base.b, 1.0f);
        look.diffuseTint = aiColor3D(weight, weight, weight);
    }
    weight = 0.0f;
    if (material.Get("$raw.Maya|emissionColor", 0, 0, colour) == AI_SUCCESS
        && material.Get("$raw.Maya|emission", 0, 0, weight) == AI_SUCCESS) {
        look.emissive = scaled(colour, weight);
        look.emissiveTint = aiColor3D(weight, weight, weight);
    }
}

bool isStandIn(const aiMaterial& material, const SourceLook& look)
{
    aiString name;
    const bool unnamed = material.Get(AI_MATKEY_NAME, name) != AI_SUCCESS || name.length == 0;
    const bool white = look.diffuse.r >= 0.999f && look.diffuse.g >= 0.999f && look.diffuse.b >= 0.999f;
    return (unnamed || std::string(name.C_Str()) == AI_DEFAULT_MATERIAL_NAME) && white
        && look.diffuseTexture.path.empty();
}

SourceLook lookOf(const aiScene& scene, unsigned materialIndex, const std::map<std::string, float>& diffuseFactors)
{
    SourceLook look;
    if (materialIndex >= scene.mNumMaterials || !scene.mMaterials || !scene.mMaterials[materialIndex]) {
        look.name = "default";
        look.diffuse = aiColor4D(kDefaultGrey, kDefaultGrey, kDefaultGrey, 1.0f);
        return look;
    }
    const aiMaterial& material = *scene.mMaterials[materialIndex];
    aiString name;
    look.name = material.Get(AI_MATKEY_NAME, name) == AI_SUCCESS && name.length > 0
        ? std::string(name.C_Str())
        : "material" + std::to_string(materialIndex);

    aiColor3D colour;
    // PBR materials name their colour "base colour"; older ones "diffuse".
    if (material.Get(AI_MATKEY_COLOR_DIFFUSE, colour) == AI_SUCCESS
        || material.Get(AI_MATKEY_BASE_COLOR, colour) == AI_SUCCESS)
        look.diffuse = aiColor4D(colour.r, colour.g, colour.b, 1.0f);
    if (material.Get(AI_MATKEY_COLOR_EMISSIVE, colour) == AI_SUCCESS)
        look.emissive = colour;
    aiString alphaMode; // only the glTF reader sets it
    const auto factor = diffuseFactors.find(look.name);
    if (material.Get(AI_MATKEY_GLTF_ALPHAMODE, alphaMode) == AI_SUCCESS) {
        look.diffuseTint = aiColor3D(look.diffuse.r, look.diffuse.g, look.diffuse.b);
        look.emissiveTint = look.emissive;
    } else if (factor != diffuseFactors.end()) {
        look.diffuseTint = aiColor3D(factor->second, factor->second, factor->second);
    }
    readStandardSurface(material, look);
    float opacity = 1.0f;
    if (material.Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS && std::isfinite(opacity))
        look.opacity = clamp01(opacity);

    aiColor3D specular;
    float exponent = 0.0f;
    float strength = 1.0f;
    if (!isDiffuseOnly(material) && material.Get(AI_MATKEY_COLOR_SPECULAR, specular) == AI_SUCCESS
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
    look.diffuseTexture = textureOf(material, {aiTextureType_DIFFUSE, aiTextureType_BASE_COLOR});
    look.emissiveTexture = textureOf(material, {aiTextureType_EMISSIVE, aiTextureType_EMISSION_COLOR});
    if (isStandIn(material, look))
        look.diffuse = aiColor4D(kDefaultGrey, kDefaultGrey, kDefaultGrey, 1.0f);
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
    static const char* const kWords[] = {
        "material", "technique", "pass", "renderState", "sampler", "default", "u_diffuseTexture", "u_emissiveTexture"};
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

void MaterialPlanner::setDiffuseFactors(const std::map<std::string, float>& factors) { m_diffuseFactors = factors; }

std::string MaterialPlanner::materialName(unsigned materialIndex) const
{
    return lookOf(m_scene, materialIndex, m_diffuseFactors).name;
}

std::string MaterialPlanner::materialFor(unsigned materialIndex, const MaterialUsage& usage)
{
    // Every index past the list means "no material": all such parts share one default.
    materialIndex = std::min(materialIndex, m_scene.mNumMaterials);
    const auto key = std::make_tuple(materialIndex, usage.jointCount, usage.vertexColors, usage.texCoords,
                                     usage.tangents, usage.lightCounts);
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
    SourceLook look = lookOf(m_scene, request.materialIndex, m_diffuseFactors);
    const MaterialUsage& usage = request.usage;
    PlannedMaterial planned;
    planned.id = request.id;

    bool translucent = false;
    planned.textured = plannedSampler(look.diffuseTexture, look.name, request, planned.sampler, &translucent);
    planned.emissiveTextured = plannedSampler(look.emissiveTexture, look.name, request, planned.emissiveSampler);

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
    planned.blend = look.opacity < 0.999f || look.hasOpacityMap || translucent;
    planned.specular = hasSpecular(look);

    if (usage.jointCount > 0) {
        planned.defines.push_back("SKINNING");
        planned.defines.push_back("SKINNING_JOINT_COUNT " + std::to_string(usage.jointCount));
    }
    if (planned.textured)
        planned.defines.push_back("DIFFUSE_TEXTURE");
    const aiColor3D emissive = planned.emissiveTextured ? look.emissiveTint : look.emissive;
    planned.emissive = std::max({clamp01(emissive.r), clamp01(emissive.g), clamp01(emissive.b)}) > 0;
    if (planned.emissive) {
        planned.emissiveColor[0] = clamp01(emissive.r);
        planned.emissiveColor[1] = clamp01(emissive.g);
        planned.emissiveColor[2] = clamp01(emissive.b);
        planned.defines.push_back("EMISSIVE");
    }
    planned.emissiveTextured = planned.emissiveTextured && planned.emissive;
    if (planned.emissiveTextured)
        planned.defines.push_back("EMISSIVE_TEXTURE");
    if (usage.vertexColors)
        planned.defines.push_back("VERTEX_COLOR");
    // How many scene lights of each kind the engine binds to the shader's arrays.
    static const char* const kLightCounts[] = {"DIRECTIONAL_LIGHT_COUNT ", "POINT_LIGHT_COUNT ", "SPOT_LIGHT_COUNT "};
    for (size_t kind = 0; kind < usage.lightCounts.size(); ++kind) {
        if (usage.lightCounts[kind] > 0)
            planned.defines.push_back(kLightCounts[kind] + std::to_string(usage.lightCounts[kind]));
        planned.sceneLights = planned.sceneLights || usage.lightCounts[kind] > 0;
    }
    if (planned.specular)
        planned.defines.push_back("SPECULAR");
    // Colours are lit in linear space and shown in sRGB; bundles without it keep the earlier look.
    planned.defines.push_back("LINEAR_LIGHTING");
    // Opaque materials under scene lights may be lit in a light pass over the
    // finished picture, each light once per pixel; blended ones need what is
    // behind them and are drawn lit.
    if (planned.sceneLights && !planned.blend)
        planned.defines.push_back("DEFERRED_LIGHTING");

    const aiColor3D diffuse
        = planned.textured ? look.diffuseTint : aiColor3D(look.diffuse.r, look.diffuse.g, look.diffuse.b);
    planned.diffuse[0] = clamp01(diffuse.r);
    planned.diffuse[1] = clamp01(diffuse.g);
    planned.diffuse[2] = clamp01(diffuse.b);
    planned.diffuse[3] = look.opacity;
    if (planned.specular) {
        planned.specularColor[0] = look.specular.r;
        planned.specularColor[1] = look.specular.g;
        planned.specularColor[2] = look.specular.b;
        planned.specularExponent = std::min(look.specularExponent, kMaxSpecularExponent);
    }
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

bool MaterialPlanner::plannedSampler(const SourceTexture& source, const std::string& material, const Request& request,
                                     PlannedSampler& sampler, bool* translucent)
{
    if (source.path.empty())
        return false;
    if (!m_textures)
        m_textures = std::make_unique<TextureExporter>(m_scene, sourceFolder(), m_modelFolder, m_messages);
    const ExportedTexture texture = m_textures->exportTexture(source.path, material);
    if (texture.path.empty())
        return false;
    if (!request.usage.texCoords) {
        if (m_warnedMaterials.insert(request.materialIndex).second)
            m_messages.warning(MessageCode::TextureWithoutCoordinates, "Texture without coordinates",
                               "Material \"" + material + "\" has the texture \"" + source.path
                                   + "\", but a mesh drawn with it has no texture coordinates, so that mesh is "
                                     "drawn without the texture.");
        return false;
    }
    // Mipmaps need power-of-two sizes in the engine; a mipmap filter on a
    // texture without mipmaps would sample black.
    sampler.path = texture.path;
    sampler.mipmap = isPowerOfTwo(texture.width) && isPowerOfTwo(texture.height);
    sampler.wrapS = wrapOf(source.wrapU);
    sampler.wrapT = wrapOf(source.wrapV);
    if (translucent)
        *translucent = texture.translucent;
    return true;
}

MaterialPlan MaterialPlanner::plan()
{
    MaterialPlan plan;
    plan.path = materialFilePath();
    for (const Request& request : m_requests)
        plan.materials.push_back(plannedMaterial(request));
    return plan;
}

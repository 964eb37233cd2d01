#include "MaterialReader.h"

#include "Effect.h"
#include "FileSystem.h"
#include "MaterialParameter.h"
#include "NumberText.h"
#include "Pass.h"
#include "Properties.h"
#include "Sampler.h"
#include "Technique.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace engine {

namespace {

// A flat colour: what the picking technique draws every pass with.
const char kColorPickingFragment[] = "#ifdef OPENGL_ES\n"
                                     "precision highp float;\n"
                                     "#endif\n"
                                     "uniform vec4 u_diffuseColor;\n"
                                     "void main()\n"
                                     "{\n"
                                     "    gl_FragColor = u_diffuseColor;\n"
                                     "}\n";
const char kColorPickingId[] = "color_picking";

// The read that is running on this thread: the folder its names are
// relative to, and where it puts what it refused (null: no report).
struct Reading {
    std::string folder;
    BundleProblems* problems = nullptr;
};
thread_local const Reading* s_reading = nullptr;

// A file a material names must lie below the folder it is read from, links
// followed.
bool confined(const char* path)
{
    if (!path || FileSystem::isConfinedFile(s_reading->folder, path))
        return true;
    // Once per name: the picking technique reads each pass again.
    BundleProblems* problems = s_reading->problems;
    if (problems && std::none_of(problems->begin(), problems->end(), [path](const BundleProblem& known) {
            return known.id == path;
        }))
        problems->push_back({BundleProblem::PATH, path, "a material names a file outside the model folder"});
    return false;
}

// Decimal or exponent notation ("2.5e-1"), whatever the locale; words such
// as "inf" are auto-binding names, not numbers.
bool isNumberText(const char* value)
{
    const char* digits = value + (*value == '-' || *value == '+');
    if (!std::isdigit(static_cast<unsigned char>(*digits)) && *digits != '.')
        return false;
    float parsed = 0;
    const char* end = NumberText::parseFloat(value, &parsed);
    while (end && std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    return end && !*end;
}

const char kDeferredLightingDefine[] = "DEFERRED_LIGHTING";

// The names of a "A;B 2;C" define list.
std::vector<std::string> splitDefines(const std::string& defines)
{
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= defines.size()) {
        size_t end = defines.find(';', start);
        if (end == std::string::npos)
            end = defines.size();
        if (end > start)
            names.push_back(defines.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

bool hasDefine(const std::string& defines, const char* name)
{
    const std::vector<std::string> names = splitDefines(defines);
    return std::find(names.begin(), names.end(), name) != names.end();
}

const char* variantId(MaterialReader::PassVariant variant)
{
    switch (variant) {
    case MaterialReader::PassVariant::ColorPicking:
        return kColorPickingId;
    case MaterialReader::PassVariant::Surface:
        return Material::kSurfaceTechniqueId;
    case MaterialReader::PassVariant::LightPass:
        return Material::kLightPassTechniqueId;
    case MaterialReader::PassVariant::Drawn:
        break;
    }
    return "";
}

// The surface pass writes for a light pass and keeps the material's own
// defines; the light pass needs only the light counts, so materials with the
// same counts share one program.
std::string variantDefines(MaterialReader::PassVariant variant, const std::string& defines)
{
    switch (variant) {
    case MaterialReader::PassVariant::Surface:
        return defines + ";GBUFFER";
    case MaterialReader::PassVariant::LightPass: {
        std::string light = "LINEAR_LIGHTING;SPECULAR;LIGHT_PASS";
        for (const std::string& name : splitDefines(defines)) {
            if (name.find("_LIGHT_COUNT ") != std::string::npos)
                light += ";" + name;
        }
        return light;
    }
    default:
        return defines;
    }
}

bool isNamed(Properties* properties, const char* name) { return std::strcmp(properties->getNamespace(), name) == 0; }

bool isShaderKey(const char* name)
{
    return std::strcmp(name, "vertexShader") == 0 || std::strcmp(name, "fragmentShader") == 0
        || std::strcmp(name, "defines") == 0;
}

} // namespace

MaterialReader::ValueKind MaterialReader::valueKind(const char* value)
{
    if (!value)
        return TEXT;
    switch (std::count(value, value + std::strlen(value), ',')) {
    case 0:
        return isNumberText(value) ? FLOAT : TEXT;
    case 1:
        return VECTOR2;
    case 2:
        return VECTOR3;
    case 3:
        return VECTOR4;
    case 15:
        return MATRIX;
    default:
        return TEXT;
    }
}

Material* MaterialReader::read(const std::string& folder, Properties* properties, Material::PassCallback callback,
                               void* cookie, BundleProblems* problems)
{
    if (!properties || !isNamed(properties, "material"))
        return nullptr;
    const Reading* const outer = s_reading;
    const Reading reading {folder, problems};
    s_reading = &reading;
    Material* material = readMaterial(properties, callback, cookie);
    s_reading = outer;
    return material;
}

Material* MaterialReader::readMaterial(Properties* properties, Material::PassCallback callback, void* cookie)
{
    Material* material = new Material();
    material->m_id = properties->getId();
    readRenderState(material, properties);
    properties->rewind();
    while (Properties* child = properties->getNextNamespace()) {
        if (isNamed(child, "technique") && !readTechnique(material, child, callback, cookie)) {
            material->release();
            return nullptr;
        }
    }
    return material;
}

bool MaterialReader::readTechnique(Material* material, Properties* properties, Material::PassCallback callback,
                                   void* cookie)
{
    Technique* technique = Technique::create(properties->getId(), material);
    readRenderState(technique, properties);
    // Each pass replaces the variants made of the one before: the last pass's are kept.
    const PassVariant kVariants[] = {PassVariant::ColorPicking, PassVariant::Surface, PassVariant::LightPass};
    Technique* variants[3] = {};
    const auto releaseVariants = [&variants]() {
        for (Technique*& variant : variants) {
            releaseRef(variant);
            variant = nullptr;
        }
    };
    properties->rewind();
    while (Properties* child = properties->getNextNamespace()) {
        if (!isNamed(child, "pass"))
            continue;
        Pass* pass = readPass(technique, child, callback, cookie, PassVariant::Drawn);
        if (!pass) {
            technique->release();
            releaseVariants();
            return false;
        }
        technique->addPass(pass);
        pass->release();
        releaseVariants();
        const bool deferred = hasDefine(child->getString("defines", ""), kDeferredLightingDefine);
        for (int i = 0; i < 3; ++i) {
            if (kVariants[i] == PassVariant::ColorPicking || deferred)
                variants[i] = readVariant(material, child, callback, cookie, kVariants[i]);
        }
        addDefines(material, child->getString("defines", ""));
    }
    material->appendTechnique(technique);
    for (Technique* variant : variants) {
        if (!variant)
            continue;
        readRenderState(variant, properties);
        material->appendTechnique(variant);
    }
    return true;
}

Technique* MaterialReader::readVariant(Material* material, Properties* pass, Material::PassCallback callback,
                                       void* cookie, PassVariant variant)
{
    Technique* technique = Technique::create(variantId(variant), material);
    Pass* variantPass = readPass(technique, pass, callback, cookie, variant);
    if (!variantPass) {
        technique->release();
        return nullptr;
    }
    technique->addPass(variantPass);
    variantPass->release();
    return technique;
}

Pass* MaterialReader::readPass(Technique* technique, Properties* properties, Material::PassCallback callback,
                               void* cookie, PassVariant variant)
{
    const char* vertexShader = properties->getString("vertexShader");
    const char* fragmentShader = properties->getString("fragmentShader");
    std::string defines = variantDefines(variant, properties->getString("defines", ""));
    Pass* pass = Pass::create(properties->getId(), technique);
    if (variant != PassVariant::LightPass)
        readRenderState(pass, properties);
    if (callback && variant != PassVariant::LightPass) {
        const std::string extra = callback(pass, cookie);
        if (!extra.empty())
            defines += defines.empty() ? extra : ";" + extra;
    }
    const char* fragmentSource = variant == PassVariant::ColorPicking ? kColorPickingFragment : nullptr;
    const char* fragmentKey = variant == PassVariant::ColorPicking ? kColorPickingId : nullptr;
    const bool allowed = confined(vertexShader) && (fragmentSource || confined(fragmentShader));
    Effect* effect = allowed && vertexShader && (fragmentShader || fragmentSource)
        ? Effect::createFromFile(s_reading->folder, vertexShader, fragmentShader ? fragmentShader : "", defines.c_str(),
                                 fragmentSource, fragmentKey)
        : nullptr;
    if (!effect) {
        pass->release();
        return nullptr;
    }
    pass->setEffect(effect);
    effect->release();
    return pass;
}

void MaterialReader::addDefines(Material* material, const std::string& defines)
{
    for (const std::string& name : splitDefines(defines))
        material->m_defines.insert(name);
}

void MaterialReader::readRenderState(RenderState* state, Properties* properties)
{
    properties->rewind();
    while (const char* name = properties->getNextProperty()) {
        if (!isShaderKey(name))
            readParameter(state, properties, name, properties->getString(nullptr));
    }
    properties->rewind();
    while (Properties* child = properties->getNextNamespace()) {
        if (isNamed(child, "sampler") && *child->getId()) {
            readSampler(state, child);
        } else if (isNamed(child, "renderState")) {
            child->rewind();
            while (const char* name = child->getNextProperty())
                state->getStateBlock()->setState(name, child->getString(nullptr));
        }
    }
    properties->rewind();
}

// 'name' is the current property of the iteration; the typed getters read it.
void MaterialReader::readParameter(RenderState* state, Properties* properties, const char* name, const char* value)
{
    Vector2 v2;
    Vector3 v3;
    Vector4 v4;
    Matrix m;
    switch (valueKind(value)) {
    case TEXT:
        state->setParameterAutoBinding(name, value);
        break;
    case FLOAT:
        state->getParameter(name)->setValue(properties->getFloat(nullptr));
        break;
    case VECTOR2:
        if (properties->getVector2(nullptr, &v2))
            state->getParameter(name)->setValue(v2);
        break;
    case VECTOR3:
        if (properties->getVector3(nullptr, &v3))
            state->getParameter(name)->setValue(v3);
        break;
    case VECTOR4:
        if (properties->getVector4(nullptr, &v4))
            state->getParameter(name)->setValue(v4);
        break;
    case MATRIX:
        if (properties->getMatrix(nullptr, &m))
            state->getParameter(name)->setValue(m);
        break;
    }
}

void MaterialReader::readSampler(RenderState* state, Properties* sampler)
{
    std::string path;
    if (!confined(sampler->getString("path")) || !sampler->getPath("path", s_reading->folder, &path))
        return;
    const bool mipmap = sampler->getBool("mipmap", false);
    Sampler* made = state->getParameter(sampler->getId())->setValue(path.c_str(), mipmap);
    if (!made)
        return;
    const Sampler::Wrap wrapR
        = sampler->exists("wrapR") ? Sampler::parseWrap(sampler->getString("wrapR"), Sampler::CLAMP) : Sampler::CLAMP;
    made->setWrapMode(Sampler::parseWrap(sampler->getString("wrapS"), Sampler::CLAMP),
                      Sampler::parseWrap(sampler->getString("wrapT"), Sampler::CLAMP), wrapR);
    made->setFilterMode(
        Sampler::parseFilter(sampler->getString("minFilter"), mipmap ? Sampler::LINEAR_MIPMAP_LINEAR : Sampler::LINEAR),
        Sampler::parseFilter(sampler->getString("magFilter"), Sampler::LINEAR));
}

} // namespace engine

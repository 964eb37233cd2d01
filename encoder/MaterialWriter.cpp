#include "MaterialWriter.h"

#include "MessageCodes.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const char* const kVertexShader = "shaders/model.vert";
const char* const kFragmentShader = "shaders/model.frag";

const char* wrapName(TextureWrap wrap) { return wrap == TextureWrap::CLAMP ? "CLAMP" : "REPEAT"; }

std::string joined(const std::vector<std::string>& names, char separator)
{
    std::string text;
    for (const std::string& name : names) {
        if (!text.empty())
            text += separator;
        text += name;
    }
    return text;
}

std::string colorText(const float* values, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? "," : "") + MaterialWriter::number(values[i]);
    return text;
}

std::string samplerText(const char* uniform, const PlannedSampler& sampler)
{
    std::string text = std::string("\n    sampler ") + uniform + "\n    {\n";
    text += "        path = " + sampler.path + "\n";
    text += std::string("        mipmap = ") + (sampler.mipmap ? "true" : "false") + "\n";
    text += std::string("        wrapS = ") + wrapName(sampler.wrapS) + "\n";
    text += std::string("        wrapT = ") + wrapName(sampler.wrapT) + "\n";
    text += std::string("        minFilter = ") + (sampler.mipmap ? "LINEAR_MIPMAP_LINEAR" : "LINEAR") + "\n";
    text += "        magFilter = LINEAR\n    }\n";
    return text;
}

std::string renderStateText(const PlannedMaterial& material)
{
    std::string text = "\n    renderState\n    {\n";
    text += std::string("        cullFace = ") + (material.cullFace ? "true" : "false") + "\n";
    if (material.cullFace)
        text += std::string("        frontFace = ") + (material.frontFace == FrontFace::CW ? "CW" : "CCW") + "\n";
    text += "        depthTest = true\n";
    if (material.blend) {
        text += "        blend = true\n";
        text += "        blendSrc = SRC_ALPHA\n";
        text += "        blendDst = ONE_MINUS_SRC_ALPHA\n";
    }
    text += "    }\n";
    return text;
}

std::string materialText(const PlannedMaterial& material)
{
    std::string text = "material " + material.id + "\n{\n";
    text += "    u_diffuseColor = " + colorText(material.diffuse, 4) + "\n";
    if (material.specular) {
        text += "    u_specularColor = " + colorText(material.specularColor, 3) + "\n";
        text += "    u_specularExponent = " + MaterialWriter::number(material.specularExponent) + "\n";
    }
    if (material.emissive)
        text += "    u_emissiveColor = " + colorText(material.emissiveColor, 3) + "\n";
    text += "    u_worldViewProjectionMatrix = WORLD_VIEW_PROJECTION_MATRIX\n";
    text += "    u_worldViewMatrix = WORLD_VIEW_MATRIX\n";
    text += "    u_inverseTransposeWorldViewMatrix = INVERSE_TRANSPOSE_WORLD_VIEW_MATRIX\n";
    text += "    u_ambientColor = SCENE_AMBIENT_COLOR\n";
    // The default lights are fixed to the world, and an orthographic view
    // is told apart by its projection.
    if (!material.sceneLights)
        text += "    u_viewMatrix = VIEW_MATRIX\n";
    text += "    u_projectionMatrix = PROJECTION_MATRIX\n";
    if (material.matrixPalette)
        text += "    u_matrixPalette = MATRIX_PALETTE\n";

    if (material.textured)
        text += samplerText("u_diffuseTexture", material.sampler);
    if (material.emissiveTextured)
        text += samplerText("u_emissiveTexture", material.emissiveSampler);
    text += renderStateText(material);

    text += "\n    technique default\n    {\n        pass default\n        {\n";
    text += std::string("            vertexShader = ") + kVertexShader + "\n";
    text += std::string("            fragmentShader = ") + kFragmentShader + "\n";
    if (!material.defines.empty())
        text += "            defines = " + joined(material.defines, ';') + "\n";
    text += "        }\n    }\n}\n";
    return text;
}

} // namespace

std::string MaterialWriter::number(float value)
{
    if (!std::isfinite(value))
        value = 0.0f;
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.6f", static_cast<double>(value));
    std::string text = buffer;
    while (!text.empty() && text.back() == '0')
        text.pop_back();
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    if (text == "-0")
        text = "0";
    return text;
}

std::string MaterialWriter::fileText(const MaterialPlan& plan)
{
    std::string text = "// Materials of one converted model, written by model-encoder.\n"
                       "// Shaders and textures are named relative to the model folder.\n";
    for (const PlannedMaterial& material : plan.materials)
        text += "\n" + materialText(material);
    return text;
}

bool MaterialWriter::write(const MaterialPlan& plan, Messages& messages)
{
    const std::string& path = plan.path;
    const std::string temporary = path + ".part";
    const std::string text = fileText(plan);

    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    std::error_code ec;
    if (out)
        fs::rename(temporary, path, ec);
    if (!out || ec) {
        fs::remove(temporary, ec);
        messages.error(MessageCode::MaterialFileFailed, "Material file not written",
                       "The material file \"" + path
                           + "\" cannot be written; the model would be drawn "
                             "without materials.\nCheck that the folder exists, is writable and has free space.");
        return false;
    }
    return true;
}

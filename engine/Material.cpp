#include "Material.h"

#include "Effect.h"
#include "FileSystem.h"
#include "MaterialReader.h"
#include "Pass.h"
#include "Technique.h"

#include <cstring>
#include <memory>

namespace engine {

Material* Material::create(const std::string& folder, const char* url)
{
    if (!url)
        return nullptr;
    std::unique_ptr<Properties> properties(Properties::create(FileSystem::resolvePath(folder, url).c_str()));
    if (!properties)
        return nullptr;
    Properties* material = properties.get();
    if (!*material->getNamespace())
        material = material->namespaceCount() > 0 ? material->namespaceAt(0) : nullptr;
    return material ? create(folder, material) : nullptr;
}

Material* Material::create(const std::string& folder, Properties* properties, PassCallback callback, void* cookie)
{
    return MaterialReader::read(folder, properties, callback, cookie);
}

Material* Material::create(Effect* effect)
{
    if (!effect)
        return nullptr;
    Material* material = new Material();
    Technique* technique = Technique::create(nullptr, material);
    Pass* pass = Pass::create(nullptr, technique, effect);
    technique->addPass(pass);
    pass->release();
    material->appendTechnique(technique);
    return material;
}

Material::~Material()
{
    for (Technique* technique : m_techniques)
        technique->release();
}

void Material::appendTechnique(Technique* technique)
{
    m_techniques.push_back(technique);
    technique->setNodeBinding(getNodeBinding());
    if (!m_currentTechnique)
        m_currentTechnique = technique;
}

Technique* Material::getTechniqueByIndex(unsigned int index) const
{
    return index < m_techniques.size() ? m_techniques[index] : nullptr;
}

Technique* Material::getTechnique(const char* id) const
{
    for (Technique* technique : m_techniques) {
        if (id && std::strcmp(technique->getId(), id) == 0)
            return technique;
    }
    return nullptr;
}

bool Material::setTechnique(const char* id)
{
    Technique* technique = getTechnique(id);
    if (technique)
        m_currentTechnique = technique;
    return technique != nullptr;
}

bool Material::hasDefine(const char* name) const { return name && m_defines.count(name) > 0; }

unsigned int Material::defineCount(const char* name) const
{
    const std::string prefix = std::string(name ? name : "") + " ";
    for (const std::string& define : m_defines) {
        if (define.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string value = define.substr(prefix.size());
        if (value.empty() || value.size() > 4 || value.find_first_not_of("0123456789") != std::string::npos)
            return 0;
        return static_cast<unsigned int>(std::stoul(value));
    }
    return 0;
}

void Material::setNodeBinding(Node* node)
{
    RenderState::setNodeBinding(node);
    for (Technique* technique : m_techniques)
        technique->setNodeBinding(node);
}

} // namespace engine

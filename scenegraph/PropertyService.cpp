#include "PropertyService.h"

#include "FileSystem.h"
#include "Light.h"
#include "Material.h"
#include "MaterialParameter.h"
#include "Model.h"
#include "Node.h"
#include "Pass.h"
#include "Sampler.h"
#include "Technique.h"
#include "Texture.h"

#include <QDebug>

#include <sstream>

namespace {

QString number(float value) { return QString::number(value, 'g', 6); }

// Six significant digits, as a default C++ stream writes them ("0.5", "32").
QString streamed(const float* values, unsigned int count)
{
    std::ostringstream text;
    for (unsigned int i = 0; i < count; ++i)
        text << (i ? ", " : "") << values[i];
    return QString::fromStdString(text.str());
}

QString streamed(int value)
{
    std::ostringstream text;
    text << value;
    return QString::fromStdString(text.str());
}

QString wrapName(engine::Sampler::Wrap wrap)
{
    switch (wrap) {
    case engine::Sampler::REPEAT:
        return QStringLiteral("REPEAT");
    case engine::Sampler::CLAMP:
        return QStringLiteral("CLAMP_TO_EDGE");
    }
    return QString();
}

QString filterName(engine::Sampler::Filter filter)
{
    switch (filter) {
    case engine::Sampler::NEAREST:
        return QStringLiteral("NEAREST");
    case engine::Sampler::LINEAR:
        return QStringLiteral("LINEAR");
    case engine::Sampler::NEAREST_MIPMAP_NEAREST:
        return QStringLiteral("NEAREST_MIPMAP_NEAREST");
    case engine::Sampler::LINEAR_MIPMAP_NEAREST:
        return QStringLiteral("LINEAR_MIPMAP_NEAREST");
    case engine::Sampler::NEAREST_MIPMAP_LINEAR:
        return QStringLiteral("NEAREST_MIPMAP_LINEAR");
    case engine::Sampler::LINEAR_MIPMAP_LINEAR:
        return QStringLiteral("LINEAR_MIPMAP_LINEAR");
    }
    return QString();
}

struct DisplayName {
    const char* name;
    const char* label;
};

// Names the panel shows, with their labels; everything else stays hidden.
const DisplayName displayNames[] = {
    {"u_diffuseTexture", QT_TRANSLATE_NOOP("PropertyService", "Texture")},
    {"u_diffuseColor", QT_TRANSLATE_NOOP("PropertyService", "Color")},
    {"u_specularExponent", QT_TRANSLATE_NOOP("PropertyService", "Specular")},
    {"u_specularColor", QT_TRANSLATE_NOOP("PropertyService", "Specular Color")},
    {"path", QT_TRANSLATE_NOOP("PropertyService", "Texture Path")},
    {"size", QT_TRANSLATE_NOOP("PropertyService", "Texture Size")},
    {"wrapS", QT_TRANSLATE_NOOP("PropertyService", "WrapS")},
    {"wrapT", QT_TRANSLATE_NOOP("PropertyService", "WrapT")},
    {"minFilter", QT_TRANSLATE_NOOP("PropertyService", "MinFilter")},
    {"magFilter", QT_TRANSLATE_NOOP("PropertyService", "MagFilter")},
    {"mipmap", QT_TRANSLATE_NOOP("PropertyService", "MIP map")},
    {"cullFace", QT_TRANSLATE_NOOP("PropertyService", "Culling")},
    {"depthTest", QT_TRANSLATE_NOOP("PropertyService", "Depth test")},
};

QString vector(const engine::Vector3& v)
{
    return number(v.x) + QStringLiteral(", ") + number(v.y) + QStringLiteral(", ") + number(v.z);
}

} // namespace

PropertyService::PropertyService(const QString& modelFolder)
    : m_modelFolder(modelFolder)
{
}

PropertyService::PropertyList PropertyService::nodeProperties(const engine::Node* node) const
{
    PropertyList properties;
    if (!node)
        return properties;
    const engine::Model* model = dynamic_cast<const engine::Model*>(node->getDrawable());
    if (model && (model->getMaterial() || model->getMesh()))
        properties.insert(modelProperties(model));
    if (const engine::Light* light = node->getLight())
        properties.insert(lightProperties(light));
    return properties;
}

QString PropertyService::displayName(const char* name)
{
    for (const DisplayName& entry : displayNames) {
        if (qstrcmp(entry.name, name) == 0)
            return tr(entry.label);
    }
    return QString();
}

// With a shared material the parts' own ones are not drawn; otherwise each
// part's material adds its rows, a later part's value replacing an earlier.
PropertyService::PropertyList PropertyService::modelProperties(const engine::Model* model) const
{
    PropertyList properties;
    if (!model)
        return properties;
    if (const engine::Material* shared = model->getMaterial()) {
        collectMaterial(shared, &properties);
        return properties;
    }
    for (unsigned int part = 0; part < model->getMeshPartCount(); ++part)
        collectMaterial(model->getMaterial(int(part)), &properties);
    return properties;
}

void PropertyService::collectMaterial(const engine::Material* material, PropertyList* properties) const
{
    if (!material)
        return;
    collectParameters(material, properties);
    for (unsigned int t = 0; t < material->getTechniqueCount(); ++t) {
        const engine::Technique* technique = material->getTechniqueByIndex(t);
        collectParameters(technique, properties);
        for (unsigned int p = 0; p < technique->getPassCount(); ++p)
            collectParameters(technique->getPassByIndex(p), properties);
    }
}

void PropertyService::collectParameters(const engine::RenderState* state, PropertyList* properties) const
{
    if (!state)
        return;
    for (unsigned int i = 0; i < state->getParameterCount(); ++i)
        collectParameter(state->getParameterByIndex(i), properties);
}

void PropertyService::collectParameter(const engine::MaterialParameter* parameter, PropertyList* properties) const
{
    const QString label = displayName(parameter->getName());
    switch (parameter->getType()) {
    case engine::MaterialParameter::FLOAT:
        properties->insert(label, streamed(parameter->getFloats(), 1));
        break;
    case engine::MaterialParameter::INT:
        properties->insert(label, streamed(parameter->getInt()));
        break;
    case engine::MaterialParameter::VECTOR2:
    case engine::MaterialParameter::VECTOR3:
    case engine::MaterialParameter::VECTOR4:
        properties->insert(
            label,
            streamed(parameter->getFloats(), unsigned(parameter->getType() - engine::MaterialParameter::VECTOR2 + 2)));
        break;
    case engine::MaterialParameter::SAMPLER:
        collectTexture(parameter->getSampler(), properties);
        break;
    default:
        qDebug().nospace() << "unhandled material property \"" << parameter->getName() << '"';
        break;
    }
}

void PropertyService::collectTexture(const engine::Sampler* sampler, PropertyList* properties) const
{
    const engine::Texture* texture = sampler ? sampler->getTexture() : nullptr;
    if (!texture)
        return;
    properties->insert(displayName("path"), shownTexturePath(QString::fromUtf8(texture->getPath())));
    properties->insert(displayName("size"),
                       QString::number(texture->getWidth()) + QLatin1Char('x') + QString::number(texture->getHeight()));
    properties->insert(displayName("wrapS"), wrapName(sampler->getWrapS()));
    properties->insert(displayName("wrapT"), wrapName(sampler->getWrapT()));
    properties->insert(displayName("minFilter"), filterName(sampler->getMinFilter()));
    properties->insert(displayName("magFilter"), filterName(sampler->getMagFilter()));
    properties->insert(displayName("mipmap"),
                       texture->isMipmapped() ? QStringLiteral("true") : QStringLiteral("false"));
}

// Textures of the model's own folder show relative to it, others relative
// to the engine's resource folder they were loaded from. Only a leading
// folder is taken off, never a repetition of it further on.
QString PropertyService::shownTexturePath(const QString& path) const
{
    const QString resourceFolder = QString::fromUtf8(engine::FileSystem::getResourcePath());
    for (const QString& folder : {m_modelFolder, resourceFolder}) {
        if (folder.isEmpty() || !path.startsWith(folder))
            continue;
        QString shown = path.mid(folder.size());
        if (!folder.endsWith(QLatin1Char('/')) && !shown.startsWith(QLatin1Char('/')))
            continue; // a sibling folder whose name merely begins the same
        while (shown.startsWith(QLatin1Char('/')))
            shown.remove(0, 1);
        return shown;
    }
    return path;
}

PropertyService::PropertyList PropertyService::lightProperties(const engine::Light* light) const
{
    PropertyList properties;
    if (!light)
        return properties;
    const engine::Node* node = light->getNode();
    const bool placed = node != nullptr;
    switch (light->getLightType()) {
    case engine::Light::DIRECTIONAL:
        properties.insert(tr("Directional Light"), QString());
        break;
    case engine::Light::POINT:
        properties.insert(tr("Pointlight"), QString());
        properties.insert(tr("Inverse Range"), number(light->getRangeInverse()));
        break;
    case engine::Light::SPOT:
        properties.insert(tr("Spot Light"), QString());
        properties.insert(tr("Inner Angle"), number(light->getInnerAngle()));
        properties.insert(tr("Inner AngleCos"), number(light->getInnerAngleCos()));
        properties.insert(tr("Outer Angle"), number(light->getOuterAngle()));
        properties.insert(tr("Outer AngleCos"), number(light->getOuterAngleCos()));
        properties.insert(tr("Inverse Range"), number(light->getRangeInverse()));
        break;
    }
    if (placed && light->getLightType() != engine::Light::POINT)
        properties.insert(tr("Direction"), vector(node->getForwardVectorView()));
    if (placed && light->getLightType() != engine::Light::DIRECTIONAL)
        properties.insert(tr("Position"), vector(node->getTranslationView()));
    properties.insert(tr("Light Color"), vector(light->getColor()));
    return properties;
}

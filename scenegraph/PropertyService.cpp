#include "PropertyService.h"

#include "Camera.h"
#include "Light.h"
#include "Material.h"
#include "MaterialParameter.h"
#include "Mesh.h"
#include "Model.h"
#include "Node.h"
#include "Pass.h"
#include "Sampler.h"
#include "Technique.h"
#include "Texture.h"

#include <QDebug>

#include <cmath>
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
const DisplayName kDisplayNames[] = {
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

QString degrees(float radians) { return number(radians * 180.0f / float(M_PI)) + QChar(0x00B0); }

QString vector(const engine::Vector3& v)
{
    return number(v.x) + QStringLiteral(", ") + number(v.y) + QStringLiteral(", ") + number(v.z);
}

} // namespace

PropertyService::PropertyService(const QString& modelFolder)
    : m_modelFolder(modelFolder)
{
}

PropertyService::PropertyList PropertyService::nodeProperties(const engine::Node* node, int part) const
{
    PropertyList properties;
    if (!node)
        return properties;
    const engine::Model* model = dynamic_cast<const engine::Model*>(node->getDrawable());
    if (model && part != kWholeNode)
        return partProperties(model, unsigned(part));
    if (model)
        properties += modelProperties(model);
    if (const engine::Light* light = node->getLight())
        properties += lightProperties(light);
    if (const engine::Camera* camera = node->getCamera())
        properties += cameraProperties(camera);
    return properties;
}

QString PropertyService::displayName(const char* name)
{
    for (const DisplayName& entry : kDisplayNames) {
        if (qstrcmp(entry.name, name) == 0)
            return tr(entry.label);
    }
    return QString();
}

PropertyService::PropertyList PropertyService::modelProperties(const engine::Model* model) const
{
    PropertyList properties;
    if (!model)
        return properties;
    if (const engine::Mesh* mesh = model->getMesh()) {
        properties.append({tr("Vertices"), QString::number(mesh->getVertexCount())});
        properties.append({tr("Parts"), QString::number(mesh->getPartCount())});
    }
    QStringList names;
    for (const engine::Material* material : drawnMaterials(model)) {
        if (!names.contains(materialName(material)))
            names.append(materialName(material));
    }
    if (!names.isEmpty())
        properties.append({tr("Materials"), names.join(QStringLiteral(", "))});
    // Without part items in the tree the node's own item is the only place
    // its material can be seen.
    if (model->getMaterial() || model->getMeshPartCount() == 1)
        appendMaterial(drawnMaterials(model).value(0), &properties);
    return properties;
}

PropertyService::PropertyList PropertyService::partProperties(const engine::Model* model, unsigned int part) const
{
    PropertyList properties;
    if (model && part < model->getMeshPartCount())
        appendMaterial(drawnMaterials(model).value(int(part)), &properties);
    return properties;
}

void PropertyService::appendMaterial(const engine::Material* material, PropertyList* properties) const
{
    if (!material)
        return;
    properties->append({tr("Material"), materialName(material)});
    const MaterialRows rows = materialRows(material);
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        if (!it.key().isEmpty())
            properties->append({it.key(), it.value()});
    }
}

PropertyService::MaterialRows PropertyService::materialRows(const engine::Material* material) const
{
    MaterialRows rows;
    if (!material)
        return rows;
    collectParameters(material, &rows);
    for (unsigned int t = 0; t < material->getTechniqueCount(); ++t) {
        const engine::Technique* technique = material->getTechniqueByIndex(t);
        collectParameters(technique, &rows);
        for (unsigned int p = 0; p < technique->getPassCount(); ++p)
            collectParameters(technique->getPassByIndex(p), &rows);
    }
    return rows;
}

void PropertyService::collectParameters(const engine::RenderState* state, MaterialRows* properties) const
{
    if (!state)
        return;
    for (unsigned int i = 0; i < state->getParameterCount(); ++i)
        collectParameter(state->getParameterByIndex(i), properties);
}

void PropertyService::collectParameter(const engine::MaterialParameter* parameter, MaterialRows* properties) const
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

void PropertyService::collectTexture(const engine::Sampler* sampler, MaterialRows* properties) const
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

// Textures of the model's own folder show relative to it. Only a leading
// folder is taken off, never a repetition of it further on.
QString PropertyService::shownTexturePath(const QString& path) const
{
    if (m_modelFolder.isEmpty() || !path.startsWith(m_modelFolder))
        return path;
    QString shown = path.mid(m_modelFolder.size());
    if (!m_modelFolder.endsWith(QLatin1Char('/')) && !shown.startsWith(QLatin1Char('/')))
        return path; // a sibling folder whose name merely begins the same
    while (shown.startsWith(QLatin1Char('/')))
        shown.remove(0, 1);
    return shown;
}

// World space, so the values stay when the camera orbits; angles in degrees.
PropertyService::PropertyList PropertyService::lightProperties(const engine::Light* light) const
{
    PropertyList properties;
    if (!light)
        return properties;
    const engine::Light::Type type = light->getLightType();
    properties.append({tr("Type"), lightTypeName(type)});
    const engine::Node* node = light->getNode();
    if (node && type != engine::Light::DIRECTIONAL)
        properties.append({tr("Position"), vector(node->getTranslationWorld())});
    if (node && type != engine::Light::POINT)
        properties.append({tr("Direction"), vector(node->getForwardVectorWorld())});
    if (type == engine::Light::SPOT) {
        properties.append({tr("Inner Angle"), degrees(light->getInnerAngle())});
        properties.append({tr("Outer Angle"), degrees(light->getOuterAngle())});
    }
    if (type != engine::Light::DIRECTIONAL)
        properties.append({tr("Range"), number(light->getRange())});
    properties.append({tr("Light Color"), vector(light->getColor())});
    return properties;
}

PropertyService::PropertyList PropertyService::cameraProperties(const engine::Camera* camera) const
{
    PropertyList properties;
    if (!camera)
        return properties;
    if (camera->getCameraType() == engine::Camera::PERSPECTIVE) {
        properties.append({tr("Type"), tr("Perspective")});
        properties.append({tr("Field of View"), number(camera->getFieldOfView()) + QChar(0x00B0)});
    } else {
        properties.append({tr("Type"), tr("Orthographic")});
        properties.append({tr("Zoom"), number(camera->getZoomX()) + QStringLiteral(", ") + number(camera->getZoomY())});
    }
    properties.append({tr("Near Plane"), number(camera->getNearPlane())});
    properties.append({tr("Far Plane"), number(camera->getFarPlane())});
    properties.append({tr("Aspect Ratio"), number(camera->getAspectRatio())});
    return properties;
}

QString PropertyService::lightTypeName(int type)
{
    switch (engine::Light::Type(type)) {
    case engine::Light::DIRECTIONAL:
        return tr("Directional");
    case engine::Light::POINT:
        return tr("Point");
    case engine::Light::SPOT:
        return tr("Spot");
    }
    return QString();
}

QString PropertyService::materialName(const engine::Material* material)
{
    const QString name = material ? QString::fromUtf8(material->getId()) : QString();
    return name.isEmpty() ? tr("(unnamed)") : name;
}

// With a shared material the parts' own ones are not drawn.
QVector<const engine::Material*> PropertyService::drawnMaterials(const engine::Model* model)
{
    QVector<const engine::Material*> materials;
    for (unsigned int part = 0; part < model->getMeshPartCount(); ++part)
        materials.append(model->getMaterial() ? model->getMaterial() : model->getMaterial(int(part)));
    if (materials.isEmpty() && model->getMaterial())
        materials.append(model->getMaterial());
    return materials;
}

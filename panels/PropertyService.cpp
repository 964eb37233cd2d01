#include "PropertyService.h"

#include "Light.h"
#include "Node.h"

namespace {

QString number(float value) { return QString::number(value, 'g', 6); }

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
    if (const engine::Light* light = node->getLight())
        properties.insert(lightProperties(light));
    return properties;
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

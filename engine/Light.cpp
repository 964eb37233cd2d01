#include "Light.h"

#include "Node.h"
#include "Properties.h"

#include <cmath>
#include <cstring>

namespace engine {

Light::Light(Type type)
    : m_type(type)
{
}

Light* Light::createDirectional(const Vector3& color)
{
    Light* light = new Light(DIRECTIONAL);
    light->setColor(color);
    return light;
}

Light* Light::createPoint(const Vector3& color, float range)
{
    Light* light = new Light(POINT);
    light->setColor(color);
    light->setRange(range);
    return light;
}

Light* Light::createSpot(const Vector3& color, float range, float innerAngle, float outerAngle)
{
    Light* light = new Light(SPOT);
    light->setColor(color);
    light->setRange(range);
    light->setInnerAngle(innerAngle);
    light->setOuterAngle(outerAngle);
    return light;
}

Light* Light::create(Properties* properties)
{
    if (!properties)
        return nullptr;
    const char* type = properties->getString("type");
    if (!type)
        return nullptr;
    Vector3 color;
    properties->getVector3("color", &color);
    if (std::strcmp(type, "DIRECTIONAL") == 0)
        return createDirectional(color);
    if (std::strcmp(type, "POINT") == 0)
        return createPoint(color, properties->getFloat("range"));
    if (std::strcmp(type, "SPOT") == 0) {
        return createSpot(color, properties->getFloat("range"), properties->getFloat("innerAngle"),
                          properties->getFloat("outerAngle"));
    }
    return nullptr;
}

void Light::setRange(float range)
{
    // A negative, NaN or infinite range would poison the node's bounds.
    if (m_type == DIRECTIONAL || !(range >= 0.0f) || !std::isfinite(range))
        return;
    m_range = range;
    m_rangeInverse = range != 0.0f ? 1.0f / range : 0.0f;
    if (m_node)
        m_node->markBoundsDirtyUpwards();
}

void Light::setInnerAngle(float angle)
{
    if (m_type != SPOT)
        return;
    m_innerAngle = angle;
    m_innerAngleCos = std::cos(angle);
}

void Light::setOuterAngle(float angle)
{
    if (m_type != SPOT)
        return;
    m_outerAngle = angle;
    m_outerAngleCos = std::cos(angle);
}

} // namespace engine

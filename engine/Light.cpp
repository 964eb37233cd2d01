#include "engine/Light.h"

#include "engine/Properties.h"

#include <cmath>
#include <cstring>

namespace engine {

Light::Light(Type type)
    : _type(type)
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
    if (_type == DIRECTIONAL)
        return;
    _range = range;
    _rangeInverse = range != 0.0f ? 1.0f / range : 0.0f;
}

void Light::setInnerAngle(float angle)
{
    if (_type != SPOT)
        return;
    _innerAngle = angle;
    _innerAngleCos = std::cos(angle);
}

void Light::setOuterAngle(float angle)
{
    if (_type != SPOT)
        return;
    _outerAngle = angle;
    _outerAngleCos = std::cos(angle);
}

} // namespace engine

#ifndef ENGINE_LIGHT_H
#define ENGINE_LIGHT_H

#include "engine/Ref.h"
#include "engine/math/Vector3.h"

namespace engine {

class Node;
class Properties;

// Angles are radians; derived values (inverse range, cosines) follow every set.
class Light : public Ref
{
public:
    enum Type
    {
        DIRECTIONAL = 1,
        POINT = 2,
        SPOT = 3
    };

    static Light* createDirectional(const Vector3& color);
    static Light* createPoint(const Vector3& color, float range);
    static Light* createSpot(const Vector3& color, float range, float innerAngle, float outerAngle);
    // From a "light" namespace; null for an unknown "type".
    static Light* create(Properties* properties);

    Type getLightType() const { return _type; }
    const Vector3& getColor() const { return _color; }
    void setColor(const Vector3& color) { _color = color; }
    // Range values are 0 for a directional light.
    float getRange() const { return _range; }
    void setRange(float range);
    // 0 for a range of 0 rather than infinity.
    float getRangeInverse() const { return _rangeInverse; }
    // Angles and cosines are 0 except for a spot light.
    float getInnerAngle() const { return _innerAngle; }
    void setInnerAngle(float angle);
    float getInnerAngleCos() const { return _innerAngleCos; }
    float getOuterAngle() const { return _outerAngle; }
    void setOuterAngle(float angle);
    float getOuterAngleCos() const { return _outerAngleCos; }

    Node* getNode() const { return _node; }

private:
    explicit Light(Type type);
    ~Light() override = default;

    friend class Node;
    void setNode(Node* node) { _node = node; }

    Type _type;
    Vector3 _color;
    float _range = 0.0f;
    float _rangeInverse = 0.0f;
    float _innerAngle = 0.0f;
    float _innerAngleCos = 0.0f;
    float _outerAngle = 0.0f;
    float _outerAngleCos = 0.0f;
    Node* _node = nullptr;
};

} // namespace engine

#endif

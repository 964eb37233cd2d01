#pragma once

#include "Ref.h"
#include "math/Vector3.h"

namespace engine {

class Node;
class Properties;

// Angles are radians; derived values (inverse range, cosines) follow every set.
class Light : public Ref {
public:
    enum Type { DIRECTIONAL = 1, POINT = 2, SPOT = 3 };

    static Light* createDirectional(const Vector3& color);
    static Light* createPoint(const Vector3& color, float range);
    static Light* createSpot(const Vector3& color, float range, float innerAngle, float outerAngle);
    // From a "light" namespace; null for an unknown "type".
    static Light* create(Properties* properties);

    Type getLightType() const { return m_type; }
    const Vector3& getColor() const { return m_color; }
    void setColor(const Vector3& color) { m_color = color; }
    // Range values are 0 for a directional light.
    float getRange() const { return m_range; }
    void setRange(float range);
    // 0 for a range of 0 rather than infinity.
    float getRangeInverse() const { return m_rangeInverse; }
    // Angles and cosines are 0 except for a spot light.
    float getInnerAngle() const { return m_innerAngle; }
    void setInnerAngle(float angle);
    float getInnerAngleCos() const { return m_innerAngleCos; }
    float getOuterAngle() const { return m_outerAngle; }
    void setOuterAngle(float angle);
    float getOuterAngleCos() const { return m_outerAngleCos; }

    Node* getNode() const { return m_node; }

private:
    explicit Light(Type type);
    ~Light() override = default;

    friend class Node;
    void setNode(Node* node) { m_node = node; }

    Type m_type;
    Vector3 m_color;
    float m_range = 0.0f;
    float m_rangeInverse = 0.0f;
    float m_innerAngle = 0.0f;
    float m_innerAngleCos = 0.0f;
    float m_outerAngle = 0.0f;
    float m_outerAngleCos = 0.0f;
    Node* m_node = nullptr;
};

} // namespace engine

#pragma once

#include "Vector3.h"

namespace engine {

// Also used for RGBA colours.
class Vector4 {
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    Vector4() = default;
    Vector4(float x, float y, float z, float w)
        : x(x)
        , y(y)
        , z(z)
        , w(w)
    {
    }
    Vector4(const Vector3& v, float w)
        : x(v.x)
        , y(v.y)
        , z(v.z)
        , w(w)
    {
    }

    static Vector4 zero() { return Vector4(); }
    static Vector4 one() { return Vector4(1.0f, 1.0f, 1.0f, 1.0f); }

    bool isZero() const { return x == 0.0f && y == 0.0f && z == 0.0f && w == 0.0f; }
    float dot(const Vector4& v) const { return x * v.x + y * v.y + z * v.z + w * v.w; }
    float lengthSquared() const { return dot(*this); }
    float length() const;
    // Leaves a zero-length vector unchanged instead of producing NaN.
    Vector4& normalize();
    Vector3 xyz() const { return Vector3(x, y, z); }

    void set(float vx, float vy, float vz, float vw)
    {
        x = vx;
        y = vy;
        z = vz;
        w = vw;
    }

    Vector4 operator+(const Vector4& v) const { return Vector4(x + v.x, y + v.y, z + v.z, w + v.w); }
    Vector4 operator-(const Vector4& v) const { return Vector4(x - v.x, y - v.y, z - v.z, w - v.w); }
    Vector4 operator-() const { return Vector4(-x, -y, -z, -w); }
    Vector4 operator*(float s) const { return Vector4(x * s, y * s, z * s, w * s); }
    Vector4 operator/(float s) const { return Vector4(x / s, y / s, z / s, w / s); }
    bool operator==(const Vector4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
    bool operator!=(const Vector4& v) const { return !(*this == v); }
};

inline Vector4 operator*(float s, const Vector4& v) { return v * s; }

} // namespace engine

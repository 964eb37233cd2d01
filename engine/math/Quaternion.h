#pragma once

#include "Vector3.h"

namespace engine {

class Matrix;

// Rotation quaternion; (0, 0, 0, 1) is no rotation.
class Quaternion {
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;

    Quaternion() = default;
    Quaternion(float x, float y, float z, float w)
        : x(x)
        , y(y)
        , z(z)
        , w(w)
    {
    }

    static Quaternion identity() { return Quaternion(); }
    static Quaternion zero() { return Quaternion(0.0f, 0.0f, 0.0f, 0.0f); }
    // Angle in radians; the axis need not be normalised. A zero axis gives identity.
    static Quaternion fromAxisAngle(const Vector3& axis, float angle);
    // Rotation part of a matrix (scale removed first).
    static Quaternion fromMatrix(const Matrix& m);

    bool isIdentity() const { return x == 0.0f && y == 0.0f && z == 0.0f && w == 1.0f; }
    bool isZero() const { return x == 0.0f && y == 0.0f && z == 0.0f && w == 0.0f; }

    float dot(const Quaternion& q) const { return x * q.x + y * q.y + z * q.z + w * q.w; }
    float length() const;
    // A zero quaternion is left unchanged.
    Quaternion& normalize();
    Quaternion normalized() const
    {
        Quaternion q(*this);
        return q.normalize();
    }
    // Multiplicative inverse; a zero quaternion yields itself.
    Quaternion inverse() const;
    // Returns the angle in radians and writes the unit axis (x axis for no rotation).
    float toAxisAngle(Vector3* axis) const;

    // Rotates a vector by this (unit) quaternion.
    Vector3 rotate(const Vector3& v) const;

    // Spherical interpolation along the shorter arc; t = 0 gives a, t = 1 gives b.
    static Quaternion slerp(const Quaternion& a, const Quaternion& b, float t);
    // Normalised linear interpolation (no shortest-arc correction).
    static Quaternion lerp(const Quaternion& a, const Quaternion& b, float t);

    // Product: (a * b) applies b first, then a.
    Quaternion operator*(const Quaternion& q) const;
    Quaternion& operator*=(const Quaternion& q)
    {
        *this = *this * q;
        return *this;
    }
    bool operator==(const Quaternion& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
    bool operator!=(const Quaternion& q) const { return !(*this == q); }
};

} // namespace engine

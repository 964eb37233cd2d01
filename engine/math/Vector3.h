#pragma once

namespace engine {

// Also used for RGB colours: x red, y green, z blue.
class Vector3 {
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vector3() = default;
    Vector3(float x, float y, float z)
        : x(x)
        , y(y)
        , z(z)
    {
    }

    static Vector3 zero() { return Vector3(); }
    static Vector3 one() { return Vector3(1.0f, 1.0f, 1.0f); }
    static Vector3 unitX() { return Vector3(1.0f, 0.0f, 0.0f); }
    static Vector3 unitY() { return Vector3(0.0f, 1.0f, 0.0f); }
    static Vector3 unitZ() { return Vector3(0.0f, 0.0f, 1.0f); }

    bool isZero() const { return x == 0.0f && y == 0.0f && z == 0.0f; }
    float dot(const Vector3& v) const { return x * v.x + y * v.y + z * v.z; }
    Vector3 cross(const Vector3& v) const { return Vector3(y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x); }
    float lengthSquared() const { return x * x + y * y + z * z; }
    float length() const;
    float distance(const Vector3& v) const;
    float distanceSquared(const Vector3& v) const { return (*this - v).lengthSquared(); }
    // Leaves a zero-length vector unchanged instead of producing NaN.
    Vector3& normalize();
    Vector3 normalized() const
    {
        Vector3 v(*this);
        return v.normalize();
    }

    void set(float vx, float vy, float vz)
    {
        x = vx;
        y = vy;
        z = vz;
    }

    Vector3 operator+(const Vector3& v) const { return Vector3(x + v.x, y + v.y, z + v.z); }
    Vector3 operator-(const Vector3& v) const { return Vector3(x - v.x, y - v.y, z - v.z); }
    Vector3 operator-() const { return Vector3(-x, -y, -z); }
    Vector3 operator*(float s) const { return Vector3(x * s, y * s, z * s); }
    Vector3 operator/(float s) const { return Vector3(x / s, y / s, z / s); }
    Vector3& operator+=(const Vector3& v)
    {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    Vector3& operator-=(const Vector3& v)
    {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    Vector3& operator*=(float s)
    {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    bool operator==(const Vector3& v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const Vector3& v) const { return !(*this == v); }
};

inline Vector3 operator*(float s, const Vector3& v) { return v * s; }

} // namespace engine

#pragma once

namespace engine {

class Vector2 {
public:
    float x = 0.0f;
    float y = 0.0f;

    Vector2() = default;
    Vector2(float x, float y)
        : x(x)
        , y(y)
    {
    }

    static Vector2 zero() { return Vector2(); }
    static Vector2 one() { return Vector2(1.0f, 1.0f); }

    bool isZero() const { return x == 0.0f && y == 0.0f; }
    float dot(const Vector2& v) const { return x * v.x + y * v.y; }
    float lengthSquared() const { return x * x + y * y; }
    float length() const;
    float distance(const Vector2& v) const;
    // Leaves a zero-length vector unchanged instead of producing NaN.
    Vector2& normalize();
    Vector2 normalized() const
    {
        Vector2 v(*this);
        return v.normalize();
    }

    void set(float vx, float vy)
    {
        x = vx;
        y = vy;
    }

    Vector2 operator+(const Vector2& v) const { return Vector2(x + v.x, y + v.y); }
    Vector2 operator-(const Vector2& v) const { return Vector2(x - v.x, y - v.y); }
    Vector2 operator-() const { return Vector2(-x, -y); }
    Vector2 operator*(float s) const { return Vector2(x * s, y * s); }
    Vector2 operator/(float s) const { return Vector2(x / s, y / s); }
    Vector2& operator+=(const Vector2& v)
    {
        x += v.x;
        y += v.y;
        return *this;
    }
    Vector2& operator-=(const Vector2& v)
    {
        x -= v.x;
        y -= v.y;
        return *this;
    }
    Vector2& operator*=(float s)
    {
        x *= s;
        y *= s;
        return *this;
    }
    bool operator==(const Vector2& v) const { return x == v.x && y == v.y; }
    bool operator!=(const Vector2& v) const { return !(*this == v); }
};

inline Vector2 operator*(float s, const Vector2& v) { return v * s; }

} // namespace engine

#include "Quaternion.h"

#include "Matrix.h"

#include "MathUtil.h"

#include <cmath>

namespace engine {

Quaternion Quaternion::fromAxisAngle(const Vector3& axis, float angle)
{
    Vector3 n = axis;
    if (n.lengthSquared() == 0.0f)
        return identity();
    n.normalize();
    const float half = angle * 0.5f;
    const float s = std::sin(half);
    return Quaternion(n.x * s, n.y * s, n.z * s, std::cos(half));
}

Quaternion Quaternion::fromMatrix(const Matrix& m)
{
    Quaternion q;
    m.decompose(nullptr, &q, nullptr);
    return q;
}

float Quaternion::length() const { return std::sqrt(dot(*this)); }

Quaternion& Quaternion::normalize()
{
    normalizeFour(x, y, z, w);
    return *this;
}

Quaternion Quaternion::inverse() const
{
    const float n = dot(*this);
    if (n == 0.0f)
        return *this;
    return Quaternion(-x / n, -y / n, -z / n, w / n);
}

float Quaternion::toAxisAngle(Vector3* axis) const
{
    Quaternion q = normalized();
    const float s = std::sqrt(std::fmax(0.0f, 1.0f - q.w * q.w));
    if (axis) {
        if (s < 1e-6f)
            *axis = Vector3::unitX();
        else
            *axis = Vector3(q.x / s, q.y / s, q.z / s);
    }
    return 2.0f * std::acos(std::fmax(-1.0f, std::fmin(1.0f, q.w)));
}

Vector3 Quaternion::rotate(const Vector3& v) const
{
    const Vector3 u(x, y, z);
    const Vector3 t = u.cross(v) * 2.0f;
    return v + t * w + u.cross(t);
}

Quaternion Quaternion::slerp(const Quaternion& a, const Quaternion& b, float t)
{
    // The exact endpoints matter to callers that compare keyframe values.
    if (t == 0.0f)
        return a;
    if (t == 1.0f)
        return b;

    Quaternion to = b;
    float cosAngle = a.dot(b);
    if (cosAngle < 0.0f) { // take the shorter arc
        cosAngle = -cosAngle;
        to = Quaternion(-b.x, -b.y, -b.z, -b.w);
    }

    float wa, wb;
    if (cosAngle > 0.9995f) {
        // Nearly parallel: the sine below would lose all precision.
        wa = 1.0f - t;
        wb = t;
    } else {
        const float angle = std::acos(cosAngle);
        const float sinAngle = std::sin(angle);
        wa = std::sin((1.0f - t) * angle) / sinAngle;
        wb = std::sin(t * angle) / sinAngle;
    }
    Quaternion r(wa * a.x + wb * to.x, wa * a.y + wb * to.y, wa * a.z + wb * to.z, wa * a.w + wb * to.w);
    return r.normalize();
}

Quaternion Quaternion::lerp(const Quaternion& a, const Quaternion& b, float t)
{
    Quaternion r(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, a.w + (b.w - a.w) * t);
    return r.normalize();
}

Quaternion Quaternion::operator*(const Quaternion& q) const
{
    return Quaternion(w * q.x + x * q.w + y * q.z - z * q.y, w * q.y - x * q.z + y * q.w + z * q.x,
                      w * q.z + x * q.y - y * q.x + z * q.w, w * q.w - x * q.x - y * q.y - z * q.z);
}

} // namespace engine

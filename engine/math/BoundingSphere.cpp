#include "BoundingSphere.h"

#include "BoundingBox.h"
#include "Matrix.h"

#include <algorithm>
#include <cmath>

namespace engine {

bool BoundingSphere::contains(const Vector3& p) const { return center.distanceSquared(p) <= radius * radius; }

bool BoundingSphere::intersects(const BoundingSphere& s) const
{
    const float r = radius + s.radius;
    return center.distanceSquared(s.center) <= r * r;
}

void BoundingSphere::merge(const BoundingSphere& s)
{
    if (s.isEmpty())
        return;
    if (isEmpty()) {
        *this = s;
        return;
    }
    const float d = center.distance(s.center);
    if (d + s.radius <= radius)
        return; // s lies inside
    if (d + radius <= s.radius) {
        *this = s; // this lies inside s
        return;
    }
    // d > 0 here, otherwise one sphere would contain the other.
    const float r = (d + radius + s.radius) * 0.5f;
    center = center + (s.center - center) * ((r - radius) / d);
    radius = r;
}

void BoundingSphere::merge(const BoundingBox& b)
{
    if (b.isEmpty())
        return;
    BoundingSphere s;
    s.set(b);
    merge(s);
}

void BoundingSphere::transform(const Matrix& m)
{
    center = m.transformPoint(center);
    const float sx = Vector3(m.m[0], m.m[1], m.m[2]).length();
    const float sy = Vector3(m.m[4], m.m[5], m.m[6]).length();
    const float sz = Vector3(m.m[8], m.m[9], m.m[10]).length();
    radius *= std::max(sx, std::max(sy, sz));
}

void BoundingSphere::set(const BoundingBox& b)
{
    center = b.getCenter();
    radius = center.distance(b.max);
}

} // namespace engine

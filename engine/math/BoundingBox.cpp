#include "BoundingBox.h"

#include "BoundingSphere.h"
#include "Matrix.h"

#include <algorithm>

namespace engine {

void BoundingBox::getCorners(Vector3* dst) const
{
    dst[0] = Vector3(min.x, max.y, max.z);
    dst[1] = Vector3(min.x, min.y, max.z);
    dst[2] = Vector3(max.x, min.y, max.z);
    dst[3] = Vector3(max.x, max.y, max.z);
    dst[4] = Vector3(max.x, max.y, min.z);
    dst[5] = Vector3(max.x, min.y, min.z);
    dst[6] = Vector3(min.x, min.y, min.z);
    dst[7] = Vector3(min.x, max.y, min.z);
}

bool BoundingBox::contains(const Vector3& p) const
{
    return p.x >= min.x && p.x <= max.x && p.y >= min.y && p.y <= max.y && p.z >= min.z && p.z <= max.z;
}

bool BoundingBox::intersects(const BoundingBox& b) const
{
    return min.x <= b.max.x && max.x >= b.min.x && min.y <= b.max.y && max.y >= b.min.y && min.z <= b.max.z
        && max.z >= b.min.z;
}

void BoundingBox::merge(const BoundingBox& b)
{
    if (b.isEmpty())
        return;
    if (isEmpty()) {
        *this = b;
        return;
    }
    min = Vector3(std::min(min.x, b.min.x), std::min(min.y, b.min.y), std::min(min.z, b.min.z));
    max = Vector3(std::max(max.x, b.max.x), std::max(max.y, b.max.y), std::max(max.z, b.max.z));
}

void BoundingBox::merge(const Vector3& p)
{
    min = Vector3(std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z));
    max = Vector3(std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z));
}

void BoundingBox::transform(const Matrix& m)
{
    Vector3 corners[8];
    getCorners(corners);
    const Vector3 first = m.transformPoint(corners[0]);
    min = first;
    max = first;
    for (int i = 1; i < 8; ++i)
        merge(m.transformPoint(corners[i]));
}

void BoundingBox::set(const BoundingSphere& s)
{
    const Vector3 r(s.radius, s.radius, s.radius);
    min = s.center - r;
    max = s.center + r;
}

} // namespace engine

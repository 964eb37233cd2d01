#pragma once

#include "Vector3.h"

namespace engine {

class Matrix;
class BoundingBox;

// A sphere of radius 0 counts as empty.
class BoundingSphere {
public:
    Vector3 center;
    float radius = 0.0f;

    BoundingSphere() = default;
    BoundingSphere(const Vector3& center, float radius)
        : center(center)
        , radius(radius)
    {
    }

    static BoundingSphere empty() { return BoundingSphere(); }

    bool isEmpty() const { return radius == 0.0f; }
    bool contains(const Vector3& p) const;
    bool intersects(const BoundingSphere& s) const;

    // Smallest sphere enclosing both. Merging into an empty sphere takes s as
    // it is and an empty s changes nothing.
    void merge(const BoundingSphere& s);
    // Encloses the box's corners as well.
    void merge(const BoundingBox& b);
    // Moves the centre as a point and scales the radius by the largest axis scale.
    void transform(const Matrix& m);

    void set(const Vector3& c, float r)
    {
        center = c;
        radius = r;
    }
    // The sphere through the box's corners.
    void set(const BoundingBox& b);

    bool operator==(const BoundingSphere& s) const { return center == s.center && radius == s.radius; }
    bool operator!=(const BoundingSphere& s) const { return !(*this == s); }
};

} // namespace engine

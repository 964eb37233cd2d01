#pragma once

#include "Vector3.h"

namespace engine {

class Matrix;
class BoundingSphere;

// Axis-aligned box. The zero box (min == max) counts as empty.
class BoundingBox {
public:
    Vector3 min;
    Vector3 max;

    BoundingBox() = default;
    BoundingBox(const Vector3& min, const Vector3& max)
        : min(min)
        , max(max)
    {
    }

    static BoundingBox empty() { return BoundingBox(); }

    bool isEmpty() const { return min == max; }
    Vector3 getCenter() const { return (min + max) * 0.5f; }
    // Corners: near face (z = max) counter-clockwise from top left, then far face.
    void getCorners(Vector3* dst) const;
    bool contains(const Vector3& p) const;
    bool intersects(const BoundingBox& b) const;

    // Grows to enclose b. Merging into an empty box takes b as it is and an
    // empty b changes nothing.
    void merge(const BoundingBox& b);
    void merge(const Vector3& p);
    // Replaces this box by the axis-aligned box around its eight transformed corners.
    void transform(const Matrix& m);

    void set(const Vector3& mn, const Vector3& mx)
    {
        min = mn;
        max = mx;
    }
    void set(const BoundingSphere& s);

    bool operator==(const BoundingBox& b) const { return min == b.min && max == b.max; }
    bool operator!=(const BoundingBox& b) const { return !(*this == b); }
};

} // namespace engine

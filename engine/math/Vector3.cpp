#include "Vector3.h"

#include <cmath>

namespace engine {

float Vector3::length() const { return std::sqrt(lengthSquared()); }

float Vector3::distance(const Vector3& v) const { return (*this - v).length(); }

Vector3& Vector3::normalize()
{
    const float len = length();
    if (len > 0.0f) {
        x /= len;
        y /= len;
        z /= len;
    }
    return *this;
}

} // namespace engine

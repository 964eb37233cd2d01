#include "Vector4.h"

#include <cmath>

namespace engine {

float Vector4::length() const { return std::sqrt(lengthSquared()); }

Vector4& Vector4::normalize()
{
    const float len = length();
    if (len > 0.0f) {
        x /= len;
        y /= len;
        z /= len;
        w /= len;
    }
    return *this;
}

} // namespace engine

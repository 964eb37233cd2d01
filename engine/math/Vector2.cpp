#include "Vector2.h"

#include <cmath>

namespace engine {

float Vector2::length() const { return std::sqrt(lengthSquared()); }

float Vector2::distance(const Vector2& v) const { return (*this - v).length(); }

Vector2& Vector2::normalize()
{
    const float len = length();
    if (len > 0.0f) {
        x /= len;
        y /= len;
    }
    return *this;
}

} // namespace engine

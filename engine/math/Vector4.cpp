#include "Vector4.h"

#include "MathUtil.h"

#include <cmath>

namespace engine {

float Vector4::length() const { return std::sqrt(lengthSquared()); }

Vector4& Vector4::normalize()
{
    normalizeFour(x, y, z, w);
    return *this;
}

} // namespace engine

#pragma once

#include <cmath>

namespace engine {

constexpr float kMathPi = 3.14159265358979323846f;
constexpr float kMathPiOver2 = 1.57079632679489661923f;
constexpr float kMathDegToRadFactor = 0.017453292f;
constexpr float kMathEpsilon = 0.000001f;
constexpr float kMathFloatMax = 3.4028235e38f;

inline float degreesToRadians(float degrees) { return degrees * kMathDegToRadFactor; }
inline float radiansToDegrees(float radians) { return radians * 57.29577951f; }

// GLSL's smoothstep, so that code on the processor weighs a spot light's
// cone as the model shader does; a cone with no soft edge steps at edge1.
inline float smoothStep(float edge0, float edge1, float x)
{
    if (edge1 <= edge0)
        return x >= edge1 ? 1.0f : 0.0f;
    const float t = std::fmin(1.0f, std::fmax(0.0f, (x - edge0) / (edge1 - edge0)));
    return t * t * (3.0f - 2.0f * t);
}

// Divides four components by their length (vectors and quaternions alike);
// a zero length leaves them as they are.
inline void normalizeFour(float& x, float& y, float& z, float& w)
{
    const float len = std::sqrt(x * x + y * y + z * z + w * w);
    if (len > 0.0f) {
        x /= len;
        y /= len;
        z /= len;
        w /= len;
    }
}

} // namespace engine

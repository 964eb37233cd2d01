#include "Curve.h"

#include "math/Quaternion.h"

#include <cmath>
#include <cstring>

namespace engine {

namespace {

const char* const kInterpolationNames[Curve::INTERPOLATION_TYPE_COUNT] = {
    "BEZIER",
    "BSPLINE",
    "FLAT",
    "HERMITE",
    "LINEAR",
    "SMOOTH",
    "STEP",
    "QUADRATIC_IN",
    "QUADRATIC_OUT",
    "QUADRATIC_IN_OUT",
    "QUADRATIC_OUT_IN",
    "CUBIC_IN",
    "CUBIC_OUT",
    "CUBIC_IN_OUT",
    "CUBIC_OUT_IN",
    "QUARTIC_IN",
    "QUARTIC_OUT",
    "QUARTIC_IN_OUT",
    "QUARTIC_OUT_IN",
    "QUINTIC_IN",
    "QUINTIC_OUT",
    "QUINTIC_IN_OUT",
    "QUINTIC_OUT_IN",
    "SINE_IN",
    "SINE_OUT",
    "SINE_IN_OUT",
    "SINE_OUT_IN",
    "EXPONENTIAL_IN",
    "EXPONENTIAL_OUT",
    "EXPONENTIAL_IN_OUT",
    "EXPONENTIAL_OUT_IN",
    "CIRCULAR_IN",
    "CIRCULAR_OUT",
    "CIRCULAR_IN_OUT",
    "CIRCULAR_OUT_IN",
    "ELASTIC_IN",
    "ELASTIC_OUT",
    "ELASTIC_IN_OUT",
    "ELASTIC_OUT_IN",
    "OVERSHOOT_IN",
    "OVERSHOOT_OUT",
    "OVERSHOOT_IN_OUT",
    "OVERSHOOT_OUT_IN",
    "BOUNCE_IN",
    "BOUNCE_OUT",
    "BOUNCE_IN_OUT",
    "BOUNCE_OUT_IN",
};

const float kHalfPi = 1.5707964f;
const float kPi = 3.1415927f;
const float kTwoPi = 6.2831855f;

float pow3(float v) { return v * v * v; }
float pow4(float v) { return v * v * v * v; }
float pow5(float v) { return v * v * v * v * v; }

float bounce(float v)
{
    if (v < 0.36363637f)
        return 7.5625f * v * v;
    if (v < 0.72727275f) {
        v -= 0.54545456f;
        return 7.5625f * v * v + 0.75f;
    }
    if (v < 0.90909094f) {
        v -= 0.8181818f;
        return 7.5625f * v * v + 0.9375f;
    }
    v -= 0.95454544f;
    return 7.5625f * v * v + 0.984375f;
}

// Hermite basis weights for value from, value to, out-tangent, in-tangent.
struct HermiteWeights {
    float from, to, out, in;
};

HermiteWeights hermiteWeights(float s)
{
    const float s2 = s * s;
    const float s3 = s2 * s;
    return {2.0f * s3 - 3.0f * s2 + 1.0f, 3.0f * s2 - 2.0f * s3, s3 - 2.0f * s2 + s, s3 - s2};
}

// Quaternions stored as four floats (x, y, z, w) in a value.
void slerpComponents(const float* a, const float* b, float t, float* out)
{
    const Quaternion q = Quaternion::slerp(Quaternion(a[0], a[1], a[2], a[3]), Quaternion(b[0], b[1], b[2], b[3]), t);
    out[0] = q.x;
    out[1] = q.y;
    out[2] = q.z;
    out[3] = q.w;
}

} // namespace

Curve* Curve::create(unsigned int pointCount, unsigned int componentCount)
{
    if (pointCount == 0 || componentCount == 0)
        return nullptr;
    return new Curve(pointCount, componentCount);
}

Curve::Curve(unsigned int pointCount, unsigned int componentCount)
    : m_pointCount(pointCount)
    , m_componentCount(componentCount)
    , m_componentSize(componentCount * sizeof(float))
    , m_hasQuaternion(false)
    , m_quaternionOffset(0)
    , m_times(new float[pointCount]())
    , m_lastSegment(0)
    , m_types(new InterpolationType[pointCount])
    , m_values(nullptr)
    , m_inValues(nullptr)
    , m_outValues(nullptr)
{
    const size_t perKind = size_t(pointCount) * componentCount;
    m_values = new float[perKind * 3]();
    m_inValues = m_values + perKind;
    m_outValues = m_inValues + perKind;
    for (unsigned int i = 0; i < pointCount; ++i)
        m_types[i] = LINEAR;
    m_times[pointCount - 1] = 1.0f;
}

Curve::~Curve()
{
    delete[] m_times;
    delete[] m_types;
    delete[] m_values;
}

void Curve::setPoint(unsigned int index, float time, const float* value, int type)
{
    setPoint(index, time, value, type, nullptr, nullptr);
}

void Curve::setPoint(unsigned int index, float time, const float* value, int type, const float* inValue,
                     const float* outValue)
{
    if (index >= m_pointCount)
        return;
    const size_t at = size_t(index) * m_componentCount;
    m_times[index] = time;
    m_types[index] = type >= 0 && type < INTERPOLATION_TYPE_COUNT ? InterpolationType(type) : LINEAR;
    if (value)
        std::memcpy(m_values + at, value, m_componentSize);
    if (inValue)
        std::memcpy(m_inValues + at, inValue, m_componentSize);
    if (outValue)
        std::memcpy(m_outValues + at, outValue, m_componentSize);
}

float Curve::pointTime(unsigned int index) const { return index < m_pointCount ? m_times[index] : 0.0f; }

const float* Curve::pointValue(unsigned int index) const
{
    return index < m_pointCount ? m_values + size_t(index) * m_componentCount : nullptr;
}

void Curve::setQuaternionOffset(const unsigned int* offset)
{
    if (!offset) {
        m_hasQuaternion = false;
        return;
    }
    if (m_componentCount < 4 || *offset > m_componentCount - 4)
        return;
    m_hasQuaternion = true;
    m_quaternionOffset = *offset;
}

bool Curve::isQuaternionComponent(unsigned int component) const
{
    return m_hasQuaternion && component >= m_quaternionOffset && component < m_quaternionOffset + 4;
}

int Curve::interpolationTypeFromName(const char* name)
{
    if (!name)
        return -1;
    for (int i = 0; i < INTERPOLATION_TYPE_COUNT; ++i) {
        if (std::strcmp(name, kInterpolationNames[i]) == 0)
            return i;
    }
    return -1;
}

float Curve::ease(int type, float s)
{
    switch (type) {
    case QUADRATIC_IN:
        return s * s;
    case QUADRATIC_OUT:
        return -(s - 2.0f) * s;
    case QUADRATIC_IN_OUT: {
        const float t = 2.0f * s;
        if (t < 1.0f)
            return 0.5f * t * t;
        const float u = t - 1.0f;
        return 0.5f * (1.0f - (u - 2.0f) * u);
    }
    case QUADRATIC_OUT_IN:
        return s < 0.5f ? 2.0f * s * (1.0f - s) : 2.0f * s * (s - 1.0f) + 1.0f;
    case CUBIC_IN:
        return pow3(s);
    case CUBIC_OUT:
        return pow3(s - 1.0f) + 1.0f;
    case CUBIC_IN_OUT: {
        const float t = 2.0f * s;
        return t < 1.0f ? 0.5f * pow3(t) : 0.5f * (pow3(t - 2.0f) + 2.0f);
    }
    case CUBIC_OUT_IN:
        return 0.5f * (pow3(2.0f * s - 1.0f) + 1.0f);
    case QUARTIC_IN:
        return pow4(s);
    case QUARTIC_OUT:
        return 1.0f - pow4(s - 1.0f);
    case QUARTIC_IN_OUT: {
        const float t = 2.0f * s;
        return t < 1.0f ? 0.5f * pow4(t) : -0.5f * (pow4(t - 2.0f) - 2.0f);
    }
    case QUARTIC_OUT_IN: {
        const float u = 2.0f * s - 1.0f;
        return u < 0.0f ? 0.5f * (1.0f - pow4(u)) : 0.5f * (pow4(u) + 1.0f);
    }
    case QUINTIC_IN:
        return pow5(s);
    case QUINTIC_OUT:
        return pow5(s - 1.0f) + 1.0f;
    case QUINTIC_IN_OUT: {
        const float t = 2.0f * s;
        return t < 1.0f ? 0.5f * pow5(t) : 0.5f * (pow5(t - 2.0f) + 2.0f);
    }
    case QUINTIC_OUT_IN:
        return 0.5f * (pow5(2.0f * s - 1.0f) + 1.0f);
    case SINE_IN:
        return 1.0f - std::cos(s * kHalfPi);
    case SINE_OUT:
        return std::sin(s * kHalfPi);
    case SINE_IN_OUT:
        return -0.5f * (std::cos(s * kPi) - 1.0f);
    case SINE_OUT_IN:
        return s < 0.5f ? 0.5f * std::sin(s * kPi) : 1.0f - 0.5f * std::cos((2.0f * s - 1.0f) * kHalfPi);
    case EXPONENTIAL_IN:
        return s == 0.0f ? 0.0f : std::exp(10.0f * (s - 1.0f));
    case EXPONENTIAL_OUT:
        return s == 1.0f ? 1.0f : 1.0f - std::exp(-10.0f * s);
    case EXPONENTIAL_IN_OUT:
        if (s == 0.0f || s == 1.0f)
            return s;
        return s < 0.5f ? 0.5f * std::exp(10.0f * (2.0f * s - 1.0f))
                        : 1.0f - 0.5f * std::exp(10.0f * (1.0f - 2.0f * s));
    case EXPONENTIAL_OUT_IN:
        if (s == 0.0f || s == 1.0f)
            return s;
        return s < 0.5f ? 0.5f - 0.5f * std::exp(-20.0f * s) : 0.5f + 0.5f * std::exp(20.0f * (s - 1.0f));
    case CIRCULAR_IN:
        return 1.0f - std::sqrt(1.0f - s * s);
    case CIRCULAR_OUT:
        return std::sqrt(1.0f - (s - 1.0f) * (s - 1.0f));
    case CIRCULAR_IN_OUT: {
        const float t = 2.0f * s;
        return t < 1.0f ? 0.5f * (1.0f - std::sqrt(1.0f - t * t))
                        : 0.5f * (std::sqrt(1.0f - (t - 2.0f) * (t - 2.0f)) + 1.0f);
    }
    case CIRCULAR_OUT_IN: {
        const float u = 2.0f * s - 1.0f;
        return u < 0.0f ? 0.5f * std::sqrt(1.0f - u * u) : 0.5f * (2.0f - std::sqrt(1.0f - u * u));
    }
    case ELASTIC_IN: {
        if (s == 0.0f || s == 1.0f)
            return s;
        const float u = s - 1.0f;
        return -std::sin((u - 0.075f) * kTwoPi / 0.3f) * std::exp(10.0f * u);
    }
    case ELASTIC_OUT:
        if (s == 0.0f || s == 1.0f)
            return s;
        return std::sin((s - 0.075f) * kTwoPi / 0.3f) * std::exp(-10.0f * s) + 1.0f;
    case ELASTIC_IN_OUT: {
        if (s == 0.0f || s == 1.0f)
            return s;
        const float u = 2.0f * s - 1.0f;
        const float w = std::sin((u - 0.1125f) * kTwoPi / 0.45f);
        return u < 0.0f ? -0.5f * w * std::exp(10.0f * u) : 0.5f * w * std::exp(-10.0f * u) + 1.0f;
    }
    case ELASTIC_OUT_IN: {
        if (s == 0.0f || s == 1.0f)
            return s;
        const float t = 2.0f * s;
        const float w = std::sin((t - 0.1125f) * kTwoPi / 0.45f);
        return t < 1.0f ? 0.5f * w * std::exp(-10.0f * t) + 0.5f : 0.5f * w * std::exp(10.0f * (t - 2.0f)) + 0.5f;
    }
    case OVERSHOOT_IN:
        return s * s * (2.70158f * s - 1.70158f);
    case OVERSHOOT_OUT: {
        const float u = s - 1.0f;
        return (2.70158f * u + 1.70158f) * u * u + 1.0f;
    }
    case OVERSHOOT_IN_OUT: {
        const float t = 2.0f * s;
        if (t < 1.0f)
            return 0.5f * t * t * (3.5949094f * t - 2.5949094f);
        const float u = t - 2.0f;
        return 0.5f * ((3.5949094f * u + 2.5949094f) * u * u + 2.0f);
    }
    case OVERSHOOT_OUT_IN: {
        const float u = 2.0f * s - 1.0f;
        return u < 0.0f ? 0.5f * ((3.5949094f * u + 2.5949094f) * u * u + 1.0f)
                        : 0.5f * ((3.5949094f * u - 2.5949094f) * u * u + 1.0f);
    }
    case BOUNCE_IN:
        return 1.0f - bounce(1.0f - s);
    case BOUNCE_OUT:
        return bounce(s);
    case BOUNCE_IN_OUT:
        return s < 0.5f ? 0.5f * (1.0f - bounce(1.0f - 2.0f * s)) : 0.5f * bounce(2.0f * s - 1.0f) + 0.5f;
    case BOUNCE_OUT_IN:
        if (s < 0.18181819f)
            return 15.125f * s * s;
        if (s < 0.36363637f)
            return (15.125f * s - 8.25f) * s + 1.5f;
        if (s < 0.45454547f)
            return (15.125f * s - 12.375f) * s + 3.0f;
        if (s < 0.5f)
            return (15.125f * s - 14.4375f) * s + 3.9375f;
        if (s <= 0.54545456f)
            return (15.8125f - 15.125f * s) * s - 3.625f;
        if (s <= 0.6363636f)
            return (17.875f - 15.125f * s) * s - 4.75f;
        if (s <= 0.8181818f)
            return (22.0f - 15.125f * s) * s - 7.375f;
        return (30.25f - 15.125f * s) * s - 14.125f;
    default:
        return s;
    }
}

// Largest index in [first, last - 1] whose point time is <= time, so that
// [first, first + 1) style segments are found by halving.
unsigned int Curve::findSegment(float time, unsigned int first, unsigned int last) const
{
    for (unsigned int guess = m_lastSegment; guess < m_lastSegment + 2 && guess + 1 <= last; ++guess) {
        if (guess >= first && m_times[guess] <= time && time < m_times[guess + 1]) {
            m_lastSegment = guess;
            return guess;
        }
    }
    unsigned int low = first;
    unsigned int high = last; // invariant: time < points[high].time unless high == last
    while (high - low > 1) {
        const unsigned int mid = low + (high - low) / 2;
        if (m_times[mid] <= time)
            low = mid;
        else
            high = mid;
    }
    m_lastSegment = low;
    return low;
}

// First index whose point time is >= time (the last point when none is).
unsigned int Curve::findPointAtOrAfter(float time) const
{
    unsigned int low = 0;
    unsigned int high = m_pointCount - 1;
    while (low < high) {
        const unsigned int mid = low + (high - low) / 2;
        if (m_times[mid] < time)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

void Curve::copyValue(unsigned int index, float* dst) const
{
    std::memcpy(dst, m_values + size_t(index) * m_componentCount, m_componentSize);
}

void Curve::evaluate(float time, float startTime, float endTime, float loopBlendTime, float* dst) const
{
    if (m_pointCount == 1) {
        copyValue(0, dst);
        return;
    }
    if (!(loopBlendTime > 0.0f)) // also catches NaN
        loopBlendTime = 0.0f;
    if (std::isnan(time))
        time = 0.0f;

    unsigned int minIndex = 0;
    unsigned int maxIndex = m_pointCount - 1;
    if (startTime > 0.0f || endTime < 1.0f) {
        // The requested part runs from the segment holding startTime to the
        // first point at or after endTime, so that it is fully covered.
        minIndex = findSegment(startTime, 0, m_pointCount - 1);
        maxIndex = findPointAtOrAfter(endTime);
        if (maxIndex <= minIndex) {
            copyValue(minIndex, dst);
            return;
        }
        time = m_times[minIndex] + (m_times[maxIndex] - m_times[minIndex]) * time;
    }
    const float minTime = m_times[minIndex];
    const float maxTime = m_times[maxIndex];

    if (loopBlendTime == 0.0f) {
        if (time < minTime)
            time = minTime;
        else if (time > maxTime)
            time = maxTime;
    }
    if (time == minTime) {
        copyValue(minIndex, dst);
        return;
    }
    if (time == maxTime) {
        copyValue(maxIndex, dst);
        return;
    }

    unsigned int fromIndex;
    unsigned int toIndex;
    float s;
    if (time > maxTime) {
        fromIndex = maxIndex;
        toIndex = minIndex;
        s = (time - maxTime) / loopBlendTime;
    } else if (time < minTime) {
        fromIndex = minIndex;
        toIndex = maxIndex;
        s = (minTime - time) / loopBlendTime;
    } else {
        fromIndex = findSegment(time, minIndex, maxIndex);
        toIndex = fromIndex + 1;
        const float span = m_times[toIndex] - m_times[fromIndex];
        s = span > 0.0f ? (time - m_times[fromIndex]) / span : 0.0f;
    }
    // Past the blend span the blend is complete rather than extrapolated;
    // point times out of order must not push s outside 0..1 either.
    if (!(s >= 0.0f))
        s = 0.0f;
    else if (s > 1.0f)
        s = 1.0f;
    interpolate(fromIndex, toIndex, s, dst);
}

// Parameter for the spherical interpolation of the rotation. Types with their
// own weights apply them to the segment's time span (0 at 'from', 1 at 'to'),
// so that the rotation follows the same timing as the other components.
float Curve::rotationParameter(const Point& from, const Point& to, float s) const
{
    const float span = (to.time != from.time) ? to.time - from.time : 1.0f;
    switch (from.type) {
    case BEZIER: {
        // Control points at the quaternion offset, measured from the segment start.
        const float c1 = (from.outValue[m_quaternionOffset] - from.time) / span;
        const float c2 = (to.inValue[m_quaternionOffset] - from.time) / span;
        const float u = 1.0f - s;
        return 3.0f * s * u * u * c1 + 3.0f * s * s * u * c2 + s * s * s;
    }
    case HERMITE: {
        const HermiteWeights h = hermiteWeights(s);
        return h.to + (from.outValue[m_quaternionOffset] * h.out + to.inValue[m_quaternionOffset] * h.in) / span;
    }
    case FLAT:
        return hermiteWeights(s).to;
    case SMOOTH:
        // Smooth tangents of the key times are the segment's own span, and
        // the Hermite weights with those tangents add up to s.
        return s;
    case STEP:
        return 0.0f;
    case LINEAR:
    case BSPLINE:
        return s;
    default:
        return ease(from.type, s);
    }
}

void Curve::interpolate(unsigned int fromIndex, unsigned int toIndex, float s, float* dst) const
{
    const Point from = point(fromIndex);
    const Point to = point(toIndex);
    const InterpolationType type = from.type;

    if (type == STEP) {
        copyValue(fromIndex, dst);
        return;
    }

    // Neighbours for the types that look one point further on each side.
    const Point previous = point(fromIndex > 0 ? fromIndex - 1 : fromIndex);
    const Point next = point(toIndex + 1 < m_pointCount ? toIndex + 1 : toIndex);
    const bool atFirst = fromIndex == 0;
    const bool toIsLast = toIndex == m_pointCount - 1;

    const bool shapedByTangents = type == BEZIER || type == HERMITE;
    float eased = s;
    if (type >= QUADRATIC_IN)
        eased = ease(type, s);

    for (unsigned int c = 0; c < m_componentCount; ++c) {
        if (isQuaternionComponent(c))
            continue;
        const float a = from.value[c];
        const float b = to.value[c];
        // Explicit tangents can bend a segment between equal keys; the other
        // types stay put there.
        if (a == b && !shapedByTangents) {
            dst[c] = a;
            continue;
        }
        switch (type) {
        case BEZIER: {
            const float u = 1.0f - s;
            dst[c] = a * u * u * u + from.outValue[c] * 3.0f * s * u * u + to.inValue[c] * 3.0f * s * s * u
                + b * s * s * s;
            break;
        }
        case BSPLINE: {
            const float s2 = s * s;
            const float s3 = s2 * s;
            dst[c] = (previous.value[c] * (1.0f - 3.0f * s + 3.0f * s2 - s3) + a * (3.0f * s3 - 6.0f * s2 + 4.0f)
                      + b * (-3.0f * s3 + 3.0f * s2 + 3.0f * s + 1.0f) + next.value[c] * s3)
                / 6.0f;
            break;
        }
        case FLAT: {
            const HermiteWeights h = hermiteWeights(s);
            dst[c] = a * h.from + b * h.to;
            break;
        }
        case HERMITE: {
            const HermiteWeights h = hermiteWeights(s);
            dst[c] = a * h.from + b * h.to + from.outValue[c] * h.out + to.inValue[c] * h.in;
            break;
        }
        case SMOOTH: {
            // Catmull-Rom style tangents scaled to this segment's time span at
            // both ends, so the curve's slope is continuous across keys even
            // when keys are unevenly spaced.
            const float span = to.time - from.time;
            float outTangent = b - a;
            if (!atFirst && to.time != previous.time)
                outTangent = (b - previous.value[c]) * span / (to.time - previous.time);
            float inTangent = b - a;
            if (!toIsLast && next.time != from.time)
                inTangent = (next.value[c] - a) * span / (next.time - from.time);
            const HermiteWeights h = hermiteWeights(s);
            dst[c] = a * h.from + b * h.to + outTangent * h.out + inTangent * h.in;
            break;
        }
        default: // LINEAR, the easing types and unknown types
            dst[c] = a + (b - a) * eased;
            break;
        }
    }

    if (m_hasQuaternion) {
        const float* qa = from.value + m_quaternionOffset;
        const float* qb = to.value + m_quaternionOffset;
        float* out = dst + m_quaternionOffset;
        if (qa[0] == qb[0] && qa[1] == qb[1] && qa[2] == qb[2] && qa[3] == qb[3]) {
            std::memcpy(out, qa, 4 * sizeof(float));
        } else {
            // Easing types can leave 0..1 (overshoot, elastic); slerp then
            // continues along the same arc, like the linear components do.
            slerpComponents(qa, qb, rotationParameter(from, to, s), out);
        }
    }
}

void Curve::blend(const float* from, const float* to, float s, float* dst) const
{
    for (unsigned int c = 0; c < m_componentCount; ++c) {
        if (!isQuaternionComponent(c))
            dst[c] = from[c] == to[c] ? from[c] : from[c] + (to[c] - from[c]) * s;
    }
    if (m_hasQuaternion) {
        slerpComponents(from + m_quaternionOffset, to + m_quaternionOffset, s, dst + m_quaternionOffset);
    }
}

} // namespace engine

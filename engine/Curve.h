#pragma once

#include "Ref.h"

#include <cstddef>

namespace engine {

// A keyframed curve of one or more float components over normalised time
// 0..1. Each point carries its value, in- and out-tangents and the
// interpolation used from it to the next point. Four consecutive components
// can be marked as a rotation quaternion; they are interpolated spherically.
class Curve : public Ref {
public:
    enum InterpolationType {
        BEZIER = 0,
        BSPLINE,
        FLAT,
        HERMITE,
        LINEAR,
        SMOOTH,
        STEP,
        QUADRATIC_IN,
        QUADRATIC_OUT,
        QUADRATIC_IN_OUT,
        QUADRATIC_OUT_IN,
        CUBIC_IN,
        CUBIC_OUT,
        CUBIC_IN_OUT,
        CUBIC_OUT_IN,
        QUARTIC_IN,
        QUARTIC_OUT,
        QUARTIC_IN_OUT,
        QUARTIC_OUT_IN,
        QUINTIC_IN,
        QUINTIC_OUT,
        QUINTIC_IN_OUT,
        QUINTIC_OUT_IN,
        SINE_IN,
        SINE_OUT,
        SINE_IN_OUT,
        SINE_OUT_IN,
        EXPONENTIAL_IN,
        EXPONENTIAL_OUT,
        EXPONENTIAL_IN_OUT,
        EXPONENTIAL_OUT_IN,
        CIRCULAR_IN,
        CIRCULAR_OUT,
        CIRCULAR_IN_OUT,
        CIRCULAR_OUT_IN,
        ELASTIC_IN,
        ELASTIC_OUT,
        ELASTIC_IN_OUT,
        ELASTIC_OUT_IN,
        OVERSHOOT_IN,
        OVERSHOOT_OUT,
        OVERSHOOT_IN_OUT,
        OVERSHOOT_OUT_IN,
        BOUNCE_IN,
        BOUNCE_OUT,
        BOUNCE_IN_OUT,
        BOUNCE_OUT_IN,
        INTERPOLATION_TYPE_COUNT
    };

    // Null when either count is 0. Points start at time 0 (the last at 1) with
    // zero values and LINEAR interpolation.
    static Curve* create(unsigned int pointCount, unsigned int componentCount);

    unsigned int pointCount() const { return m_pointCount; }
    unsigned int componentCount() const { return m_componentCount; }

    // Arrays hold componentCount floats and are copied; a null array keeps
    // what the point had. An index past the last point is ignored; a type
    // outside the list is kept as LINEAR, which is how it always drew.
    void setPoint(unsigned int index, float time, const float* value, int type);
    void setPoint(unsigned int index, float time, const float* value, int type, const float* inValue,
                  const float* outValue);

    float pointTime(unsigned int index) const;
    const float* pointValue(unsigned int index) const;

    // Index of the first of four components forming a rotation quaternion;
    // null removes it. An offset that leaves no room for four components is
    // ignored.
    void setQuaternionOffset(const unsigned int* offset);
    const unsigned int* quaternionOffset() const { return m_hasQuaternion ? &m_quaternionOffset : nullptr; }

    // Writes componentCount floats to 'dst'. 'startTime' and 'endTime'
    // (normally 0 and 1) select a part of the curve that 'time' then spans
    // from 0 to 1. With 'loopBlendTime' > 0, times past the end blend back to
    // the first point over that span (and times before the start towards the
    // last). Never allocates.
    void evaluate(float time, float startTime, float endTime, float loopBlendTime, float* dst) const;

    // Blends two full values of this curve's layout: components linearly,
    // the rotation quaternion (if any) spherically.
    void blend(const float* from, const float* to, float s, float* dst) const;

    // Exact, case-sensitive name of the text format; -1 for any other name.
    static int interpolationTypeFromName(const char* name);
    // The easing function of types QUADRATIC_IN .. BOUNCE_OUT_IN; s itself
    // for every other type.
    static float ease(int type, float s);

private:
    // A view of one point's data, which is stored by kind (all times
    // together, all values together, ...) so that the search over the times
    // and the interpolation touch little memory.
    struct Point {
        float time;
        const float* value;
        const float* inValue;
        const float* outValue;
        InterpolationType type;
    };

    Point point(unsigned int index) const
    {
        const size_t at = size_t(index) * m_componentCount;
        return {m_times[index], m_values + at, m_inValues + at, m_outValues + at, m_types[index]};
    }

    Curve(unsigned int pointCount, unsigned int componentCount);
    ~Curve() override;
    Curve(const Curve&) = delete;
    Curve& operator=(const Curve&) = delete;

    unsigned int findSegment(float time, unsigned int first, unsigned int last) const;
    unsigned int findPointAtOrAfter(float time) const;
    void copyValue(unsigned int index, float* dst) const;
    void interpolate(unsigned int fromIndex, unsigned int toIndex, float s, float* dst) const;
    float rotationParameter(const Point& from, const Point& to, float s) const;
    bool isQuaternionComponent(unsigned int component) const;

    unsigned int m_pointCount;
    unsigned int m_componentCount;
    unsigned int m_componentSize;
    bool m_hasQuaternion;
    unsigned int m_quaternionOffset;
    float* m_times;
    // Segment found by the last search. Playback moves forward a little each
    // frame, so the next time usually falls in the same or the next segment.
    mutable unsigned int m_lastSegment;
    InterpolationType* m_types;
    // Values, then in-tangents, then out-tangents: pointCount x componentCount each.
    float* m_values;
    float* m_inValues;
    float* m_outValues;
};

} // namespace engine

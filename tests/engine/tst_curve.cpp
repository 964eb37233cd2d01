// Curve evaluation: every interpolation type against independently computed
// values, neighbour-based types, loop blending, sub-ranges, rotations and
// malformed curves.

#include "engine/Curve.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

using engine::Curve;

namespace {

// Releases a curve at the end of a test slot.
struct CurveHolder
{
    explicit CurveHolder(Curve* c) : curve(c) {}
    ~CurveHolder() { if (curve) curve->release(); }
    Curve* operator->() const { return curve; }
    Curve* curve;
};

float evaluate1(Curve* curve, float time, float loopBlend = 0.0f)
{
    float out = -12345.0f;
    curve->evaluate(time, 0.0f, 1.0f, loopBlend, &out);
    return out;
}

// A two-point curve from 0 to 1: its value at s is the easing of s itself.
Curve* unitCurve(int type)
{
    Curve* curve = Curve::create(2, 1);
    const float zero = 0.0f;
    const float one = 1.0f;
    curve->setPoint(0, 0.0f, &zero, type);
    curve->setPoint(1, 1.0f, &one, type);
    return curve;
}

struct Quat
{
    double x, y, z, w;
};

Quat zRotation(double degrees)
{
    const double half = degrees * M_PI / 360.0;
    return { 0.0, 0.0, std::sin(half), std::cos(half) };
}

// q and -q are the same rotation.
bool sameRotation(const float* q, const Quat& expected, double tolerance = 1e-5)
{
    const double dot = q[0] * expected.x + q[1] * expected.y + q[2] * expected.z + q[3] * expected.w;
    return std::fabs(std::fabs(dot) - 1.0) < tolerance;
}

} // namespace

class CurveTest : public QObject
{
    Q_OBJECT

private slots:
    void namesMapToTheirNumbers();
    void easingTypesFollowTheirFormulas_data();
    void easingTypesFollowTheirFormulas();
    void easingEndpointsAreExact();
    void unknownTypesInterpolateLinearly();
    void linearAndStepAcrossSegments();
    void hermiteFamilyValues();
    void bezierUsesControlPoints();
    void bsplineUsesNeighbours();
    void smoothSlopeIsContinuousAcrossUnevenKeys();
    void onePointCurveAlwaysYieldsItsValue();
    void equalKeysStayPut();
    void loopBlendingBlendsPastTheEnds();
    void subRangeSpansTheRequestedSegments();
    void quaternionComponentsAreSlerped();
    void quaternionFollowsOvershootBeyondTheKeys();
    void quaternionTimingFollowsHermiteWeights();
    void quaternionOffsetInsideALargerValue();
    void malformedCurvesNeverReadOutOfBounds();
    void setPointKeepsArraysGivenAsNull();
    void evaluationOrderDoesNotMatter();
};

void CurveTest::namesMapToTheirNumbers()
{
    const char* names[] = {
        "BEZIER", "BSPLINE", "FLAT", "HERMITE", "LINEAR", "SMOOTH", "STEP", "QUADRATIC_IN", "QUADRATIC_OUT",
        "QUADRATIC_IN_OUT", "QUADRATIC_OUT_IN", "CUBIC_IN", "CUBIC_OUT", "CUBIC_IN_OUT", "CUBIC_OUT_IN",
        "QUARTIC_IN", "QUARTIC_OUT", "QUARTIC_IN_OUT", "QUARTIC_OUT_IN", "QUINTIC_IN", "QUINTIC_OUT",
        "QUINTIC_IN_OUT", "QUINTIC_OUT_IN", "SINE_IN", "SINE_OUT", "SINE_IN_OUT", "SINE_OUT_IN", "EXPONENTIAL_IN",
        "EXPONENTIAL_OUT", "EXPONENTIAL_IN_OUT", "EXPONENTIAL_OUT_IN", "CIRCULAR_IN", "CIRCULAR_OUT",
        "CIRCULAR_IN_OUT", "CIRCULAR_OUT_IN", "ELASTIC_IN", "ELASTIC_OUT", "ELASTIC_IN_OUT", "ELASTIC_OUT_IN",
        "OVERSHOOT_IN", "OVERSHOOT_OUT", "OVERSHOOT_IN_OUT", "OVERSHOOT_OUT_IN", "BOUNCE_IN", "BOUNCE_OUT",
        "BOUNCE_IN_OUT", "BOUNCE_OUT_IN",
    };
    QCOMPARE(int(sizeof(names) / sizeof(names[0])), 47);
    for (int i = 0; i < 47; ++i)
        QCOMPARE(Curve::interpolationTypeFromName(names[i]), i);

    QCOMPARE(Curve::interpolationTypeFromName("linear"), -1);
    QCOMPARE(Curve::interpolationTypeFromName("LINEAR "), -1);
    QCOMPARE(Curve::interpolationTypeFromName(" LINEAR"), -1);
    QCOMPARE(Curve::interpolationTypeFromName("BOUNCE"), -1);
    QCOMPARE(Curve::interpolationTypeFromName(""), -1);
    QCOMPARE(Curve::interpolationTypeFromName(nullptr), -1);
}

void CurveTest::easingTypesFollowTheirFormulas_data()
{
    // Expected e(s) at s = 0.1, 0.3, 0.6, 0.85, computed in double precision
    // from equivalent closed forms (for instance CUBIC_IN_OUT as 4s^3 below
    // one half, BOUNCE_OUT_IN as two half-size bounces).
    QTest::addColumn<int>("type");
    QTest::addColumn<QVector<double>>("expected");
    const struct { int type; double e[4]; } table[] = {
        { 7, { 0.01, 0.09, 0.36, 0.7225 } },
        { 8, { 0.19, 0.51, 0.84, 0.9775 } },
        { 9, { 0.02, 0.18, 0.68, 0.955 } },
        { 10, { 0.18, 0.42, 0.52, 0.745 } },
        { 11, { 0.001, 0.027, 0.216, 0.614125 } },
        { 12, { 0.271, 0.657, 0.936, 0.996625 } },
        { 13, { 0.004, 0.108, 0.744, 0.9865 } },
        { 14, { 0.244, 0.468, 0.504, 0.6715 } },
        { 15, { 0.0001, 0.0081, 0.1296, 0.5220062 } },
        { 16, { 0.3439, 0.7599, 0.9744, 0.9994937 } },
        { 17, { 0.0008, 0.0648, 0.7952, 0.99595 } },
        { 18, { 0.2952, 0.4872, 0.5008, 0.62005 } },
        { 19, { 1e-05, 0.00243, 0.07776, 0.4437053 } },
        { 20, { 0.40951, 0.83193, 0.98976, 0.9999241 } },
        { 21, { 0.00016, 0.03888, 0.83616, 0.998785 } },
        { 22, { 0.33616, 0.49488, 0.50016, 0.584035 } },
        { 23, { 0.01231166, 0.1089935, 0.4122147, 0.7665546 } },
        { 24, { 0.1564345, 0.4539905, 0.809017, 0.9723699 } },
        { 25, { 0.02447174, 0.2061074, 0.6545085, 0.9455033 } },
        { 26, { 0.1545085, 0.4045085, 0.5244717, 0.7730048 } },
        { 27, { 0.0001234098, 0.000911882, 0.01831564, 0.2231302 } },
        { 28, { 0.6321206, 0.9502129, 0.9975212, 0.9997965 } },
        { 29, { 0.0001677313, 0.009157819, 0.9323324, 0.9995441 } },
        { 30, { 0.4323324, 0.4987606, 0.5001677, 0.5248935 } },
        { 31, { 0.005012563, 0.0460608, 0.2, 0.4732173 } },
        { 32, { 0.4358899, 0.7141428, 0.9165151, 0.988686 } },
        { 33, { 0.01010205, 0.1, 0.8, 0.9769696 } },
        { 34, { 0.3, 0.4582576, 0.5101021, 0.6429286 } },
        { 35, { 0.0001234098, -0.000455941, -0.009157819, -0.2231302 } },
        { 36, { 1.18394, 0.9502129, 0.9975212, 0.9998983 } },
        { 37, { 2.912624e-05, 0.007015297, 1.063587, 1.000428 } },
        { 38, { 0.5635868, 0.5006197, 0.5000839, 0.4956773 } },
        { 39, { -0.01431422, -0.08019954, -0.02902752, 0.4297163 } },
        { 40, { 0.408828, 0.9071323, 1.099352, 1.029168 } },
        { 41, { -0.03751855, -0.07883348, 0.9100742, 1.06824 } },
        { 42, { 0.4100742, 0.5925557, 0.4624814, 0.4807742 } },
        { 43, { 0.011875, 0.069375, 0.09, 0.8298437 } },
        { 44, { 0.075625, 0.680625, 0.7725, 0.9451562 } },
        { 45, { 0.03, 0.045, 0.65125, 0.9653125 } },
        { 46, { 0.15125, 0.38625, 0.53, 0.6596875 } },
    };
    for (const auto& row : table) {
        QTest::newRow(qPrintable(QString::number(row.type)))
            << row.type << QVector<double>{ row.e[0], row.e[1], row.e[2], row.e[3] };
    }
}

void CurveTest::easingTypesFollowTheirFormulas()
{
    QFETCH(int, type);
    QFETCH(QVector<double>, expected);
    CurveHolder curve(unitCurve(type));
    const float s[4] = { 0.1f, 0.3f, 0.6f, 0.85f };
    for (int i = 0; i < 4; ++i) {
        const float value = evaluate1(curve.curve, s[i]);
        if (std::fabs(value - expected[i]) > 2e-5)
            QFAIL(qPrintable(QString("type %1 at s=%2: %3, expected %4").arg(type).arg(s[i]).arg(value).arg(expected[i])));
        // The static easing function is the same mapping.
        QVERIFY(std::fabs(Curve::ease(type, s[i]) - expected[i]) < 2e-5);
    }
    // Values between two keys other than 0 and 1 are scaled the same way.
    Curve* scaled = Curve::create(2, 1);
    const float a = 10.0f;
    const float b = 30.0f;
    scaled->setPoint(0, 0.0f, &a, type);
    scaled->setPoint(1, 1.0f, &b, type);
    QVERIFY(std::fabs(evaluate1(scaled, 0.3f) - (10.0 + 20.0 * expected[1])) < 5e-4);
    scaled->release();
}

void CurveTest::easingEndpointsAreExact()
{
    // The keys themselves are hit exactly, whatever the easing.
    for (int type = 0; type < Curve::INTERPOLATION_TYPE_COUNT; ++type) {
        CurveHolder curve(unitCurve(type));
        QCOMPARE(evaluate1(curve.curve, 0.0f), 0.0f);
        QCOMPARE(evaluate1(curve.curve, 1.0f), 1.0f);
    }
    // The guarded special cases of the exponential and elastic families.
    QCOMPARE(Curve::ease(Curve::EXPONENTIAL_IN, 0.0f), 0.0f);
    QCOMPARE(Curve::ease(Curve::EXPONENTIAL_OUT, 1.0f), 1.0f);
    QCOMPARE(Curve::ease(Curve::ELASTIC_OUT_IN, 1.0f), 1.0f);
    QCOMPARE(Curve::ease(Curve::ELASTIC_IN, 0.0f), 0.0f);
}

void CurveTest::unknownTypesInterpolateLinearly()
{
    for (int type : { 47, 100, -1, std::numeric_limits<int>::max() }) {
        CurveHolder curve(unitCurve(type));
        QVERIFY(std::fabs(evaluate1(curve.curve, 0.3f) - 0.3f) < 1e-6f);
    }
}

void CurveTest::linearAndStepAcrossSegments()
{
    CurveHolder curve(Curve::create(3, 1));
    const float v[3] = { 0.0f, 10.0f, 20.0f };
    curve->setPoint(0, 0.0f, &v[0], Curve::LINEAR);
    curve->setPoint(1, 0.25f, &v[1], Curve::LINEAR);
    curve->setPoint(2, 1.0f, &v[2], Curve::LINEAR);
    QCOMPARE(evaluate1(curve.curve, 0.125f), 5.0f);
    QCOMPARE(evaluate1(curve.curve, 0.25f), 10.0f);
    QCOMPARE(evaluate1(curve.curve, 0.625f), 15.0f);
    // Clamped without a loop blend.
    QCOMPARE(evaluate1(curve.curve, -3.0f), 0.0f);
    QCOMPARE(evaluate1(curve.curve, 7.0f), 20.0f);

    curve->setPoint(1, 0.25f, &v[1], Curve::STEP);
    QCOMPARE(evaluate1(curve.curve, 0.9f), 10.0f);
    QCOMPARE(evaluate1(curve.curve, 0.2f), 8.0f);  // the first segment is still linear
}

void CurveTest::hermiteFamilyValues()
{
    // FLAT between 2 and 6 at s = 0.25: weight of 'to' is 3s^2 - 2s^3 = 0.15625.
    CurveHolder flat(Curve::create(2, 1));
    const float a = 2.0f;
    const float b = 6.0f;
    flat->setPoint(0, 0.0f, &a, Curve::FLAT);
    flat->setPoint(1, 1.0f, &b, Curve::FLAT);
    QVERIFY(std::fabs(evaluate1(flat.curve, 0.25f) - 2.625f) < 1e-6f);

    // HERMITE 0 -> 1 with out-tangent 2 and in-tangent 0.5 at s = 0.5:
    // 0.5 + 2 * 0.125 + 0.5 * (-0.125).
    CurveHolder hermite(Curve::create(2, 1));
    const float zero = 0.0f;
    const float one = 1.0f;
    const float outTangent = 2.0f;
    const float inTangent = 0.5f;
    hermite->setPoint(0, 0.0f, &zero, Curve::HERMITE, nullptr, &outTangent);
    hermite->setPoint(1, 1.0f, &one, Curve::HERMITE, &inTangent, nullptr);
    QVERIFY(std::fabs(evaluate1(hermite.curve, 0.5f) - 0.6875f) < 1e-6f);
}

void CurveTest::bezierUsesControlPoints()
{
    CurveHolder curve(Curve::create(2, 1));
    const float zero = 0.0f;
    const float one = 1.0f;
    const float c1 = 0.25f;
    const float c2 = 0.5f;
    curve->setPoint(0, 0.0f, &zero, Curve::BEZIER, nullptr, &c1);
    curve->setPoint(1, 1.0f, &one, Curve::BEZIER, &c2, nullptr);
    // 3 * 0.25 * 0.25 * 0.5 ... = 0.375 * 0.25 + 0.375 * 0.5 + 0.125.
    QVERIFY(std::fabs(evaluate1(curve.curve, 0.5f) - 0.40625f) < 1e-6f);

    // An arch between two equal keys keeps its shape: 0.375 + 0.375.
    const float arch = 1.0f;
    curve->setPoint(1, 1.0f, &zero, Curve::BEZIER, &arch, nullptr);
    curve->setPoint(0, 0.0f, &zero, Curve::BEZIER, nullptr, &arch);
    QVERIFY(std::fabs(evaluate1(curve.curve, 0.5f) - 0.75f) < 1e-6f);
}

void CurveTest::bsplineUsesNeighbours()
{
    CurveHolder curve(Curve::create(4, 1));
    const float v[4] = { 0.0f, 1.0f, 2.0f, 4.0f };
    const float t[4] = { 0.0f, 1.0f / 3.0f, 2.0f / 3.0f, 1.0f };
    for (unsigned int i = 0; i < 4; ++i)
        curve->setPoint(i, t[i], &v[i], Curve::BSPLINE);
    // Middle segment at s = 0.5: weights 1/48, 23/48, 23/48, 1/48.
    QVERIFY(std::fabs(evaluate1(curve.curve, 0.5f) - 73.0f / 48.0f) < 1e-5f);
    // First segment: the missing previous point is the first one itself.
    QVERIFY(std::fabs(evaluate1(curve.curve, 1.0f / 6.0f) - 25.0f / 48.0f) < 1e-5f);
    // Last segment: the missing next point is the last one itself.
    // Points 1, 2, 4, 4 at s = 0.5: (1 + 23*2 + 23*4 + 4) / 48.
    QVERIFY(std::fabs(evaluate1(curve.curve, 5.0f / 6.0f) - 143.0f / 48.0f) < 1e-5f);
}

void CurveTest::smoothSlopeIsContinuousAcrossUnevenKeys()
{
    CurveHolder curve(Curve::create(3, 1));
    const float v[3] = { 0.0f, 1.0f, 3.0f };
    const float t[3] = { 0.0f, 0.2f, 1.0f };
    for (unsigned int i = 0; i < 3; ++i)
        curve->setPoint(i, t[i], &v[i], Curve::SMOOTH);

    // First segment at s = 0.5: 0.5 + 1 * 0.125 + 0.6 * (-0.125), where the
    // in-tangent 0.6 is (3 - 0) * 0.2 / 1.
    QVERIFY(std::fabs(evaluate1(curve.curve, 0.1f) - 0.55f) < 1e-5f);

    // Slopes on both sides of the middle key match: 3 per unit time.
    const float h = 1e-3f;
    const float left = (evaluate1(curve.curve, 0.2f) - evaluate1(curve.curve, 0.2f - h)) / h;
    const float right = (evaluate1(curve.curve, 0.2f + h) - evaluate1(curve.curve, 0.2f)) / h;
    QVERIFY2(std::fabs(left - 3.0f) < 0.05f, qPrintable(QString::number(left)));
    QVERIFY2(std::fabs(right - 3.0f) < 0.05f, qPrintable(QString::number(right)));
}

void CurveTest::onePointCurveAlwaysYieldsItsValue()
{
    CurveHolder curve(Curve::create(1, 2));
    const float v[2] = { 4.0f, -7.0f };
    curve->setPoint(0, 0.0f, v, Curve::BOUNCE_IN);
    for (float time : { -1.0f, 0.0f, 0.5f, 1.0f, 3.0f, std::numeric_limits<float>::quiet_NaN() }) {
        float out[2] = { 0.0f, 0.0f };
        curve->evaluate(time, 0.0f, 1.0f, 0.5f, out);
        QCOMPARE(out[0], 4.0f);
        QCOMPARE(out[1], -7.0f);
    }
}

void CurveTest::equalKeysStayPut()
{
    // A component that does not change between two keys is copied, even
    // through an easing that overshoots.
    CurveHolder curve(Curve::create(2, 2));
    const float a[2] = { 5.0f, 0.0f };
    const float b[2] = { 5.0f, 1.0f };
    curve->setPoint(0, 0.0f, a, Curve::OVERSHOOT_IN);
    curve->setPoint(1, 1.0f, b, Curve::OVERSHOOT_IN);
    float out[2];
    curve->evaluate(0.3f, 0.0f, 1.0f, 0.0f, out);
    QCOMPARE(out[0], 5.0f);
    QVERIFY(out[1] < 0.0f);  // the other component does overshoot
}

void CurveTest::loopBlendingBlendsPastTheEnds()
{
    CurveHolder curve(Curve::create(2, 1));
    const float a = 0.0f;
    const float b = 10.0f;
    curve->setPoint(0, 0.0f, &a, Curve::LINEAR);
    curve->setPoint(1, 1.0f, &b, Curve::LINEAR);
    // Past the end: from the last value back towards the first.
    QVERIFY(std::fabs(evaluate1(curve.curve, 1.25f, 0.5f) - 5.0f) < 1e-5f);
    QVERIFY(std::fabs(evaluate1(curve.curve, 1.1f, 0.5f) - 8.0f) < 1e-5f);
    // Before the start: from the first value towards the last.
    QVERIFY(std::fabs(evaluate1(curve.curve, -0.1f, 0.5f) - 2.0f) < 1e-5f);
    // Beyond the blend span the blend is complete.
    QCOMPARE(evaluate1(curve.curve, 4.0f, 0.5f), 0.0f);
    // Without a loop blend (or with a negative or NaN one) times are clamped.
    QCOMPARE(evaluate1(curve.curve, 1.25f, 0.0f), 10.0f);
    QCOMPARE(evaluate1(curve.curve, 1.25f, -1.0f), 10.0f);
    QCOMPARE(evaluate1(curve.curve, 1.25f, std::numeric_limits<float>::quiet_NaN()), 10.0f);
}

void CurveTest::subRangeSpansTheRequestedSegments()
{
    CurveHolder curve(Curve::create(3, 1));
    const float v[3] = { 0.0f, 10.0f, 30.0f };
    curve->setPoint(0, 0.0f, &v[0], Curve::LINEAR);
    curve->setPoint(1, 0.5f, &v[1], Curve::LINEAR);
    curve->setPoint(2, 1.0f, &v[2], Curve::LINEAR);
    float out = 0.0f;
    // Second half: time 0.5 of the range is curve time 0.75.
    curve->evaluate(0.5f, 0.5f, 1.0f, 0.0f, &out);
    QVERIFY(std::fabs(out - 20.0f) < 1e-5f);
    curve->evaluate(0.0f, 0.5f, 1.0f, 0.0f, &out);
    QCOMPARE(out, 10.0f);
    // First half.
    curve->evaluate(0.5f, 0.0f, 0.5f, 0.0f, &out);
    QVERIFY(std::fabs(out - 5.0f) < 1e-5f);
    // A range inside one segment covers that whole segment.
    curve->evaluate(1.0f, 0.6f, 0.7f, 0.0f, &out);
    QCOMPARE(out, 30.0f);
    // An inverted range collapses to a point instead of reading garbage.
    curve->evaluate(0.5f, 0.9f, 0.1f, 0.0f, &out);
    QVERIFY(std::isfinite(out));
}

void CurveTest::quaternionComponentsAreSlerped()
{
    CurveHolder curve(Curve::create(2, 4));
    const unsigned int offset = 0;
    curve->setQuaternionOffset(&offset);
    QVERIFY(curve->quaternionOffset() && *curve->quaternionOffset() == 0);
    const Quat q0 = zRotation(0.0);
    const Quat q1 = zRotation(90.0);
    const float a[4] = { float(q0.x), float(q0.y), float(q0.z), float(q0.w) };
    const float b[4] = { float(q1.x), float(q1.y), float(q1.z), float(q1.w) };
    curve->setPoint(0, 0.0f, a, Curve::LINEAR);
    curve->setPoint(1, 1.0f, b, Curve::LINEAR);

    float out[4];
    curve->evaluate(0.5f, 0.0f, 1.0f, 0.0f, out);
    QVERIFY(sameRotation(out, zRotation(45.0)));
    // Unit length, unlike a component-wise blend.
    QVERIFY(std::fabs(out[0] * out[0] + out[1] * out[1] + out[2] * out[2] + out[3] * out[3] - 1.0f) < 1e-5f);
    curve->evaluate(0.25f, 0.0f, 1.0f, 0.0f, out);
    QVERIFY(sameRotation(out, zRotation(22.5)));

    // The same rotation given with opposite sign takes the short way.
    const float bNegated[4] = { -b[0], -b[1], -b[2], -b[3] };
    curve->setPoint(1, 1.0f, bNegated, Curve::LINEAR);
    curve->evaluate(0.5f, 0.0f, 1.0f, 0.0f, out);
    QVERIFY(sameRotation(out, zRotation(45.0)));

    // FLAT: the rotation follows the Hermite weight 3s^2 - 2s^3.
    curve->setPoint(0, 0.0f, a, Curve::FLAT);
    curve->setPoint(1, 1.0f, b, Curve::FLAT);
    curve->evaluate(0.25f, 0.0f, 1.0f, 0.0f, out);
    QVERIFY(sameRotation(out, zRotation(90.0 * 0.15625)));

    // STEP holds the first rotation.
    curve->setPoint(0, 0.0f, a, Curve::STEP);
    curve->evaluate(0.9f, 0.0f, 1.0f, 0.0f, out);
    QVERIFY(sameRotation(out, zRotation(0.0)));
}

void CurveTest::quaternionFollowsOvershootBeyondTheKeys()
{
    // OVERSHOOT_IN dips below 0 early on: the rotation swings slightly the
    // other way from the first key, as the plain components do, instead of
    // jumping towards the second key.
    CurveHolder curve(Curve::create(2, 4));
    const unsigned int offset = 0;
    curve->setQuaternionOffset(&offset);
    const Quat q0 = zRotation(0.0);
    const Quat q1 = zRotation(90.0);
    const float a[4] = { float(q0.x), float(q0.y), float(q0.z), float(q0.w) };
    const float b[4] = { float(q1.x), float(q1.y), float(q1.z), float(q1.w) };
    curve->setPoint(0, 0.0f, a, Curve::OVERSHOOT_IN);
    curve->setPoint(1, 1.0f, b, Curve::OVERSHOOT_IN);
    float out[4];
    curve->evaluate(0.3f, 0.0f, 1.0f, 0.0f, out);
    QVERIFY2(sameRotation(out, zRotation(90.0 * -0.08019954)), qPrintable(QString::number(out[2])));
    QVERIFY(out[2] * out[3] < 0.0f);  // negative angle about z

    // OVERSHOOT_OUT passes the second key before settling.
    curve->setPoint(0, 0.0f, a, Curve::OVERSHOOT_OUT);
    curve->evaluate(0.6f, 0.0f, 1.0f, 0.0f, out);
    QVERIFY(sameRotation(out, zRotation(90.0 * 1.099352)));
}

void CurveTest::quaternionTimingFollowsHermiteWeights()
{
    // On a two-key curve the Hermite parameter is h2 + out * h3 + in * h4 of
    // the tangent components at the quaternion offset.
    CurveHolder curve(Curve::create(2, 4));
    const unsigned int offset = 0;
    curve->setQuaternionOffset(&offset);
    const Quat q1 = zRotation(60.0);
    const float a[4] = { 0.0f, 0.0f, 0.0f, 1.0f };
    const float b[4] = { float(q1.x), float(q1.y), float(q1.z), float(q1.w) };
    const float outTangent[4] = { 2.0f, 0.0f, 0.0f, 0.0f };
    const float inTangent[4] = { 0.5f, 0.0f, 0.0f, 0.0f };
    curve->setPoint(0, 0.0f, a, Curve::HERMITE, nullptr, outTangent);
    curve->setPoint(1, 1.0f, b, Curve::HERMITE, inTangent, nullptr);
    float out[4];
    curve->evaluate(0.5f, 0.0f, 1.0f, 0.0f, out);
    QVERIFY(sameRotation(out, zRotation(60.0 * 0.6875)));

    // Bezier: 3s(1-s)^2 c1 + 3s^2(1-s) c2 + s^3 with c1 = 0.25, c2 = 0.5.
    const float c1[4] = { 0.25f, 0.0f, 0.0f, 0.0f };
    const float c2[4] = { 0.5f, 0.0f, 0.0f, 0.0f };
    curve->setPoint(0, 0.0f, a, Curve::BEZIER, nullptr, c1);
    curve->setPoint(1, 1.0f, b, Curve::BEZIER, c2, nullptr);
    curve->evaluate(0.5f, 0.0f, 1.0f, 0.0f, out);
    QVERIFY(sameRotation(out, zRotation(60.0 * 0.40625)));

    // SMOOTH rotations move evenly over the segment, also in a later one.
    CurveHolder smooth(Curve::create(3, 4));
    smooth->setQuaternionOffset(&offset);
    const Quat q2 = zRotation(120.0);
    const float c[4] = { float(q2.x), float(q2.y), float(q2.z), float(q2.w) };
    smooth->setPoint(0, 0.0f, a, Curve::SMOOTH);
    smooth->setPoint(1, 0.2f, b, Curve::SMOOTH);
    smooth->setPoint(2, 1.0f, c, Curve::SMOOTH);
    smooth->evaluate(0.6f, 0.0f, 1.0f, 0.0f, out);
    QVERIFY(sameRotation(out, zRotation(90.0)));
}

void CurveTest::quaternionOffsetInsideALargerValue()
{
    // Scale (0..2), rotation (3..6), translation (7..9).
    CurveHolder curve(Curve::create(2, 10));
    const unsigned int offset = 3;
    curve->setQuaternionOffset(&offset);
    const Quat q1 = zRotation(90.0);
    const float a[10] = { 1, 1, 1, 0, 0, 0, 1, 0, 0, 0 };
    const float b[10] = { 3, 1, 5, float(q1.x), float(q1.y), float(q1.z), float(q1.w), 10, -10, 4 };
    curve->setPoint(0, 0.0f, a, Curve::LINEAR);
    curve->setPoint(1, 1.0f, b, Curve::LINEAR);
    float out[10];
    curve->evaluate(0.5f, 0.0f, 1.0f, 0.0f, out);
    QCOMPARE(out[0], 2.0f);
    QCOMPARE(out[1], 1.0f);
    QCOMPARE(out[2], 3.0f);
    QVERIFY(sameRotation(out + 3, zRotation(45.0)));
    QCOMPARE(out[7], 5.0f);
    QCOMPARE(out[8], -5.0f);
    QCOMPARE(out[9], 2.0f);

    // An offset without room for four components is refused.
    const unsigned int tooFar = 7;
    curve->setQuaternionOffset(&tooFar);
    QCOMPARE(*curve->quaternionOffset(), 3u);
    curve->setQuaternionOffset(nullptr);
    QVERIFY(!curve->quaternionOffset());
    CurveHolder small(Curve::create(2, 3));
    const unsigned int zero = 0;
    small->setQuaternionOffset(&zero);
    QVERIFY(!small->quaternionOffset());
}

void CurveTest::malformedCurvesNeverReadOutOfBounds()
{
    QVERIFY(!Curve::create(0, 3));
    QVERIFY(!Curve::create(3, 0));

    // Point times out of order, duplicated, or not numbers at all: every
    // evaluation stays inside the curve and yields finite values.
    CurveHolder curve(Curve::create(5, 1));
    const float times[5] = { 0.0f, 0.9f, 0.1f, 0.1f, 1.0f };
    for (unsigned int i = 0; i < 5; ++i) {
        const float v = float(i);
        curve->setPoint(i, times[i], &v, i % 2 ? Curve::SMOOTH : Curve::BSPLINE);
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float time : { -inf, -1.0f, 0.0f, 0.05f, 0.1f, 0.5f, 0.95f, 1.0f, 2.0f, inf, nan }) {
        for (float loopBlend : { 0.0f, 0.25f }) {
            for (float start : { 0.0f, 0.3f, nan }) {
                float out = nan;
                curve->evaluate(time, start, 1.0f, loopBlend, &out);
                QVERIFY2(std::isfinite(out), qPrintable(QString("time %1").arg(time)));
            }
        }
    }

    // Setting a point past the end is ignored.
    const float v = 99.0f;
    curve->setPoint(5, 0.5f, &v, Curve::LINEAR);
    curve->setPoint(std::numeric_limits<unsigned int>::max(), 0.5f, &v, Curve::LINEAR);
    QVERIFY(!curve->pointValue(5));
}

void CurveTest::setPointKeepsArraysGivenAsNull()
{
    CurveHolder curve(Curve::create(2, 1));
    QCOMPARE(curve->pointTime(0), 0.0f);
    QCOMPARE(curve->pointTime(1), 1.0f);
    QCOMPARE(curve->pointType(0), int(Curve::LINEAR));
    const float value = 3.0f;
    curve->setPoint(0, 0.0f, &value, Curve::LINEAR);
    curve->setPoint(0, 0.0f, nullptr, Curve::STEP);
    QCOMPARE(curve->pointValue(0)[0], 3.0f);
    QCOMPARE(curve->pointType(0), int(Curve::STEP));
}

void CurveTest::evaluationOrderDoesNotMatter()
{
    // A curve remembers where its last evaluation fell; times visited in any
    // order (backwards, jumping, on keys) must give what a fresh curve gives.
    auto makeCurve = []() {
        Curve* curve = Curve::create(9, 1);
        for (unsigned int i = 0; i < 9; ++i) {
            const float value = float(i * i);
            curve->setPoint(i, i == 8 ? 1.0f : float(i) / 8.0f, &value, i % 2 ? Curve::SMOOTH : Curve::LINEAR);
        }
        return curve;
    };
    CurveHolder reused(makeCurve());
    std::mt19937 random(99);
    std::uniform_real_distribution<float> anyTime(-0.2f, 1.2f);
    for (int i = 0; i < 500; ++i) {
        float time = anyTime(random);
        if (i % 7 == 0)
            time = float(i % 9) / 8.0f;  // exactly on a key
        CurveHolder fresh(makeCurve());
        QCOMPARE(evaluate1(reused.curve, time), evaluate1(fresh.curve, time));
    }
}

QTEST_APPLESS_MAIN(CurveTest)
#include "tst_curve.moc"

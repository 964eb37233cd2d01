// Curve evaluation: every interpolation type against independently computed
// values, neighbour-based types, loop blending, sub-ranges, rotations and
// malformed curves.

#include "EngineTestSupport.h"

#include "Curve.h"

#include <QtTest>

#include <limits>
#include <random>
#include <vector>

using engine::Curve;
using engine::Quaternion;
using namespace enginetest;

namespace {

float evaluate1(Curve* curve, float time, float loopBlend = 0.0f)
{
    float out = -12345.0f;
    curve->evaluate(time, 0.0f, 1.0f, loopBlend, &out);
    return out;
}

// One-component curve through (times[i], values[i]), all of one type.
Curve* scalarCurve(const std::vector<float>& times, const std::vector<float>& values, int type)
{
    Curve* curve = Curve::create(unsigned(times.size()), 1);
    for (unsigned int i = 0; i < times.size(); ++i)
        curve->setPoint(i, times[i], &values[i], type);
    return curve;
}

void setRotation(Curve* curve, unsigned int index, float time, const Quaternion& q, int type, const float* in = nullptr,
                 const float* out = nullptr)
{
    const float value[4] = {q.x, q.y, q.z, q.w};
    curve->setPoint(index, time, value, type, in, out);
}

Quaternion rotationAt(Curve* curve, float time)
{
    float out[4];
    curve->evaluate(time, 0.0f, 1.0f, 0.0f, out);
    return Quaternion(out[0], out[1], out[2], out[3]);
}

} // namespace

class CurveTest : public QObject {
    Q_OBJECT

private slots:
    void easingTypesFollowTheirFormulas_data();
    void easingTypesFollowTheirFormulas();
    void namesEndpointsAndUnknownTypes();
    void keyBasedTypesFollowTheirFormulas();
    void onePointAndEqualKeysStayPut();
    void loopBlendsAndSubRanges();
    void quaternionsFollowTheEasedParameter_data();
    void quaternionsFollowTheEasedParameter();
    void quaternionsTakeTheShortWayAndSitAtTheirOffset();
    void malformedCurvesNeverReadOutOfBounds();
    void evaluationOrderDoesNotMatter();
};

void CurveTest::namesEndpointsAndUnknownTypes()
{
    // The easing names are checked with their table below.
    const char* names[] = {"BEZIER", "BSPLINE", "FLAT", "HERMITE", "LINEAR", "SMOOTH", "STEP"};
    for (int i = 0; i < 7; ++i)
        QCOMPARE(Curve::interpolationTypeFromName(names[i]), i);
    QCOMPARE(Curve::INTERPOLATION_TYPE_COUNT, 47);
    // Exact, case-sensitive names only.
    QCOMPARE(Curve::interpolationTypeFromName("linear"), -1);
    QCOMPARE(Curve::interpolationTypeFromName("LINEAR "), -1);
    QCOMPARE(Curve::interpolationTypeFromName(nullptr), -1);

    // The keys themselves are hit exactly, whatever the easing; unknown types
    // interpolate linearly.
    for (int type = 0; type < Curve::INTERPOLATION_TYPE_COUNT; ++type) {
        Owned<Curve> curve(scalarCurve({0.0f, 1.0f}, {0.0f, 1.0f}, type));
        QCOMPARE(evaluate1(curve.get(), 0.0f), 0.0f);
        QCOMPARE(evaluate1(curve.get(), 1.0f), 1.0f);
    }
    QCOMPARE(Curve::ease(Curve::EXPONENTIAL_IN, 0.0f), 0.0f);
    QCOMPARE(Curve::ease(Curve::ELASTIC_OUT_IN, 1.0f), 1.0f);
    for (int type : {47, -1, std::numeric_limits<int>::max()}) {
        Owned<Curve> curve(scalarCurve({0.0f, 1.0f}, {0.0f, 1.0f}, type));
        QVERIFY(std::fabs(evaluate1(curve.get(), 0.3f) - 0.3f) < 1e-6f);
    }
}

void CurveTest::easingTypesFollowTheirFormulas_data()
{
    // Expected e(s) at s = 0.1, 0.3, 0.6, 0.85, computed in double precision
    // from equivalent closed forms (for instance CUBIC_IN_OUT as 4s^3 below
    // one half, BOUNCE_OUT_IN as two half-size bounces).
    QTest::addColumn<int>("type");
    QTest::addColumn<QVector<double>>("expected");
    const struct {
        int type;
        const char* name;
        double e[4];
    } table[] = {
        {7, "QUADRATIC_IN", {0.01, 0.09, 0.36, 0.7225}},
        {8, "QUADRATIC_OUT", {0.19, 0.51, 0.84, 0.9775}},
        {9, "QUADRATIC_IN_OUT", {0.02, 0.18, 0.68, 0.955}},
        {10, "QUADRATIC_OUT_IN", {0.18, 0.42, 0.52, 0.745}},
        {11, "CUBIC_IN", {0.001, 0.027, 0.216, 0.614125}},
        {12, "CUBIC_OUT", {0.271, 0.657, 0.936, 0.996625}},
        {13, "CUBIC_IN_OUT", {0.004, 0.108, 0.744, 0.9865}},
        {14, "CUBIC_OUT_IN", {0.244, 0.468, 0.504, 0.6715}},
        {15, "QUARTIC_IN", {0.0001, 0.0081, 0.1296, 0.5220062}},
        {16, "QUARTIC_OUT", {0.3439, 0.7599, 0.9744, 0.9994937}},
        {17, "QUARTIC_IN_OUT", {0.0008, 0.0648, 0.7952, 0.99595}},
        {18, "QUARTIC_OUT_IN", {0.2952, 0.4872, 0.5008, 0.62005}},
        {19, "QUINTIC_IN", {1e-05, 0.00243, 0.07776, 0.4437053}},
        {20, "QUINTIC_OUT", {0.40951, 0.83193, 0.98976, 0.9999241}},
        {21, "QUINTIC_IN_OUT", {0.00016, 0.03888, 0.83616, 0.998785}},
        {22, "QUINTIC_OUT_IN", {0.33616, 0.49488, 0.50016, 0.584035}},
        {23, "SINE_IN", {0.01231166, 0.1089935, 0.4122147, 0.7665546}},
        {24, "SINE_OUT", {0.1564345, 0.4539905, 0.809017, 0.9723699}},
        {25, "SINE_IN_OUT", {0.02447174, 0.2061074, 0.6545085, 0.9455033}},
        {26, "SINE_OUT_IN", {0.1545085, 0.4045085, 0.5244717, 0.7730048}},
        {27, "EXPONENTIAL_IN", {0.0001234098, 0.000911882, 0.01831564, 0.2231302}},
        {28, "EXPONENTIAL_OUT", {0.6321206, 0.9502129, 0.9975212, 0.9997965}},
        {29, "EXPONENTIAL_IN_OUT", {0.0001677313, 0.009157819, 0.9323324, 0.9995441}},
        {30, "EXPONENTIAL_OUT_IN", {0.4323324, 0.4987606, 0.5001677, 0.5248935}},
        {31, "CIRCULAR_IN", {0.005012563, 0.0460608, 0.2, 0.4732173}},
        {32, "CIRCULAR_OUT", {0.4358899, 0.7141428, 0.9165151, 0.988686}},
        {33, "CIRCULAR_IN_OUT", {0.01010205, 0.1, 0.8, 0.9769696}},
        {34, "CIRCULAR_OUT_IN", {0.3, 0.4582576, 0.5101021, 0.6429286}},
        {35, "ELASTIC_IN", {0.0001234098, -0.000455941, -0.009157819, -0.2231302}},
        {36, "ELASTIC_OUT", {1.18394, 0.9502129, 0.9975212, 0.9998983}},
        {37, "ELASTIC_IN_OUT", {2.912624e-05, 0.007015297, 1.063587, 1.000428}},
        {38, "ELASTIC_OUT_IN", {0.5635868, 0.5006197, 0.5000839, 0.4956773}},
        {39, "OVERSHOOT_IN", {-0.01431422, -0.08019954, -0.02902752, 0.4297163}},
        {40, "OVERSHOOT_OUT", {0.408828, 0.9071323, 1.099352, 1.029168}},
        {41, "OVERSHOOT_IN_OUT", {-0.03751855, -0.07883348, 0.9100742, 1.06824}},
        {42, "OVERSHOOT_OUT_IN", {0.4100742, 0.5925557, 0.4624814, 0.4807742}},
        {43, "BOUNCE_IN", {0.011875, 0.069375, 0.09, 0.8298437}},
        {44, "BOUNCE_OUT", {0.075625, 0.680625, 0.7725, 0.9451562}},
        {45, "BOUNCE_IN_OUT", {0.03, 0.045, 0.65125, 0.9653125}},
        {46, "BOUNCE_OUT_IN", {0.15125, 0.38625, 0.53, 0.6596875}},
    };
    for (const auto& row : table) {
        QCOMPARE(Curve::interpolationTypeFromName(row.name), row.type);
        QTest::newRow(row.name) << row.type << QVector<double> {row.e[0], row.e[1], row.e[2], row.e[3]};
    }
}

void CurveTest::easingTypesFollowTheirFormulas()
{
    QFETCH(int, type);
    QFETCH(QVector<double>, expected);
    // A two-point curve from 0 to 1: its value at s is the easing of s itself;
    // between 10 and 30 it is scaled the same way.
    Owned<Curve> unit(scalarCurve({0.0f, 1.0f}, {0.0f, 1.0f}, type));
    Owned<Curve> scaled(scalarCurve({0.0f, 1.0f}, {10.0f, 30.0f}, type));
    const float s[4] = {0.1f, 0.3f, 0.6f, 0.85f};
    for (int i = 0; i < 4; ++i) {
        const float value = evaluate1(unit.get(), s[i]);
        QVERIFY2(std::fabs(value - expected[i]) <= 2e-5,
                 qPrintable(QString("s=%1: %2, expected %3").arg(s[i]).arg(value).arg(expected[i])));
        QVERIFY(std::fabs(Curve::ease(type, s[i]) - expected[i]) < 2e-5);
        QVERIFY(std::fabs(evaluate1(scaled.get(), s[i]) - (10.0 + 20.0 * expected[i])) < 5e-4);
    }
}

void CurveTest::keyBasedTypesFollowTheirFormulas()
{
    // LINEAR across uneven segments, clamped outside without a loop blend.
    Owned<Curve> linear(scalarCurve({0.0f, 0.25f, 1.0f}, {0.0f, 10.0f, 20.0f}, Curve::LINEAR));
    QCOMPARE(evaluate1(linear.get(), 0.125f), 5.0f);
    QCOMPARE(evaluate1(linear.get(), 0.625f), 15.0f);
    QCOMPARE(evaluate1(linear.get(), -3.0f), 0.0f);
    QCOMPARE(evaluate1(linear.get(), 7.0f), 20.0f);
    // STEP belongs to the segment's first key.
    linear->setPoint(1, 0.25f, nullptr, Curve::STEP); // a null value keeps the old one
    QCOMPARE(evaluate1(linear.get(), 0.9f), 10.0f);
    QCOMPARE(evaluate1(linear.get(), 0.2f), 8.0f);

    // FLAT between 2 and 6 at s = 0.25: weight of 'to' is 3s^2 - 2s^3 = 0.15625.
    Owned<Curve> flat(scalarCurve({0.0f, 1.0f}, {2.0f, 6.0f}, Curve::FLAT));
    QVERIFY(std::fabs(evaluate1(flat.get(), 0.25f) - 2.625f) < 1e-6f);

    // HERMITE 0 -> 1 with out-tangent 2 and in-tangent 0.5 at s = 0.5:
    // 0.5 + 2 * 0.125 + 0.5 * (-0.125).
    Owned<Curve> tangents(Curve::create(2, 1));
    const float v[5] = {0.0f, 1.0f, 2.0f, 0.5f, 0.25f};
    tangents->setPoint(0, 0.0f, &v[0], Curve::HERMITE, nullptr, &v[2]);
    tangents->setPoint(1, 1.0f, &v[1], Curve::HERMITE, &v[3], nullptr);
    QVERIFY(std::fabs(evaluate1(tangents.get(), 0.5f) - 0.6875f) < 1e-6f);
    // BEZIER with control values 0.25 and 0.5: 0.375 * 0.25 + 0.375 * 0.5 + 0.125.
    tangents->setPoint(0, 0.0f, &v[0], Curve::BEZIER, nullptr, &v[4]);
    tangents->setPoint(1, 1.0f, &v[1], Curve::BEZIER, &v[3], nullptr);
    QVERIFY(std::fabs(evaluate1(tangents.get(), 0.5f) - 0.40625f) < 1e-6f);

    // BSPLINE, middle segment at s = 0.5: weights 1/48, 23/48, 23/48, 1/48;
    // missing neighbours at either end repeat the end point.
    Owned<Curve> bspline(scalarCurve({0.0f, 1.0f / 3, 2.0f / 3, 1.0f}, {0.0f, 1.0f, 2.0f, 4.0f}, Curve::BSPLINE));
    QVERIFY(std::fabs(evaluate1(bspline.get(), 0.5f) - 73.0f / 48.0f) < 1e-5f);
    QVERIFY(std::fabs(evaluate1(bspline.get(), 1.0f / 6.0f) - 25.0f / 48.0f) < 1e-5f);
    QVERIFY(std::fabs(evaluate1(bspline.get(), 5.0f / 6.0f) - 143.0f / 48.0f) < 1e-5f);

    // SMOOTH over uneven keys: first segment at s = 0.5 is
    // 0.5 + 1 * 0.125 + 0.6 * (-0.125), with in-tangent (3 - 0) * 0.2 / 1;
    // the slope is 3 on both sides of the middle key.
    Owned<Curve> smooth(scalarCurve({0.0f, 0.2f, 1.0f}, {0.0f, 1.0f, 3.0f}, Curve::SMOOTH));
    QVERIFY(std::fabs(evaluate1(smooth.get(), 0.1f) - 0.55f) < 1e-5f);
    const float h = 1e-3f;
    const float left = (evaluate1(smooth.get(), 0.2f) - evaluate1(smooth.get(), 0.2f - h)) / h;
    const float right = (evaluate1(smooth.get(), 0.2f + h) - evaluate1(smooth.get(), 0.2f)) / h;
    QVERIFY2(std::fabs(left - 3.0f) < 0.05f && std::fabs(right - 3.0f) < 0.05f,
             qPrintable(QString("%1 %2").arg(left).arg(right)));
}

void CurveTest::onePointAndEqualKeysStayPut()
{
    Owned<Curve> single(Curve::create(1, 2));
    const float v[2] = {4.0f, -7.0f};
    single->setPoint(0, 0.0f, v, Curve::BOUNCE_IN);
    for (float time : {-1.0f, 0.5f, 3.0f, std::numeric_limits<float>::quiet_NaN()}) {
        float out[2] = {0.0f, 0.0f};
        single->evaluate(time, 0.0f, 1.0f, 0.5f, out);
        QVERIFY(out[0] == 4.0f && out[1] == -7.0f);
    }

    // A component equal in both keys is copied, even through an overshoot.
    Owned<Curve> curve(Curve::create(2, 2));
    const float keys[4] = {5.0f, 0.0f, 5.0f, 1.0f};
    curve->setPoint(0, 0.0f, keys, Curve::OVERSHOOT_IN);
    curve->setPoint(1, 1.0f, keys + 2, Curve::OVERSHOOT_IN);
    float out[2];
    curve->evaluate(0.3f, 0.0f, 1.0f, 0.0f, out);
    QVERIFY(out[0] == 5.0f && out[1] < 0.0f);
}

void CurveTest::loopBlendsAndSubRanges()
{
    Owned<Curve> curve(scalarCurve({0.0f, 0.5f, 1.0f}, {0.0f, 10.0f, 30.0f}, Curve::LINEAR));
    // Past the end: from the last value back towards the first; before the
    // start: from the first towards the last; beyond the span: complete.
    QVERIFY(std::fabs(evaluate1(curve.get(), 1.1f, 0.5f) - 24.0f) < 1e-5f);
    QVERIFY(std::fabs(evaluate1(curve.get(), -0.1f, 0.5f) - 6.0f) < 1e-5f);
    QCOMPARE(evaluate1(curve.get(), 4.0f, 0.5f), 0.0f);
    // Without a loop blend (or with a negative or NaN one) times are clamped.
    QCOMPARE(evaluate1(curve.get(), 1.25f, -1.0f), 30.0f);
    QCOMPARE(evaluate1(curve.get(), 1.25f, std::numeric_limits<float>::quiet_NaN()), 30.0f);

    // Second half: time 0.5 of the range is curve time 0.75; a range inside
    // one segment covers that whole segment; an inverted range collapses to
    // a point instead of reading garbage.
    float out = 0.0f;
    curve->evaluate(0.5f, 0.5f, 1.0f, 0.0f, &out);
    QVERIFY(std::fabs(out - 20.0f) < 1e-5f);
    curve->evaluate(1.0f, 0.6f, 0.7f, 0.0f, &out);
    QCOMPARE(out, 30.0f);
    curve->evaluate(0.5f, 0.9f, 0.1f, 0.0f, &out);
    QVERIFY(std::isfinite(out));
}

void CurveTest::quaternionsFollowTheEasedParameter_data()
{
    // A quarter turn about z, keyed with 'type': at s the rotation is the
    // slerp at the eased parameter (which may leave [0, 1]). Tangents apply
    // to the quaternion's first component.
    QTest::addColumn<int>("type");
    QTest::addColumn<float>("outTangent");
    QTest::addColumn<float>("inTangent");
    QTest::addColumn<float>("s");
    QTest::addColumn<double>("fraction");
    QTest::newRow("linear") << int(Curve::LINEAR) << 0.0f << 0.0f << 0.25f << 0.25;
    QTest::newRow("flat") << int(Curve::FLAT) << 0.0f << 0.0f << 0.25f << 0.15625;
    QTest::newRow("step") << int(Curve::STEP) << 0.0f << 0.0f << 0.9f << 0.0;
    QTest::newRow("hermite") << int(Curve::HERMITE) << 2.0f << 0.5f << 0.5f << 0.6875;
    QTest::newRow("bezier") << int(Curve::BEZIER) << 0.25f << 0.5f << 0.5f << 0.40625;
    QTest::newRow("overshoot in") << int(Curve::OVERSHOOT_IN) << 0.0f << 0.0f << 0.3f << -0.08019954;
    QTest::newRow("overshoot out") << int(Curve::OVERSHOOT_OUT) << 0.0f << 0.0f << 0.6f << 1.099352;
}

void CurveTest::quaternionsFollowTheEasedParameter()
{
    QFETCH(int, type);
    QFETCH(float, outTangent);
    QFETCH(float, inTangent);
    QFETCH(float, s);
    QFETCH(double, fraction);
    Owned<Curve> curve(Curve::create(2, 4));
    const unsigned int offset = 0;
    curve->setQuaternionOffset(&offset);
    const float out[4] = {outTangent, 0, 0, 0};
    const float in[4] = {inTangent, 0, 0, 0};
    setRotation(curve.get(), 0, 0.0f, Quaternion::identity(), type, in, out);
    setRotation(curve.get(), 1, 1.0f, zRotation(90.0), type, in, out);
    const Quaternion q = rotationAt(curve.get(), s);
    QVERIFY2(sameRotation(q, zRotation(90.0 * fraction), 1e-5f), qPrintable(QString::number(q.z)));
    QVERIFY(std::fabs(q.length() - 1.0f) < 1e-5f);
}

void CurveTest::quaternionsTakeTheShortWayAndSitAtTheirOffset()
{
    // The second key given with opposite sign is the same rotation.
    Owned<Curve> curve(Curve::create(2, 4));
    const unsigned int zero = 0;
    curve->setQuaternionOffset(&zero);
    const Quaternion q1 = zRotation(90.0);
    setRotation(curve.get(), 0, 0.0f, Quaternion::identity(), Curve::LINEAR);
    setRotation(curve.get(), 1, 1.0f, Quaternion(-q1.x, -q1.y, -q1.z, -q1.w), Curve::LINEAR);
    QVERIFY(sameRotation(rotationAt(curve.get(), 0.5f), zRotation(45.0), 1e-5f));

    // SMOOTH rotations move evenly over a later, uneven segment.
    Owned<Curve> smooth(Curve::create(3, 4));
    smooth->setQuaternionOffset(&zero);
    setRotation(smooth.get(), 0, 0.0f, zRotation(0.0), Curve::SMOOTH);
    setRotation(smooth.get(), 1, 0.2f, zRotation(60.0), Curve::SMOOTH);
    setRotation(smooth.get(), 2, 1.0f, zRotation(120.0), Curve::SMOOTH);
    QVERIFY(sameRotation(rotationAt(smooth.get(), 0.6f), zRotation(90.0), 1e-5f));

    // Scale (0..2), rotation (3..6), translation (7..9) in one value.
    Owned<Curve> trs(Curve::create(2, 10));
    const unsigned int three = 3;
    trs->setQuaternionOffset(&three);
    const float a[10] = {1, 1, 1, 0, 0, 0, 1, 0, 0, 0};
    const float b[10] = {3, 1, 5, q1.x, q1.y, q1.z, q1.w, 10, -10, 4};
    trs->setPoint(0, 0.0f, a, Curve::LINEAR);
    trs->setPoint(1, 1.0f, b, Curve::LINEAR);
    float out[10];
    trs->evaluate(0.5f, 0.0f, 1.0f, 0.0f, out);
    const float expected[10] = {2, 1, 3, 0, 0, 0, 0, 5, -5, 2};
    for (int i : {0, 1, 2, 7, 8, 9})
        QCOMPARE(out[i], expected[i]);
    QVERIFY(sameRotation(Quaternion(out[3], out[4], out[5], out[6]), zRotation(45.0), 1e-5f));

    // An offset without room for four components is refused.
    const unsigned int tooFar = 7;
    trs->setQuaternionOffset(&tooFar);
    QCOMPARE(*trs->quaternionOffset(), 3u);
    Owned<Curve> small(Curve::create(2, 3));
    small->setQuaternionOffset(&zero);
    QVERIFY(!small->quaternionOffset());
}

void CurveTest::malformedCurvesNeverReadOutOfBounds()
{
    QVERIFY(!Curve::create(0, 3));
    QVERIFY(!Curve::create(3, 0));

    // Point times out of order, duplicated, or not numbers at all: every
    // evaluation stays inside the curve and yields finite values.
    Owned<Curve> curve(Curve::create(5, 1));
    const float times[5] = {0.0f, 0.9f, 0.1f, 0.1f, 1.0f};
    for (unsigned int i = 0; i < 5; ++i) {
        const float v = float(i);
        curve->setPoint(i, times[i], &v, i % 2 ? Curve::SMOOTH : Curve::BSPLINE);
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float time : {-inf, -1.0f, 0.0f, 0.05f, 0.1f, 0.5f, 0.95f, 1.0f, 2.0f, inf, nan}) {
        for (float loopBlend : {0.0f, 0.25f}) {
            for (float start : {0.0f, 0.3f, nan}) {
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

void CurveTest::evaluationOrderDoesNotMatter()
{
    // A curve remembers where its last evaluation fell; times visited in any
    // order (backwards, jumping, on keys) must give what a fresh curve gives.
    std::vector<float> times, values;
    for (int i = 0; i < 9; ++i) {
        times.push_back(i == 8 ? 1.0f : float(i) / 8.0f);
        values.push_back(float(i * i));
    }
    auto makeCurve = [&]() {
        Curve* curve = scalarCurve(times, values, Curve::LINEAR);
        for (unsigned int i = 1; i < 9; i += 2)
            curve->setPoint(i, times[i], &values[i], Curve::SMOOTH);
        return curve;
    };
    Owned<Curve> reused(makeCurve());
    std::mt19937 random(99);
    std::uniform_real_distribution<float> anyTime(-0.2f, 1.2f);
    for (int i = 0; i < 500; ++i) {
        float time = anyTime(random);
        if (i % 7 == 0)
            time = float(i % 9) / 8.0f; // exactly on a key
        Owned<Curve> fresh(makeCurve());
        QCOMPARE(evaluate1(reused.get(), time), evaluate1(fresh.get(), time));
    }
}

QTEST_APPLESS_MAIN(CurveTest)
#include "tst_curve.moc"

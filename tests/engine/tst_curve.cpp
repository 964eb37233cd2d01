// Curve evaluation: every interpolation type against independently computed
// values, neighbour-based types, loop blending, sub-ranges, rotations and
// malformed curves.

#include "EngineTestSupport.h"

#include "Curve.h"

#include <QtTest>

#include <limits>
#include <vector>

using engine::Curve;
using engine::Quaternion;
using namespace enginetest;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

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

// Rotations about z at the given times and degrees, the quaternion at 0.
Curve* zRotationCurve(const std::vector<float>& times, const std::vector<double>& degrees, int type)
{
    Curve* curve = Curve::create(unsigned(times.size()), 4);
    const unsigned int zero = 0;
    curve->setQuaternionOffset(&zero);
    for (unsigned int i = 0; i < times.size(); ++i) {
        const Quaternion q = zRotation(degrees[i]);
        const float value[4] = {q.x, q.y, q.z, q.w};
        curve->setPoint(i, times[i], value, type);
    }
    return curve;
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
    void keyBasedTypesFollowTheirFormulas();
    void loopBlendsSubRangesAndSinglePoints();
    void quaternionsTakeTheShortWayAndSitAtTheirOffset();
    void malformedCurvesNeverReadOutOfBounds();
    void evaluationOrderDoesNotMatter();
};

void CurveTest::easingTypesFollowTheirFormulas_data()
{
    // Expected e(s) at s = 0.1, 0.3, 0.6, 0.85, computed in double precision
    // from equivalent closed forms (for instance CUBIC_IN_OUT as 4s^3 below
    // one half, BOUNCE_OUT_IN as two half-size bounces): the composed halves,
    // where the two formulas must meet in the middle.
    QTest::addColumn<int>("type");
    QTest::addColumn<QVector<double>>("expected");
    const struct {
        const char* name;
        double e[4];
    } table[] = {
        {"CUBIC_IN_OUT", {0.004, 0.108, 0.744, 0.9865}},
        {"ELASTIC_OUT_IN", {0.5635868, 0.5006197, 0.5000839, 0.4956773}},
        {"OVERSHOOT_IN_OUT", {-0.03751855, -0.07883348, 0.9100742, 1.06824}},
        {"BOUNCE_OUT_IN", {0.15125, 0.38625, 0.53, 0.6596875}},
    };
    for (const auto& row : table) {
        QTest::newRow(row.name) << Curve::interpolationTypeFromName(row.name)
                                << QVector<double> {row.e[0], row.e[1], row.e[2], row.e[3]};
    }
}

void CurveTest::easingTypesFollowTheirFormulas()
{
    QFETCH(int, type);
    QFETCH(QVector<double>, expected);
    QVERIFY(type > Curve::STEP);
    // Between 10 and 30 the eased parameter scales the span; the keys
    // themselves are hit exactly.
    Owned<Curve> curve(scalarCurve({0.0f, 1.0f}, {10.0f, 30.0f}, type));
    QCOMPARE(evaluate1(curve.get(), 0.0f), 10.0f);
    QCOMPARE(evaluate1(curve.get(), 1.0f), 30.0f);
    const float s[4] = {0.1f, 0.3f, 0.6f, 0.85f};
    for (int i = 0; i < 4; ++i) {
        const float value = evaluate1(curve.get(), s[i]);
        QVERIFY2(std::fabs(value - (10.0 + 20.0 * expected[i])) <= 5e-4,
                 qPrintable(QString("s=%1: %2, expected %3").arg(s[i]).arg(value).arg(10.0 + 20.0 * expected[i])));
    }
}

void CurveTest::keyBasedTypesFollowTheirFormulas()
{
    // LINEAR across uneven segments, clamped outside without a loop blend;
    // STEP belongs to the segment's first key.
    Owned<Curve> linear(scalarCurve({0.0f, 0.25f, 1.0f}, {0.0f, 10.0f, 20.0f}, Curve::LINEAR));
    QCOMPARE(evaluate1(linear.get(), 0.625f), 15.0f);
    QCOMPARE(evaluate1(linear.get(), -3.0f), 0.0f);
    QCOMPARE(evaluate1(linear.get(), 7.0f), 20.0f);
    linear->setPoint(1, 0.25f, nullptr, Curve::STEP); // a null value keeps the old one
    QCOMPARE(evaluate1(linear.get(), 0.9f), 10.0f);

    // HERMITE 0 -> 1 with out-tangent 2 and in-tangent 0.5 at s = 0.5:
    // 0.5 + 2 * 0.125 + 0.5 * (-0.125); BEZIER with control values 0.25 and
    // 0.5: 0.375 * 0.25 + 0.375 * 0.5 + 0.125.
    Owned<Curve> tangents(Curve::create(2, 1));
    const float v[5] = {0.0f, 1.0f, 2.0f, 0.5f, 0.25f};
    tangents->setPoint(0, 0.0f, &v[0], Curve::HERMITE, nullptr, &v[2]);
    tangents->setPoint(1, 1.0f, &v[1], Curve::HERMITE, &v[3], nullptr);
    QVERIFY(std::fabs(evaluate1(tangents.get(), 0.5f) - 0.6875f) < 1e-6f);
    tangents->setPoint(0, 0.0f, &v[0], Curve::BEZIER, nullptr, &v[4]);
    tangents->setPoint(1, 1.0f, &v[1], Curve::BEZIER, &v[3], nullptr);
    QVERIFY(std::fabs(evaluate1(tangents.get(), 0.5f) - 0.40625f) < 1e-6f);

    // BSPLINE at segment middles: weights 1/48, 23/48, 23/48, 1/48; missing
    // neighbours at either end repeat the end point.
    Owned<Curve> bspline(scalarCurve({0.0f, 1.0f / 3, 2.0f / 3, 1.0f}, {0.0f, 1.0f, 2.0f, 4.0f}, Curve::BSPLINE));
    QVERIFY(std::fabs(evaluate1(bspline.get(), 0.5f) - 73.0f / 48.0f) < 1e-5f);
    QVERIFY(std::fabs(evaluate1(bspline.get(), 5.0f / 6.0f) - 143.0f / 48.0f) < 1e-5f);

    // SMOOTH over uneven keys: the slope is 3 on both sides of the middle key.
    Owned<Curve> smooth(scalarCurve({0.0f, 0.2f, 1.0f}, {0.0f, 1.0f, 3.0f}, Curve::SMOOTH));
    const float h = 1e-3f;
    const float left = (evaluate1(smooth.get(), 0.2f) - evaluate1(smooth.get(), 0.2f - h)) / h;
    const float right = (evaluate1(smooth.get(), 0.2f + h) - evaluate1(smooth.get(), 0.2f)) / h;
    QVERIFY2(std::fabs(left - 3.0f) < 0.05f && std::fabs(right - 3.0f) < 0.05f,
             qPrintable(QString("%1 %2").arg(left).arg(right)));
}

void CurveTest::loopBlendsSubRangesAndSinglePoints()
{
    Owned<Curve> curve(scalarCurve({0.0f, 0.5f, 1.0f}, {0.0f, 10.0f, 30.0f}, Curve::LINEAR));
    // Past the end: from the last value back towards the first; before the
    // start: from the first towards the last; beyond the span: complete.
    QVERIFY(std::fabs(evaluate1(curve.get(), 1.1f, 0.5f) - 24.0f) < 1e-5f);
    QVERIFY(std::fabs(evaluate1(curve.get(), -0.1f, 0.5f) - 6.0f) < 1e-5f);
    QCOMPARE(evaluate1(curve.get(), 4.0f, 0.5f), 0.0f);
    QCOMPARE(evaluate1(curve.get(), 1.25f, -1.0f), 30.0f);
    QCOMPARE(evaluate1(curve.get(), 1.25f, kNaN), 30.0f);
    // Time 0.5 of the second half is curve time 0.75; an inverted range
    // collapses to a point instead of reading garbage.
    float out = 0.0f;
    curve->evaluate(0.5f, 0.5f, 1.0f, 0.0f, &out);
    QVERIFY(std::fabs(out - 20.0f) < 1e-5f);
    curve->evaluate(0.5f, 0.9f, 0.1f, 0.0f, &out);
    QVERIFY(std::isfinite(out));

    Owned<Curve> single(Curve::create(1, 2));
    const float v[2] = {4.0f, -7.0f};
    single->setPoint(0, 0.0f, v, Curve::BOUNCE_IN);
    for (float time : {-1.0f, 0.5f, 3.0f, kNaN}) {
        float pair[2] = {0.0f, 0.0f};
        single->evaluate(time, 0.0f, 1.0f, 0.5f, pair);
        QVERIFY(pair[0] == 4.0f && pair[1] == -7.0f);
    }
}

void CurveTest::quaternionsTakeTheShortWayAndSitAtTheirOffset()
{
    // 450 degrees is the quarter turn with opposite sign.
    Owned<Curve> curve(zRotationCurve({0.0f, 1.0f}, {0.0, 450.0}, Curve::LINEAR));
    QVERIFY(sameRotation(rotationAt(curve.get(), 0.5f), zRotation(45.0), 1e-5f));
    // SMOOTH rotations move evenly over a later, uneven segment.
    Owned<Curve> smooth(zRotationCurve({0.0f, 0.2f, 1.0f}, {0.0, 60.0, 120.0}, Curve::SMOOTH));
    QVERIFY(sameRotation(rotationAt(smooth.get(), 0.6f), zRotation(90.0), 1e-5f));

    // Scale (0..2), rotation (3..6), translation (7..9) in one value.
    Owned<Curve> trs(Curve::create(2, 10));
    const unsigned int three = 3;
    trs->setQuaternionOffset(&three);
    const Quaternion q1 = zRotation(90.0);
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
    const float inf = std::numeric_limits<float>::infinity();
    for (float time : {-inf, -1.0f, 0.0f, 0.05f, 0.1f, 0.5f, 0.95f, 1.0f, 2.0f, inf, kNaN}) {
        for (float loopBlend : {0.0f, 0.25f}) {
            for (float start : {0.0f, 0.3f, kNaN}) {
                float out = kNaN;
                curve->evaluate(time, start, 1.0f, loopBlend, &out);
                QVERIFY2(std::isfinite(out), qPrintable(QString("time %1").arg(time)));
            }
        }
    }
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
    for (float time : {0.9f, 0.1f, 0.5f, 0.5f, 1.0f, -0.2f, 0.625f, 0.3f, 1.2f, 0.0f, 0.74f, 0.26f}) {
        Owned<Curve> fresh(makeCurve());
        QCOMPARE(evaluate1(reused.get(), time), evaluate1(fresh.get(), time));
    }
}

QTEST_APPLESS_MAIN(CurveTest)
#include "tst_curve.moc"

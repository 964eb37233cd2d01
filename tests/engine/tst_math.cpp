// Math value types checked against values worked out by hand or by an
// independent route (e.g. rotating a point instead of reading a matrix).
#include "EngineTestSupport.h"

#include "math/BoundingBox.h"
#include "math/BoundingSphere.h"
#include "math/Vector2.h"
#include "math/Vector4.h"

#include <QtTest>
#include <random>

using namespace engine;
using namespace enginetest;

class TestMath : public QObject {
    Q_OBJECT

private slots:
    void vectorEdges();
    void matrixLayoutAndProductOrder();
    void rotationsAgreeWithRodrigues();
    void inverseTimesMatrixIsIdentity();
    void decompositionRoundTripsAndEdges();
    void slerpEndpointsAndMidpoints();
    void projectionsOfKnownPoints();
    void boundingBoxMergeAndTransform();
    void boundingSphereMergeAndTransform();
};

void TestMath::vectorEdges()
{
    QCOMPARE(Vector3(1, 2, 3).cross(Vector3(4, 5, 6)), Vector3(-3, 6, -3));
    // Normalising a zero vector must not produce NaN.
    Vector3 zero;
    zero.normalize();
    QCOMPARE(zero, Vector3());
    Vector2 z2;
    z2.normalize();
    QCOMPARE(z2, Vector2());
    QCOMPARE(Quaternion::zero().normalized(), Quaternion::zero());
    // A zero axis is no rotation rather than NaN.
    QCOMPARE(Quaternion::fromAxisAngle(Vector3(), 1.0f), Quaternion::identity());
}

void TestMath::matrixLayoutAndProductOrder()
{
    // Row-wise constructor stores column-major; translation sits in 12..14.
    const Matrix a(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    QCOMPARE(a.m[1], 5.0f);
    const Matrix b(2, 0, 0, 1, 0, 3, 0, 2, 0, 0, 4, 3, 0, 0, 0, 1);
    // Worked by hand, row by row: A * B.
    const Matrix expected(2, 6, 12, 18, 10, 18, 28, 46, 18, 30, 44, 74, 26, 42, 60, 102);
    QCOMPARE(a * b, expected);
    QVERIFY(near(b.determinant(), 24.0f));

    // A * B applies B first; vectors ignore translation.
    const Matrix t = Matrix::createTranslation(Vector3(5, 6, 7));
    const Matrix s = Matrix::createScale(Vector3(2, 2, 2));
    QVERIFY(near((t * s).transformPoint(Vector3(1, 1, 1)), Vector3(7, 8, 9)));
    QVERIFY(near((s * t).transformPoint(Vector3(1, 1, 1)), Vector3(12, 14, 16)));
    QVERIFY(near(t.transformVector(Vector3(1, 0, 0)), Vector3(1, 0, 0)));

    // Quaternion products apply the right-hand factor first, like matrices.
    const Quaternion rz = Quaternion::fromAxisAngle(Vector3::unitZ(), kPi / 2);
    const Quaternion rx = Quaternion::fromAxisAngle(Vector3::unitX(), kPi / 2);
    QVERIFY(near((rz * rx).rotate(Vector3(0, 1, 0)), Vector3(0, 0, 1)));
    QVERIFY(near((rx * rz).rotate(Vector3(0, 1, 0)), Vector3(-1, 0, 0)));
    QVERIFY(near(Matrix::createRotation(rz) * Matrix::createRotation(rx), Matrix::createRotation(rz * rx)));
}

void TestMath::rotationsAgreeWithRodrigues()
{
    const float quarter = kPi / 2;
    // A quarter turn about z takes x to y, about x takes y to z, about y takes z to x.
    QVERIFY(near(Matrix::createRotationZ(quarter).transformVector(Vector3(1, 0, 0)), Vector3(0, 1, 0)));
    QVERIFY(near(Matrix::createRotationX(quarter).transformVector(Vector3(0, 1, 0)), Vector3(0, 0, 1)));
    QVERIFY(near(Matrix::createRotationY(quarter).transformVector(Vector3(0, 0, 1)), Vector3(1, 0, 0)));

    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    for (int i = 0; i < 50; ++i) {
        const Vector3 axis(d(rng), d(rng), d(rng) + 0.01f);
        const float angle = d(rng) * kPi;
        const Quaternion q = Quaternion::fromAxisAngle(axis, angle);
        const Vector3 p(d(rng), d(rng), d(rng));
        const Vector3 k = axis.normalized();
        const Vector3 rodrigues
            = p * std::cos(angle) + k.cross(p) * std::sin(angle) + k * (k.dot(p) * (1 - std::cos(angle)));
        QVERIFY(near(Matrix::createRotation(axis, angle).transformVector(p), rodrigues, 1e-3f));
        QVERIFY(near(q.rotate(p), rodrigues, 1e-3f));
        QVERIFY(sameRotation(Quaternion::fromMatrix(Matrix::createRotation(q)), q));
        Vector3 backAxis;
        const float backAngle = q.toAxisAngle(&backAxis);
        QVERIFY(near(Quaternion::fromAxisAngle(backAxis, backAngle).rotate(p), rodrigues, 1e-3f));
    }
}

void TestMath::inverseTimesMatrixIsIdentity()
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> d(-3.0f, 3.0f);
    for (int i = 0; i < 100; ++i) {
        Matrix m;
        for (float& v : m.m)
            v = d(rng);
        if (std::fabs(m.determinant()) < 0.1f)
            continue;
        Matrix inv;
        QVERIFY(m.invert(&inv));
        QVERIFY(near(inv * m, Matrix(), 1e-3f));
        QVERIFY(near(m * inv, Matrix(), 1e-3f));
    }

    // A singular matrix leaves the output alone.
    const Matrix flat = Matrix::createScale(Vector3(1, 0, 1));
    Matrix out = Matrix::createTranslation(Vector3(1, 2, 3));
    const Matrix before = out;
    QVERIFY(!flat.invert(&out));
    QCOMPARE(out, before);
    QVERIFY(flat.inverted().isIdentity());
}

void TestMath::decompositionRoundTripsAndEdges()
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::uniform_real_distribution<float> positive(0.2f, 4.0f);
    Vector3 s, t;
    Quaternion q;
    for (int i = 0; i < 100; ++i) {
        const Vector3 scale(positive(rng), positive(rng), positive(rng));
        const Quaternion rotation = Quaternion::fromAxisAngle(Vector3(d(rng), d(rng), d(rng) + 0.01f), d(rng) * kPi);
        const Vector3 translation(d(rng) * 10, d(rng) * 10, d(rng) * 10);
        const Matrix m
            = Matrix::createTranslation(translation) * Matrix::createRotation(rotation) * Matrix::createScale(scale);
        QVERIFY(m.decompose(&s, &q, &t));
        QVERIFY(near(s, scale, 1e-3f));
        QVERIFY(near(t, translation));
        QVERIFY(sameRotation(q, rotation, 1e-3f));
    }

    // A mirror is folded into a negative x scale and still rebuilds the matrix.
    const Matrix mirrored = Matrix::createRotationY(0.5f) * Matrix::createScale(Vector3(1, -2, 3));
    QVERIFY(mirrored.decompose(&s, &q, &t));
    QVERIFY(s.x < 0);
    QVERIFY(near(Matrix::createTranslation(t) * Matrix::createRotation(q) * Matrix::createScale(s), mirrored, 1e-3f));

    // A zero scale axis gives no rotation but still scale and translation.
    const Matrix flat = Matrix::createTranslation(Vector3(1, 2, 3)) * Matrix::createScale(Vector3(2, 0, 1));
    q = Quaternion(0.1f, 0.2f, 0.3f, 0.9f);
    QVERIFY(!flat.decompose(&s, &q, &t));
    QCOMPARE(q, Quaternion(0.1f, 0.2f, 0.3f, 0.9f));
    QCOMPARE(s, Vector3(2, 0, 1));
    QCOMPARE(t, Vector3(1, 2, 3));
    QVERIFY(Matrix().decompose(nullptr, nullptr, nullptr));
}

void TestMath::slerpEndpointsAndMidpoints()
{
    const Quaternion a = Quaternion::identity();
    const Quaternion b = Quaternion::fromAxisAngle(Vector3::unitY(), kPi / 2);
    QCOMPARE(Quaternion::slerp(a, b, 0.0f), a);
    QCOMPARE(Quaternion::slerp(a, b, 1.0f), b);
    QVERIFY(sameRotation(Quaternion::slerp(a, b, 0.5f), Quaternion::fromAxisAngle(Vector3::unitY(), kPi / 4)));
    // Constant angular speed over a wide arc, unlike a plain lerp.
    const Quaternion wide = Quaternion::fromAxisAngle(Vector3::unitZ(), 0.9f * kPi);
    Vector3 axis;
    QVERIFY(near(Quaternion::slerp(a, wide, 0.25f).toAxisAngle(&axis), 0.225f * kPi, 1e-3f));
    // Opposite signs of one rotation take the short way and stay that rotation.
    QVERIFY(sameRotation(Quaternion::slerp(b, Quaternion(-b.x, -b.y, -b.z, -b.w), 0.5f), b));
    // Nearly equal inputs must not produce NaN.
    const Quaternion r = Quaternion::slerp(a, Quaternion::fromAxisAngle(Vector3::unitX(), 1e-6f), 0.5f);
    QVERIFY(std::isfinite(r.x) && std::isfinite(r.w));
}

void TestMath::projectionsOfKnownPoints()
{
    Matrix p;
    QVERIFY(Matrix::createPerspective(kPi / 2, 2.0f, 1.0f, 10.0f, &p));
    auto ndc = [&](const Vector3& v) {
        const Vector4 c = p.transform(Vector4(v, 1.0f));
        return Vector3(c.x / c.w, c.y / c.w, c.z / c.w);
    };
    // Near and far plane map to -1 and 1; 90 degrees vertical at aspect 2
    // spans y in [-1, 1] and x in [-2, 2] at distance 1.
    QVERIFY(near(ndc(Vector3(0, 0, -10)).z, 1.0f));
    QVERIFY(near(ndc(Vector3(2, 1, -1)), Vector3(1, 1, -1)));
    QVERIFY(near(ndc(Vector3(-4, 2, -2)).x, -1.0f));

    // Degenerate parameters are refused and leave the output alone.
    const Matrix sentinel = Matrix::createTranslation(Vector3(9, 9, 9));
    p = sentinel;
    QVERIFY(!Matrix::createPerspective(kPi, 1.0f, 1.0f, 10.0f, &p)); // half angle 90 degrees
    QVERIFY(!Matrix::createPerspective(kPi / 2, 0.0f, 1.0f, 10.0f, &p)); // zero aspect ratio
    QVERIFY(!Matrix::createPerspective(kPi / 2, 1.0f, 5.0f, 5.0f, &p)); // equal planes
    QCOMPARE(p, sentinel);

    Matrix o;
    QVERIFY(Matrix::createOrthographic(4.0f, 2.0f, 1.0f, 11.0f, &o));
    QVERIFY(near(o.transformPoint(Vector3(2, 1, -1)), Vector3(1, 1, -1)));
    QVERIFY(near(o.transformPoint(Vector3(-2, -1, -11)), Vector3(-1, -1, 1)));
    Matrix unchanged;
    QVERIFY(!Matrix::createOrthographic(0.0f, 2.0f, 1.0f, 11.0f, &unchanged));
    QVERIFY(unchanged.isIdentity());

    const Matrix side = Matrix::createLookAt(Vector3(3, 0, 0), Vector3(0, 0, 0), Vector3(0, 1, 0));
    QVERIFY(near(side.transformPoint(Vector3(0, 2, 0)), Vector3(0, 2, -3)));
}

void TestMath::boundingBoxMergeAndTransform()
{
    BoundingBox box(Vector3(0, 0, 0), Vector3(2, 1, 1));
    BoundingBox rotated = box;
    rotated.transform(Matrix::createRotationZ(kPi / 2));
    QVERIFY(near(rotated.min, Vector3(-1, 0, 0)));
    QVERIFY(near(rotated.max, Vector3(0, 2, 1)));

    BoundingBox merged = box;
    merged.merge(BoundingBox(Vector3(-1, 3, 0.5f), Vector3(0, 4, 2)));
    QCOMPARE(merged, BoundingBox(Vector3(-1, 0, 0), Vector3(2, 4, 2)));

    // Empty boxes neither contribute nor anchor the merge at the origin.
    BoundingBox empty;
    empty.merge(BoundingBox(Vector3(5, 5, 5), Vector3(6, 6, 6)));
    QCOMPARE(empty, BoundingBox(Vector3(5, 5, 5), Vector3(6, 6, 6)));
    box.merge(BoundingBox());
    QCOMPARE(box, BoundingBox(Vector3(0, 0, 0), Vector3(2, 1, 1)));
}

void TestMath::boundingSphereMergeAndTransform()
{
    BoundingSphere a(Vector3(0, 0, 0), 1.0f);
    a.merge(BoundingSphere(Vector3(4, 0, 0), 1.0f));
    QVERIFY(near(a.center, Vector3(2, 0, 0)));
    QVERIFY(near(a.radius, 3.0f));

    // A sphere inside another gives the outer one, either way round.
    BoundingSphere small(Vector3(2, 2, 2), 1.0f);
    small.merge(BoundingSphere(Vector3(1, 1, 1), 10.0f));
    QCOMPARE(small, BoundingSphere(Vector3(1, 1, 1), 10.0f));
    BoundingSphere empty;
    empty.merge(BoundingSphere(Vector3(7, 0, 0), 2.0f));
    QCOMPARE(empty, BoundingSphere(Vector3(7, 0, 0), 2.0f));

    // The merged sphere encloses both inputs for random pairs.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> d(-5.0f, 5.0f);
    for (int i = 0; i < 100; ++i) {
        BoundingSphere p(Vector3(d(rng), d(rng), d(rng)), std::fabs(d(rng)) + 0.1f);
        const BoundingSphere q(Vector3(d(rng), d(rng), d(rng)), std::fabs(d(rng)) + 0.1f);
        const BoundingSphere p0 = p;
        p.merge(q);
        QVERIFY(p.center.distance(p0.center) + p0.radius <= p.radius * 1.0001f + 1e-4f);
        QVERIFY(p.center.distance(q.center) + q.radius <= p.radius * 1.0001f + 1e-4f);
    }

    // Non-uniform scale grows the radius by the largest factor.
    BoundingSphere s(Vector3(1, 0, 0), 1.0f);
    s.transform(Matrix::createTranslation(Vector3(0, 5, 0)) * Matrix::createScale(Vector3(1, 3, 2)));
    QVERIFY(near(s.center, Vector3(1, 5, 0)));
    QVERIFY(near(s.radius, 3.0f));
    BoundingSphere fromBox;
    fromBox.merge(BoundingBox(Vector3(-1, -1, -1), Vector3(1, 1, 1)));
    QVERIFY(near(fromBox.radius, std::sqrt(3.0f)));
}

QTEST_APPLESS_MAIN(TestMath)
#include "tst_math.moc"

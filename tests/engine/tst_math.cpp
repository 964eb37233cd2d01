// Math value types checked against an independent route (Rodrigues' formula,
// round trips) and at the edges where they could produce NaN or
// garbage.
#include "EngineTestSupport.h"

#include "math/BoundingBox.h"
#include "math/BoundingSphere.h"
#include "math/Vector2.h"
#include "math/Vector4.h"

#include <QtTest>

using namespace engine;
using namespace enginetest;

class TestMath : public QObject {
    Q_OBJECT

private slots:
    void degenerateInputsGiveNoNaN();
    void productsApplyTheRightFactorFirst();
    void rotationsAgreeWithRodriguesAndRoundTrip();
    void decompositionOfMirrorsAndFlatMatrices();
    void impossibleProjectionsLeaveTheOutputAlone();
    void boundsMergeIgnoresEmptyAndEnclosesBoth();
};

void TestMath::degenerateInputsGiveNoNaN()
{
    Vector3 zero;
    zero.normalize();
    QCOMPARE(zero, Vector3());
    Vector2 z2;
    z2.normalize();
    QCOMPARE(z2, Vector2());
    QCOMPARE(Quaternion::zero().normalized(), Quaternion::zero());
    QCOMPARE(Quaternion::fromAxisAngle(Vector3(), 1.0f), Quaternion::identity());
    const Quaternion r
        = Quaternion::slerp(Quaternion::identity(), Quaternion::fromAxisAngle(Vector3::unitX(), 1e-6f), 0.5f);
    QVERIFY(std::isfinite(r.x) && std::isfinite(r.w));
    // Opposite signs of one rotation take the short way and stay that rotation.
    const Quaternion b = Quaternion::fromAxisAngle(Vector3::unitY(), kPi / 2);
    QVERIFY(sameRotation(Quaternion::slerp(b, Quaternion(-b.x, -b.y, -b.z, -b.w), 0.5f), b));
}

void TestMath::productsApplyTheRightFactorFirst()
{
    const Matrix t = Matrix::createTranslation(Vector3(5, 6, 7));
    const Matrix s = Matrix::createScale(Vector3(2, 2, 2));
    QVERIFY(near((t * s).transformPoint(Vector3(1, 1, 1)), Vector3(7, 8, 9)));
    QVERIFY(near(t.transformVector(Vector3(1, 0, 0)), Vector3(1, 0, 0)));
    const Quaternion rz = Quaternion::fromAxisAngle(Vector3::unitZ(), kPi / 2);
    const Quaternion rx = Quaternion::fromAxisAngle(Vector3::unitX(), kPi / 2);
    QVERIFY(near((rz * rx).rotate(Vector3(0, 1, 0)), Vector3(0, 0, 1)));
    QVERIFY(near(Matrix::createRotation(rz) * Matrix::createRotation(rx), Matrix::createRotation(rz * rx)));
}

void TestMath::rotationsAgreeWithRodriguesAndRoundTrip()
{
    const Vector3 axis(0.3f, -0.7f, 0.5f);
    const float angle = 2.2f;
    const Quaternion q = Quaternion::fromAxisAngle(axis, angle);
    const Vector3 p(0.4f, 0.9f, -0.6f);
    const Vector3 k = axis.normalized();
    const Vector3 rodrigues
        = p * std::cos(angle) + k.cross(p) * std::sin(angle) + k * (k.dot(p) * (1 - std::cos(angle)));
    QVERIFY(near(Matrix::createRotation(axis, angle).transformVector(p), rodrigues, 1e-3f));
    QVERIFY(near(q.rotate(p), rodrigues, 1e-3f));
    QVERIFY(sameRotation(Quaternion::fromMatrix(Matrix::createRotation(q)), q));

    const Vector3 scale(0.5f, 3.0f, 1.5f);
    const Vector3 translation(4, -8, 2);
    const Matrix m = Matrix::createTranslation(translation) * Matrix::createRotation(q) * Matrix::createScale(scale);
    Matrix inverse;
    QVERIFY(m.invert(&inverse));
    QVERIFY(near(inverse * m, Matrix(), 1e-3f));
    Vector3 s, t;
    Quaternion r;
    QVERIFY(m.decompose(&s, &r, &t));
    QVERIFY(near(s, scale, 1e-3f) && near(t, translation) && sameRotation(r, q, 1e-3f));
    // Constant angular speed over a wide arc, unlike a plain lerp.
    const Quaternion wide = Quaternion::fromAxisAngle(Vector3::unitZ(), 0.9f * kPi);
    Vector3 turn;
    QVERIFY(near(Quaternion::slerp(Quaternion::identity(), wide, 0.25f).toAxisAngle(&turn), 0.225f * kPi, 1e-3f));
}

void TestMath::decompositionOfMirrorsAndFlatMatrices()
{
    Vector3 s, t;
    Quaternion q;
    // A mirror is folded into a negative x scale and still rebuilds the matrix.
    const Matrix mirrored = Matrix::createRotationY(0.5f) * Matrix::createScale(Vector3(1, -2, 3));
    QVERIFY(mirrored.decompose(&s, &q, &t));
    QVERIFY(s.x < 0);
    QVERIFY(near(Matrix::createTranslation(t) * Matrix::createRotation(q) * Matrix::createScale(s), mirrored, 1e-3f));

    // A zero scale axis gives no rotation but still scale and translation;
    // a singular matrix does not invert and leaves the output alone.
    const Matrix flat = Matrix::createTranslation(Vector3(1, 2, 3)) * Matrix::createScale(Vector3(2, 0, 1));
    q = Quaternion(0.1f, 0.2f, 0.3f, 0.9f);
    QVERIFY(!flat.decompose(&s, &q, &t));
    QCOMPARE(q, Quaternion(0.1f, 0.2f, 0.3f, 0.9f));
    QCOMPARE(s, Vector3(2, 0, 1));
    QCOMPARE(t, Vector3(1, 2, 3));
    Matrix out = Matrix::createTranslation(Vector3(1, 2, 3));
    const Matrix before = out;
    QVERIFY(!flat.invert(&out));
    QCOMPARE(out, before);
    QVERIFY(flat.inverted().isIdentity());
}

void TestMath::impossibleProjectionsLeaveTheOutputAlone()
{
    Matrix p;
    QVERIFY(Matrix::createPerspective(kPi / 2, 2.0f, 1.0f, 10.0f, &p));
    const Vector4 corner = p.transform(Vector4(Vector3(2, 1, -1), 1.0f));
    QVERIFY(near(Vector3(corner.x, corner.y, corner.z) * (1.0f / corner.w), Vector3(1, 1, -1)));
    const Matrix sentinel = Matrix::createTranslation(Vector3(9, 9, 9));
    p = sentinel;
    QVERIFY(!Matrix::createPerspective(kPi, 1.0f, 1.0f, 10.0f, &p)); // half angle 90 degrees
    QVERIFY(!Matrix::createPerspective(kPi / 2, 0.0f, 1.0f, 10.0f, &p));
    QVERIFY(!Matrix::createPerspective(kPi / 2, 1.0f, 5.0f, 5.0f, &p));
    QVERIFY(!Matrix::createOrthographic(0.0f, 2.0f, 1.0f, 11.0f, &p));
    QCOMPARE(p, sentinel);
}

void TestMath::boundsMergeIgnoresEmptyAndEnclosesBoth()
{
    BoundingBox empty;
    empty.merge(BoundingBox(Vector3(5, 5, 5), Vector3(6, 6, 6)));
    QCOMPARE(empty, BoundingBox(Vector3(5, 5, 5), Vector3(6, 6, 6)));
    BoundingBox box(Vector3(0, 0, 0), Vector3(2, 1, 1));
    box.merge(BoundingBox());
    QCOMPARE(box, BoundingBox(Vector3(0, 0, 0), Vector3(2, 1, 1)));
    box.transform(Matrix::createRotationZ(kPi / 2));
    QVERIFY(near(box.min, Vector3(-1, 0, 0)) && near(box.max, Vector3(0, 2, 1)));

    BoundingSphere emptySphere;
    emptySphere.merge(BoundingSphere(Vector3(7, 0, 0), 2.0f));
    QCOMPARE(emptySphere, BoundingSphere(Vector3(7, 0, 0), 2.0f));
    // Apart, overlapping, one inside the other: the merged sphere encloses both.
    for (float gap : {12.0f, 1.0f, 0.2f}) {
        BoundingSphere p(Vector3(1, 2, 3), 3.0f);
        const BoundingSphere q(Vector3(1 + gap, 2, 3), 0.5f);
        const BoundingSphere p0 = p;
        p.merge(q);
        QVERIFY(p.center.distance(p0.center) + p0.radius <= p.radius * 1.0001f + 1e-4f);
        QVERIFY(p.center.distance(q.center) + q.radius <= p.radius * 1.0001f + 1e-4f);
    }
}

QTEST_APPLESS_MAIN(TestMath)
#include "tst_math.moc"

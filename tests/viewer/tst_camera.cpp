#include "OrbitCamera.h"
#include "SceneViewer.h"
#include "ThumbnailCapture.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

// The camera arithmetic behind pointer, wheel and framing: each row starts
// from the reset camera, applies one gesture and checks the outcome.
class CameraTest : public QObject {
    Q_OBJECT
private slots:
    void gestures_data();
    void gestures();
    void framing_data();
    void framing();
    void framedSphere_data();
    void framedSphere();
    void wheelNotchesDoNotCancel();
    void transformLooksAtTarget();
    void previewLooksFromTheWindowsSide();
};

Q_DECLARE_METATYPE(engine::Vector3)

namespace {
enum Gesture { Drag, DragWithCtrl, DragWithAlt, WheelPan, MoveWithoutPress, DragWithOtherKey, DollyDrag };
}

void CameraTest::gestures_data()
{
    QTest::addColumn<int>("gesture");
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<float>("yaw");
    QTest::addColumn<float>("pitch");
    QTest::addColumn<float>("distance");
    QTest::addColumn<bool>("targetMoves");

    QTest::newRow("orbit: a degree per pixel") << int(Drag) << 10 << -4 << 40.0f << 26.0f << 80.0f << false;
    QTest::newRow("orbit stops short of straight down") << int(Drag) << 0 << 200 << 30.0f << 89.0f << 80.0f << false;
    QTest::newRow("orbit stops short of straight up") << int(Drag) << 0 << -500 << 30.0f << -89.0f << 80.0f << false;
    QTest::newRow("alt right 10 shortens by 0.5") << int(DragWithAlt) << 10 << 0 << 30.0f << 30.0f << 79.5f << false;
    QTest::newRow("alt down 10 lengthens by 0.5") << int(DragWithAlt) << 0 << 10 << 30.0f << 30.0f << 80.5f << false;
    // The right button or Shift+left: no window manager takes these.
    QTest::newRow("dolly press down 10 lengthens by 0.5")
        << int(DollyDrag) << 0 << 10 << 30.0f << 30.0f << 80.5f << false;
    QTest::newRow("ctrl drag pans") << int(DragWithCtrl) << 10 << 5 << 30.0f << 30.0f << 80.0f << true;
    QTest::newRow("middle-button wheel pans") << int(WheelPan) << 10 << 0 << 30.0f << 30.0f << 80.0f << true;
    QTest::newRow("hovering does nothing") << int(MoveWithoutPress) << 10 << 10 << 30.0f << 30.0f << 80.0f << false;
    QTest::newRow("other key held does nothing")
        << int(DragWithOtherKey) << 10 << 10 << 30.0f << 30.0f << 80.0f << false;
}

void CameraTest::gestures()
{
    QFETCH(int, gesture);
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(float, yaw);
    QFETCH(float, pitch);
    QFETCH(float, distance);
    QFETCH(bool, targetMoves);
    OrbitCamera camera;
    if (gesture == DragWithCtrl)
        camera.keyPressed(OrbitCamera::CtrlKey);
    if (gesture == DragWithAlt)
        camera.keyPressed(OrbitCamera::AltKey);
    if (gesture == DragWithOtherKey)
        camera.keyPressed(42);
    if (gesture == WheelPan)
        camera.panMode = true;
    else if (gesture != MoveWithoutPress)
        camera.press(100, 100, gesture == DollyDrag);
    camera.lastX = 100;
    camera.lastY = 100;
    camera.move(100 + dx, 100 + dy);

    QCOMPARE(camera.yaw, yaw);
    QCOMPARE(camera.pitch, pitch);
    QVERIFY(qFuzzyCompare(camera.distance, distance));
    QCOMPARE(camera.target != engine::Vector3(), targetMoves);

    camera.release();
    QVERIFY(!camera.panMode);
    QCOMPARE(camera.move(200, 200), OrbitCamera::Drag::None);
}

void CameraTest::framing_data()
{
    QTest::addColumn<float>("radius");
    QTest::addColumn<float>("centerX");
    QTest::addColumn<float>("startDistance");
    QTest::addColumn<float>("distance");
    QTest::addColumn<float>("farPlane");

    QTest::newRow("radius 100 at the origin") << 100.0f << 0.0f << 80.0f << 241.421f << 20000.0f;
    QTest::newRow("radius 0 leaves it") << 0.0f << 0.0f << 80.0f << 80.0f << 10000.0f;
    QTest::newRow("a small model pulls it in") << 1.0f << 0.0f << 80.0f << 2.41421f << 20000.0f;
    QTest::newRow("offset centre becomes the target") << 100.0f << 50.0f << 80.0f << 241.421f << 20000.0f;
    QTest::newRow("huge model pushes the far plane") << 10000.0f << 0.0f << 80.0f << 24142.1f << 24167.1f;
}

void CameraTest::framing()
{
    QFETCH(float, radius);
    QFETCH(float, centerX);
    QFETCH(float, startDistance);
    QFETCH(float, distance);
    QFETCH(float, farPlane);
    OrbitCamera camera;
    camera.distance = startDistance;
    const engine::BoundingSphere sphere(engine::Vector3(centerX, 0, 0), radius);
    const float newFarPlane = camera.frame(sphere, OrbitCamera::initialFarPlane(camera.distance));
    QVERIFY2(std::fabs(camera.distance - distance) < 1e-5f * std::max(1.0f, distance),
             qPrintable(QString::number(camera.distance)));
    QVERIFY2(std::fabs(newFarPlane - farPlane) < 1e-5f * farPlane, qPrintable(QString::number(newFarPlane)));

    QCOMPARE(camera.target, radius > 0 ? sphere.center : engine::Vector3());

    // Reset returns to the framed view, whatever the user did since.
    const float framed = camera.distance;
    camera.zoom(360);
    camera.reset();
    QCOMPARE(camera.distance, framed);
    QCOMPARE(camera.target, radius > 0 ? sphere.center : engine::Vector3());
    camera.forgetFraming();
    camera.reset();
    QCOMPARE(camera.distance, OrbitCamera::kStartDistance);
    QCOMPARE(camera.target, engine::Vector3());
}

void CameraTest::framedSphere_data()
{
    QTest::addColumn<engine::Vector3>("min");
    QTest::addColumn<engine::Vector3>("max");
    QTest::addColumn<float>("radius");

    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("solid") << engine::Vector3(0, 0, 0) << engine::Vector3(2, 3, 6) << 3.85f;
    QTest::newRow("flat on one axis") << engine::Vector3(-3, 0, -4) << engine::Vector3(3, 0, 4) << 5.5f;
    QTest::newRow("the zero box") << engine::Vector3() << engine::Vector3() << 0.0f;
    QTest::newRow("infinite") << engine::Vector3(0, 0, 0) << engine::Vector3(1, inf, 1) << 0.0f;
    QTest::newRow("not a number") << engine::Vector3(nan, 0, 0) << engine::Vector3(1, 1, 1) << 0.0f;
}

void CameraTest::framedSphere()
{
    QFETCH(engine::Vector3, min);
    QFETCH(engine::Vector3, max);
    QFETCH(float, radius);
    const engine::BoundingSphere sphere = SceneViewer::sphereAround(engine::BoundingBox(min, max));
    QVERIFY(qFuzzyCompare(sphere.radius + 1, radius + 1));
    if (radius > 0)
        QCOMPARE(sphere.center, (min + max) * 0.5f);
}

void CameraTest::wheelNotchesDoNotCancel()
{
    OrbitCamera camera;
    camera.zoom(120);
    QVERIFY(qFuzzyCompare(camera.distance, 80.0f * 0.88f));
    camera.zoom(-120);
    QVERIFY(qFuzzyCompare(camera.distance, 80.0f * 0.88f * 1.12f));
    // A camera zoomed onto its target can still back out again.
    camera.distance = 0.0f;
    camera.zoom(-120);
    QVERIFY(camera.distance > 0.0f);
}

void CameraTest::transformLooksAtTarget()
{
    OrbitCamera camera;
    camera.target = engine::Vector3(5, -2, 7);
    camera.yaw = 75;
    camera.pitch = -20;
    const engine::Matrix m = camera.transform();
    const engine::Vector3 eye = m.getTranslation();
    QVERIFY(std::fabs((eye - camera.target).length() - camera.distance) < 1e-3f);
    const engine::Vector3 towardsTarget = (camera.target - eye).normalized();
    QVERIFY((towardsTarget - m.getForwardVector()).length() < 1e-4f);
    camera.reset();
    QCOMPARE(camera.target, engine::Vector3());
    QCOMPARE(camera.distance, OrbitCamera::kStartDistance);
}

void CameraTest::previewLooksFromTheWindowsSide()
{
    const ThumbnailCapture::View view = ThumbnailCapture::perspectiveView();
    const engine::Matrix preview = OrbitCamera::orbitRotation(view.yaw, view.pitch);
    QVERIFY((OrbitCamera().transform().getForwardVector() - preview.getForwardVector()).length() < 1e-5f);
}

QTEST_APPLESS_MAIN(CameraTest)
#include "tst_camera.moc"

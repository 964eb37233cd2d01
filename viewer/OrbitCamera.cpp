#include "OrbitCamera.h"

#include "math/MathUtil.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {
const float kPanSpeed = 0.001f; // of the distance to the origin, per pixel
const float kDollySpeed = 0.05f; // scene units per pixel
const float kZoomSpeed = 1.0f / 1000.0f; // of the distance, per wheel unit
const float kMinimumZoomDistance = 0.00001f;
const float kMinimumFarPlane = 20000.0f;
const float kFramedFarMargin = 25.0f;
const float kStartFarPlane = 10000.0f;
} // namespace

void OrbitCamera::reset()
{
    yaw = kStartAngle;
    pitch = kStartAngle;
    target = homeTarget;
    distance = homeDistance;
}

void OrbitCamera::press(int x, int y, bool dolly)
{
    lastX = x;
    lastY = y;
    pointerDown = true;
    dollyDrag = dolly;
}

void OrbitCamera::release()
{
    pointerDown = false;
    dollyDrag = false;
    lastX = 0;
    lastY = 0;
    panMode = false;
}

OrbitCamera::Drag OrbitCamera::dragFor() const
{
    if (panMode || (pointerDown && heldKey == CtrlKey))
        return Drag::Pan;
    if (!pointerDown)
        return Drag::None;
    if (dollyDrag)
        return Drag::Dolly;
    if (heldKey == NoKey)
        return Drag::Orbit;
    if (heldKey == AltKey)
        return Drag::Dolly;
    return Drag::None;
}

OrbitCamera::Drag OrbitCamera::move(int x, int y)
{
    const int dx = x - lastX;
    const int dy = y - lastY;
    lastX = x;
    lastY = y;
    const Drag drag = dragFor();
    switch (drag) {
    case Drag::Pan:
        pan(dx, dy);
        break;
    case Drag::Orbit:
        yaw += float(dx);
        pitch = std::max(-kPitchLimit, std::min(kPitchLimit, pitch + float(dy)));
        break;
    case Drag::Dolly:
        distance = (distance - float(dx) * kDollySpeed) + float(dy) * kDollySpeed;
        break;
    case Drag::None:
        break;
    }
    return drag;
}

void OrbitCamera::pan(int dx, int dy)
{
    // Farther from the origin, one pixel covers more of the scene.
    const float k = (target + engine::Vector3(0.0f, 0.0f, distance)).length();
    const engine::Matrix m = transform();
    target -= m.getRightVector() * (float(dx) * k * kPanSpeed);
    target += m.getUpVector() * (float(dy) * k * kPanSpeed);
}

void OrbitCamera::zoom(int wheelDelta)
{
    if (distance <= kMinimumZoomDistance)
        distance = kMinimumZoomDistance;
    distance = distance - std::fabs(distance) * kZoomSpeed * float(wheelDelta);
}

float OrbitCamera::frame(const engine::BoundingSphere& sphere, float currentFarPlane)
{
    if (!(sphere.radius > FLT_EPSILON))
        return currentFarPlane;
    // The camera turns about the model's centre: orbiting about the origin
    // instead swings a model that stands away from it out of the view. A
    // model smaller than the grid pulls the camera in: kept at the start
    // distance it would be a speck in the middle of the view.
    const float halfAngle = engine::degreesToRadians(kFieldOfView * 0.5f);
    target = sphere.center;
    distance = sphere.radius / std::tan(halfAngle);
    homeTarget = target;
    homeDistance = distance;
    return std::max(currentFarPlane, std::max(distance + kFramedFarMargin, kMinimumFarPlane));
}

engine::Matrix OrbitCamera::transform() const
{
    return engine::Matrix::createTranslation(target) * orbitRotation(yaw, pitch)
        * engine::Matrix::createTranslation(engine::Vector3(0.0f, 0.0f, distance));
}

engine::Matrix OrbitCamera::orbitRotation(float yaw, float pitch)
{
    return engine::Matrix::createRotationY(-engine::degreesToRadians(yaw))
        * engine::Matrix::createRotationX(-engine::degreesToRadians(pitch));
}

float OrbitCamera::initialFarPlane(float distance) { return std::max(2.0f * std::fabs(distance), kStartFarPlane); }

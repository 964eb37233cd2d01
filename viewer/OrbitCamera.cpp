#include "OrbitCamera.h"

#include "math/MathUtil.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {
const float panSpeed = 0.001f; // of the distance to the origin, per pixel
const float dollySpeed = 0.05f; // scene units per pixel
const float zoomSpeed = 1.0f / 1000.0f; // of the distance, per wheel unit
const float minimumZoomDistance = 0.00001f;
const float minimumFarPlane = 20000.0f;
const float framedFarMargin = 25.0f;
const float startFarPlane = 10000.0f;
} // namespace

void OrbitCamera::reset()
{
    yaw = startAngle;
    pitch = startAngle;
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
        pitch = std::max(-pitchLimit, std::min(pitchLimit, pitch + float(dy)));
        break;
    case Drag::Dolly:
        distance = (distance - float(dx) * dollySpeed) + float(dy) * dollySpeed;
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
    target -= m.getRightVector() * (float(dx) * k * panSpeed);
    target += m.getUpVector() * (float(dy) * k * panSpeed);
}

void OrbitCamera::zoom(int wheelDelta)
{
    if (distance <= minimumZoomDistance)
        distance = minimumZoomDistance;
    distance = distance - std::fabs(distance) * zoomSpeed * float(wheelDelta);
}

float OrbitCamera::frame(const engine::BoundingSphere& sphere, float currentFarPlane)
{
    if (!(sphere.radius > FLT_EPSILON))
        return currentFarPlane;
    // The camera turns about the model's centre: orbiting about the origin
    // instead swings a model that stands away from it out of the view. A
    // model smaller than the grid pulls the camera in: kept at the start
    // distance it would be a speck in the middle of the view.
    const float halfAngle = engine::degreesToRadians(fieldOfView * 0.5f);
    target = sphere.center;
    distance = sphere.radius / std::tan(halfAngle);
    homeTarget = target;
    homeDistance = distance;
    return std::max(currentFarPlane, std::max(distance + framedFarMargin, minimumFarPlane));
}

engine::Matrix OrbitCamera::transform() const
{
    return engine::Matrix::createTranslation(target) * engine::Matrix::createRotationY(-engine::degreesToRadians(yaw))
        * engine::Matrix::createRotationX(-engine::degreesToRadians(pitch))
        * engine::Matrix::createTranslation(engine::Vector3(0.0f, 0.0f, distance));
}

float OrbitCamera::initialFarPlane(float distance) { return std::max(2.0f * std::fabs(distance), startFarPlane); }

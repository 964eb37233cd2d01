#pragma once

#include "math/BoundingSphere.h"
#include "math/Matrix.h"
#include "math/Vector3.h"

// The viewer's camera as numbers: where it orbits, how far away it sits and
// what a drag, a wheel turn or a framing request does to it. Kept free of
// the scene so that the arithmetic can be checked without a GL context; the
// scene viewer copies transform() into its camera node after each change.
struct OrbitCamera {
    // The engine key codes the widget passes for the two modifier keys.
    enum ModifierKey { NoKey = 0, CtrlKey = 227, AltKey = 233 };
    enum class Drag { None, Pan, Orbit, Dolly };

    static constexpr float kFieldOfView = 45.0f;
    static constexpr float kNearPlane = 0.1f;
    static constexpr float kStartDistance = 80.0f;
    static constexpr float kStartAngle = 30.0f;
    // Just short of straight down or up: past it the camera would turn
    // upside down, under the grid.
    static constexpr float kPitchLimit = 89.0f;

    float yaw = kStartAngle; // degrees
    float pitch = kStartAngle; // degrees
    float distance = kStartDistance; // scene units from target
    // Where reset() goes: the view framed at the last load.
    float homeDistance = kStartDistance;
    engine::Vector3 homeTarget;
    engine::Vector3 target;
    bool pointerDown = false;
    bool panMode = false; // wheel turned with the middle button held
    // The press that started the drag asked for dolly (the right button or
    // Shift with the left): window managers take Alt+drag for themselves.
    bool dollyDrag = false;
    int lastX = 0;
    int lastY = 0;
    int heldKey = NoKey;

    // Back to the view framed at the last load (or the start view).
    void reset();
    // The start view becomes home again: no model is framed any more.
    void forgetFraming()
    {
        homeDistance = kStartDistance;
        homeTarget = engine::Vector3();
    }
    void press(int x, int y, bool dolly = false);
    void release();
    // Returns what the move did; anything but Drag::None changed the camera.
    Drag move(int x, int y);
    void keyPressed(int key) { heldKey = key; }
    void keyReleased() { heldKey = NoKey; }
    void zoom(int wheelDelta);

    // Aims the camera at the centre of a sphere of the given bounds, backs
    // it off until the sphere fits the field of view, makes that the home
    // view and returns the far plane to use from now on. An empty sphere
    // changes nothing.
    float frame(const engine::BoundingSphere& sphere, float currentFarPlane);

    // The camera node's transform: the camera sits `distance` away from
    // `target` and looks at it.
    engine::Matrix transform() const;

    // The turn of a camera that looks at its target from `yaw` degrees
    // round the vertical and `pitch` degrees above the horizon. The window
    // and the previews both place their cameras by it, so that a preview
    // taken at the start angles shows the side the window first shows.
    static engine::Matrix orbitRotation(float yaw, float pitch);

    static float initialFarPlane(float distance);

private:
    Drag dragFor() const;
    void pan(int dx, int dy);
};

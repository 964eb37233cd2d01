#include "engine/Camera.h"

#include "engine/Node.h"
#include "engine/Properties.h"
#include "engine/math/MathUtil.h"

#include <cstring>

namespace engine {

Camera::Camera(Type type, float fieldOfView, float zoomX, float zoomY, float aspectRatio, float nearPlane,
               float farPlane)
    : _type(type)
    , _fieldOfView(fieldOfView)
    , _zoom{ zoomX, zoomY }
    , _aspectRatio(aspectRatio)
    , _nearPlane(nearPlane)
    , _farPlane(farPlane)
    , _dirtyBits(DIRTY_ALL)
    , _node(nullptr)
{
}

Camera::~Camera() = default;

Camera* Camera::createPerspective(float fieldOfView, float aspectRatio, float nearPlane, float farPlane)
{
    return new Camera(PERSPECTIVE, fieldOfView, 1.0f, 1.0f, aspectRatio, nearPlane, farPlane);
}

Camera* Camera::createOrthographic(float zoomX, float zoomY, float aspectRatio, float nearPlane, float farPlane)
{
    return new Camera(ORTHOGRAPHIC, 0.0f, zoomX, zoomY, aspectRatio, nearPlane, farPlane);
}

Camera* Camera::create(Properties* properties, float viewportWidth, float viewportHeight)
{
    if (!properties)
        return nullptr;
    const char* type = properties->getString("type");
    if (!type)
        return nullptr;
    const bool perspective = std::strcmp(type, "PERSPECTIVE") == 0;
    if (!perspective && std::strcmp(type, "ORTHOGRAPHIC") != 0)
        return nullptr;

    // A zero-height viewport (a minimised window) would give an infinite ratio.
    const float defaultAspect = viewportHeight != 0.0f ? viewportWidth / viewportHeight : 1.0f;
    const float aspect = properties->exists("aspectRatio") ? properties->getFloat("aspectRatio") : defaultAspect;
    const float nearPlane = properties->exists("nearPlane") ? properties->getFloat("nearPlane") : 0.2f;
    const float farPlane = properties->exists("farPlane") ? properties->getFloat("farPlane") : 100.0f;
    if (perspective) {
        const float fov = properties->exists("fieldOfView") ? properties->getFloat("fieldOfView") : 60.0f;
        return createPerspective(fov, aspect, nearPlane, farPlane);
    }
    const float zoomX = properties->exists("zoomX") ? properties->getFloat("zoomX") : viewportWidth;
    const float zoomY = properties->exists("zoomY") ? properties->getFloat("zoomY") : viewportHeight;
    return createOrthographic(zoomX, zoomY, aspect, nearPlane, farPlane);
}

void Camera::projectionChanged()
{
    _dirtyBits |= DIRTY_PROJECTION | DIRTY_VIEW_PROJECTION | DIRTY_INVERSE_VIEW_PROJECTION;
}

void Camera::setFieldOfView(float fieldOfView)
{
    _fieldOfView = fieldOfView;
    projectionChanged();
}

void Camera::setZoomX(float zoomX)
{
    _zoom[0] = zoomX;
    projectionChanged();
}

void Camera::setZoomY(float zoomY)
{
    _zoom[1] = zoomY;
    projectionChanged();
}

void Camera::setAspectRatio(float aspectRatio)
{
    _aspectRatio = aspectRatio;
    projectionChanged();
}

void Camera::setNearPlane(float nearPlane)
{
    _nearPlane = nearPlane;
    projectionChanged();
}

void Camera::setFarPlane(float farPlane)
{
    _farPlane = farPlane;
    projectionChanged();
}

void Camera::nodeMoved()
{
    _dirtyBits |= DIRTY_VIEW | DIRTY_INVERSE_VIEW | DIRTY_VIEW_PROJECTION | DIRTY_INVERSE_VIEW_PROJECTION;
}

void Camera::setNode(Node* node)
{
    _node = node;
    nodeMoved();
}

const Matrix& Camera::getViewMatrix() const
{
    if (_dirtyBits & DIRTY_VIEW) {
        _view = _node ? _node->getWorldMatrix().inverted() : Matrix();
        _dirtyBits &= ~DIRTY_VIEW;
    }
    return _view;
}

const Matrix& Camera::getInverseViewMatrix() const
{
    if (_dirtyBits & DIRTY_INVERSE_VIEW) {
        _inverseView = getViewMatrix().inverted();
        _dirtyBits &= ~DIRTY_INVERSE_VIEW;
    }
    return _inverseView;
}

const Matrix& Camera::getProjectionMatrix() const
{
    if ((_dirtyBits & DIRTY_PROJECTION) && !(_dirtyBits & PROJECTION_EXPLICIT)) {
        // An impossible setting (zero aspect ratio, equal planes, a field of
        // view at a multiple of 180 degrees) keeps the last good projection.
        if (_type == PERSPECTIVE)
            Matrix::createPerspective(degreesToRadians(_fieldOfView), _aspectRatio, _nearPlane, _farPlane, &_projection);
        else
            Matrix::createOrthographic(_zoom[0], _zoom[1], _nearPlane, _farPlane, &_projection);
        _dirtyBits &= ~DIRTY_PROJECTION;
    }
    return _projection;
}

void Camera::setProjectionMatrix(const Matrix& projection)
{
    _projection = projection;
    _dirtyBits |= PROJECTION_EXPLICIT | DIRTY_VIEW_PROJECTION | DIRTY_INVERSE_VIEW_PROJECTION;
    _dirtyBits &= ~DIRTY_PROJECTION;
}

void Camera::resetProjectionMatrix()
{
    _dirtyBits &= ~PROJECTION_EXPLICIT;
    projectionChanged();
}

const Matrix& Camera::getViewProjectionMatrix() const
{
    if (_dirtyBits & DIRTY_VIEW_PROJECTION) {
        _viewProjection = getProjectionMatrix() * getViewMatrix();
        _dirtyBits &= ~DIRTY_VIEW_PROJECTION;
    }
    return _viewProjection;
}

const Matrix& Camera::getInverseViewProjectionMatrix() const
{
    if (_dirtyBits & DIRTY_INVERSE_VIEW_PROJECTION) {
        _inverseViewProjection = getViewProjectionMatrix().inverted();
        _dirtyBits &= ~DIRTY_INVERSE_VIEW_PROJECTION;
    }
    return _inverseViewProjection;
}

} // namespace engine

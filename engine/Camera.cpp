#include "Camera.h"

#include "Node.h"
#include "Properties.h"
#include "math/MathUtil.h"

#include <cstring>

namespace engine {

Camera::Camera(Type type, float fieldOfView, float zoomX, float zoomY, float aspectRatio, float nearPlane,
               float farPlane)
    : m_type(type)
    , m_fieldOfView(fieldOfView)
    , m_zoom {zoomX, zoomY}
    , m_aspectRatio(aspectRatio)
    , m_nearPlane(nearPlane)
    , m_farPlane(farPlane)
    , m_dirtyBits(DIRTY_ALL)
    , m_node(nullptr)
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
    m_dirtyBits |= DIRTY_PROJECTION | DIRTY_VIEW_PROJECTION | DIRTY_INVERSE_VIEW_PROJECTION;
}

void Camera::setFieldOfView(float fieldOfView)
{
    m_fieldOfView = fieldOfView;
    projectionChanged();
}

void Camera::setAspectRatio(float aspectRatio)
{
    m_aspectRatio = aspectRatio;
    projectionChanged();
}

void Camera::setNearPlane(float nearPlane)
{
    m_nearPlane = nearPlane;
    projectionChanged();
}

void Camera::setFarPlane(float farPlane)
{
    m_farPlane = farPlane;
    projectionChanged();
}

void Camera::nodeMoved()
{
    m_dirtyBits |= DIRTY_VIEW | DIRTY_INVERSE_VIEW | DIRTY_VIEW_PROJECTION | DIRTY_INVERSE_VIEW_PROJECTION;
}

void Camera::setNode(Node* node)
{
    m_node = node;
    nodeMoved();
}

const Matrix& Camera::getViewMatrix() const
{
    if (m_dirtyBits & DIRTY_VIEW) {
        m_view = m_node ? m_node->getWorldMatrix().inverted() : Matrix();
        m_dirtyBits &= ~DIRTY_VIEW;
    }
    return m_view;
}

const Matrix& Camera::getInverseViewMatrix() const
{
    if (m_dirtyBits & DIRTY_INVERSE_VIEW) {
        m_inverseView = getViewMatrix().inverted();
        m_dirtyBits &= ~DIRTY_INVERSE_VIEW;
    }
    return m_inverseView;
}

const Matrix& Camera::getProjectionMatrix() const
{
    if (m_dirtyBits & DIRTY_PROJECTION) {
        // An impossible setting (zero aspect ratio, equal planes, a field of
        // view at a multiple of 180 degrees) keeps the last good projection.
        if (m_type == PERSPECTIVE)
            Matrix::createPerspective(degreesToRadians(m_fieldOfView), m_aspectRatio, m_nearPlane, m_farPlane,
                                      &m_projection);
        else
            Matrix::createOrthographic(m_zoom[0], m_zoom[1], m_nearPlane, m_farPlane, &m_projection);
        m_dirtyBits &= ~DIRTY_PROJECTION;
    }
    return m_projection;
}

const Matrix& Camera::getViewProjectionMatrix() const
{
    if (m_dirtyBits & DIRTY_VIEW_PROJECTION) {
        m_viewProjection = getProjectionMatrix() * getViewMatrix();
        m_dirtyBits &= ~DIRTY_VIEW_PROJECTION;
    }
    return m_viewProjection;
}

const Matrix& Camera::getInverseViewProjectionMatrix() const
{
    if (m_dirtyBits & DIRTY_INVERSE_VIEW_PROJECTION) {
        m_inverseViewProjection = getViewProjectionMatrix().inverted();
        m_dirtyBits &= ~DIRTY_INVERSE_VIEW_PROJECTION;
    }
    return m_inverseViewProjection;
}

} // namespace engine

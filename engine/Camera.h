#pragma once

#include "Ref.h"
#include "math/Matrix.h"

namespace engine {

class Node;
class Properties;

class Camera : public Ref {
public:
    enum Type { PERSPECTIVE = 1, ORTHOGRAPHIC = 2 };

    // Field of view in degrees (vertical).
    static Camera* createPerspective(float fieldOfView, float aspectRatio, float nearPlane, float farPlane);
    static Camera* createOrthographic(float zoomX, float zoomY, float aspectRatio, float nearPlane, float farPlane);
    // From a "camera" namespace; the viewport size gives the defaults of
    // "aspectRatio", "zoomX" and "zoomY". Null for an unknown "type".
    static Camera* create(Properties* properties, float viewportWidth, float viewportHeight);

    Type getCameraType() const { return m_type; }
    float getFieldOfView() const { return m_fieldOfView; }
    void setFieldOfView(float fieldOfView);
    float getZoomX() const { return m_zoom[0]; }
    float getZoomY() const { return m_zoom[1]; }
    float getAspectRatio() const { return m_aspectRatio; }
    void setAspectRatio(float aspectRatio);
    float getNearPlane() const { return m_nearPlane; }
    void setNearPlane(float nearPlane);
    float getFarPlane() const { return m_farPlane; }
    void setFarPlane(float farPlane);

    // Inverse of the node's world matrix; identity without a node.
    const Matrix& getViewMatrix() const;
    const Matrix& getInverseViewMatrix() const;
    const Matrix& getProjectionMatrix() const;
    const Matrix& getViewProjectionMatrix() const;
    const Matrix& getInverseViewProjectionMatrix() const;

    Node* getNode() const { return m_node; }

    // Called by the node when its world matrix changes.
    void nodeMoved();

private:
    enum DirtyBits {
        DIRTY_VIEW = 1,
        DIRTY_PROJECTION = 2,
        DIRTY_VIEW_PROJECTION = 4,
        DIRTY_INVERSE_VIEW = 8,
        DIRTY_INVERSE_VIEW_PROJECTION = 16,
        DIRTY_ALL
        = DIRTY_VIEW | DIRTY_PROJECTION | DIRTY_VIEW_PROJECTION | DIRTY_INVERSE_VIEW | DIRTY_INVERSE_VIEW_PROJECTION
    };

    Camera(Type type, float fieldOfView, float zoomX, float zoomY, float aspectRatio, float nearPlane, float farPlane);
    ~Camera() override;
    void projectionChanged();

    friend class Node;
    void setNode(Node* node);

    Type m_type;
    float m_fieldOfView;
    float m_zoom[2];
    float m_aspectRatio;
    float m_nearPlane;
    float m_farPlane;
    mutable Matrix m_view;
    mutable Matrix m_projection;
    mutable Matrix m_viewProjection;
    mutable Matrix m_inverseView;
    mutable Matrix m_inverseViewProjection;
    mutable int m_dirtyBits;
    Node* m_node;
};

} // namespace engine

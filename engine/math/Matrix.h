#pragma once

#include "Quaternion.h"
#include "Vector3.h"
#include "Vector4.h"

namespace engine {

// 4x4 matrix stored column-major: m[0..3] is the first column and the
// translation sits in m[12], m[13], m[14]. A * B applies B first.
class Matrix {
public:
    float m[16];

    Matrix(); // identity
    explicit Matrix(const float* values); // 16 values in storage order
    Matrix(float m11, float m12, float m13, float m14, float m21, float m22, float m23, float m24, float m31, float m32,
           float m33, float m34, float m41, float m42, float m43, float m44); // row by row, as written on paper

    static const Matrix& identity();
    static Matrix zero();

    static Matrix createTranslation(const Vector3& t);
    static Matrix createScale(const Vector3& s);
    static Matrix createRotation(const Quaternion& q);
    // Angle in radians, axis need not be normalised.
    static Matrix createRotation(const Vector3& axis, float angle);
    static Matrix createRotationX(float angle);
    static Matrix createRotationY(float angle);
    static Matrix createRotationZ(float angle);
    // OpenGL perspective projection, vertical field of view in radians.
    // Returns false and leaves dst unchanged when the parameters give no
    // finite matrix (half angle at a multiple of a right angle, zero aspect,
    // near == far).
    static bool createPerspective(float fieldOfView, float aspectRatio, float zNear, float zFar, Matrix* dst);
    // Orthographic projection of a width x height area centred on the origin.
    // Returns false and leaves dst unchanged for a zero width, height or depth.
    static bool createOrthographic(float width, float height, float zNear, float zFar, Matrix* dst);
    static bool createOrthographicOffCenter(float left, float right, float bottom, float top, float zNear, float zFar,
                                            Matrix* dst);

    bool isIdentity() const;
    float determinant() const;
    // Writes the inverse into dst and returns true; a singular matrix leaves
    // dst unchanged and returns false.
    bool invert(Matrix* dst) const;
    bool invert() { return invert(this); }
    Matrix inverted() const; // identity when singular
    Matrix transposed() const;

    // Splits into scale, rotation and translation (any pointer may be null).
    // Returns false when a scale axis is zero; then rotation is untouched.
    // A negative determinant is folded into a negative x scale.
    bool decompose(Vector3* scale, Quaternion* rotation, Vector3* translation) const;
    Vector3 getScale() const;
    Quaternion getRotation() const;
    Vector3 getTranslation() const { return Vector3(m[12], m[13], m[14]); }

    // Basis vectors of the transformed space (forward is -z).
    Vector3 getUpVector() const { return Vector3(m[4], m[5], m[6]); }
    Vector3 getDownVector() const { return -getUpVector(); }
    Vector3 getRightVector() const { return Vector3(m[0], m[1], m[2]); }
    Vector3 getLeftVector() const { return -getRightVector(); }
    Vector3 getForwardVector() const { return Vector3(-m[8], -m[9], -m[10]); }
    Vector3 getBackVector() const { return Vector3(m[8], m[9], m[10]); }

    Vector3 transformPoint(const Vector3& p) const; // w = 1, no divide
    Vector3 transformVector(const Vector3& v) const; // w = 0
    Vector4 transform(const Vector4& v) const;

    void translate(const Vector3& t) { *this = *this * createTranslation(t); }
    void rotate(const Quaternion& q) { *this = *this * createRotation(q); }
    void scale(const Vector3& s) { *this = *this * createScale(s); }

    Matrix operator*(const Matrix& b) const;
    Matrix& operator*=(const Matrix& b)
    {
        *this = *this * b;
        return *this;
    }
    bool operator==(const Matrix& b) const;
    bool operator!=(const Matrix& b) const { return !(*this == b); }
};

} // namespace engine

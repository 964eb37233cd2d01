#include "Matrix.h"

#include "MathUtil.h"

#include <cmath>
#include <cstring>

namespace engine {

namespace {

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Element at row r, column c (both 0-based) in column-major storage.
inline float at(const float* m, int r, int c) { return m[c * 4 + r]; }

} // namespace

Matrix::Matrix() { std::memcpy(m, kIdentity, sizeof(m)); }

Matrix::Matrix(const float* values) { std::memcpy(m, values, sizeof(m)); }

Matrix::Matrix(float m11, float m12, float m13, float m14, float m21, float m22, float m23, float m24, float m31,
               float m32, float m33, float m34, float m41, float m42, float m43, float m44)
{
    m[0] = m11;
    m[4] = m12;
    m[8] = m13;
    m[12] = m14;
    m[1] = m21;
    m[5] = m22;
    m[9] = m23;
    m[13] = m24;
    m[2] = m31;
    m[6] = m32;
    m[10] = m33;
    m[14] = m34;
    m[3] = m41;
    m[7] = m42;
    m[11] = m43;
    m[15] = m44;
}

const Matrix& Matrix::identity()
{
    static const Matrix kId;
    return kId;
}

Matrix Matrix::zero()
{
    Matrix r;
    std::memset(r.m, 0, sizeof(r.m));
    return r;
}

Matrix Matrix::createTranslation(const Vector3& t)
{
    Matrix r;
    r.m[12] = t.x;
    r.m[13] = t.y;
    r.m[14] = t.z;
    return r;
}

Matrix Matrix::createScale(const Vector3& s)
{
    Matrix r;
    r.m[0] = s.x;
    r.m[5] = s.y;
    r.m[10] = s.z;
    return r;
}

Matrix Matrix::createRotation(const Quaternion& q)
{
    const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
    const float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
    const float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
    Matrix r;
    r.m[0] = 1.0f - 2.0f * (yy + zz);
    r.m[1] = 2.0f * (xy + wz);
    r.m[2] = 2.0f * (xz - wy);
    r.m[4] = 2.0f * (xy - wz);
    r.m[5] = 1.0f - 2.0f * (xx + zz);
    r.m[6] = 2.0f * (yz + wx);
    r.m[8] = 2.0f * (xz + wy);
    r.m[9] = 2.0f * (yz - wx);
    r.m[10] = 1.0f - 2.0f * (xx + yy);
    return r;
}

Matrix Matrix::createRotation(const Vector3& axis, float angle)
{
    return createRotation(Quaternion::fromAxisAngle(axis, angle));
}

Matrix Matrix::createRotationX(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    Matrix r;
    r.m[5] = c;
    r.m[6] = s;
    r.m[9] = -s;
    r.m[10] = c;
    return r;
}

Matrix Matrix::createRotationY(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    Matrix r;
    r.m[0] = c;
    r.m[2] = -s;
    r.m[8] = s;
    r.m[10] = c;
    return r;
}

Matrix Matrix::createRotationZ(float angle)
{
    const float c = std::cos(angle), s = std::sin(angle);
    Matrix r;
    r.m[0] = c;
    r.m[1] = s;
    r.m[4] = -s;
    r.m[5] = c;
    return r;
}

namespace {

// A NaN or infinite setting (aspect ratio, planes) gives no projection: the
// caller keeps the last good one rather than drawing nothing ever after.
bool setIfFinite(const Matrix& r, Matrix* dst)
{
    for (float v : r.m) {
        if (!std::isfinite(v))
            return false;
    }
    *dst = r;
    return true;
}

} // namespace

bool Matrix::createPerspective(float fieldOfView, float aspectRatio, float zNear, float zFar, Matrix* dst)
{
    if (!dst)
        return false;
    const float half = fieldOfView * 0.5f;
    // tan() is undefined at odd multiples of a right angle and zero at even
    // ones; neither gives a usable projection.
    const float rem = std::fabs(std::fmod(half, kMathPiOver2));
    if (rem < kMathEpsilon || std::fabs(rem - kMathPiOver2) < kMathEpsilon)
        return false;
    if (aspectRatio == 0.0f || zNear == zFar || !std::isfinite(half))
        return false;

    const float f = 1.0f / std::tan(half);
    const float depth = 1.0f / (zNear - zFar);
    Matrix r = zero();
    r.m[0] = f / aspectRatio;
    r.m[5] = f;
    r.m[10] = (zFar + zNear) * depth;
    r.m[11] = -1.0f;
    r.m[14] = 2.0f * zFar * zNear * depth;
    return setIfFinite(r, dst);
}

bool Matrix::createOrthographic(float width, float height, float zNear, float zFar, Matrix* dst)
{
    const float hw = width * 0.5f, hh = height * 0.5f;
    return createOrthographicOffCenter(-hw, hw, -hh, hh, zNear, zFar, dst);
}

bool Matrix::createOrthographicOffCenter(float left, float right, float bottom, float top, float zNear, float zFar,
                                         Matrix* dst)
{
    if (!dst || left == right || bottom == top || zNear == zFar)
        return false;
    Matrix r;
    r.m[0] = 2.0f / (right - left);
    r.m[5] = 2.0f / (top - bottom);
    r.m[10] = 2.0f / (zNear - zFar);
    r.m[12] = (left + right) / (left - right);
    r.m[13] = (top + bottom) / (bottom - top);
    r.m[14] = (zNear + zFar) / (zNear - zFar);
    return setIfFinite(r, dst);
}

bool Matrix::isIdentity() const { return std::memcmp(m, kIdentity, sizeof(m)) == 0; }

float Matrix::determinant() const
{
    const float a0 = m[0] * m[5] - m[1] * m[4];
    const float a1 = m[0] * m[6] - m[2] * m[4];
    const float a2 = m[0] * m[7] - m[3] * m[4];
    const float a3 = m[1] * m[6] - m[2] * m[5];
    const float a4 = m[1] * m[7] - m[3] * m[5];
    const float a5 = m[2] * m[7] - m[3] * m[6];
    const float b0 = m[8] * m[13] - m[9] * m[12];
    const float b1 = m[8] * m[14] - m[10] * m[12];
    const float b2 = m[8] * m[15] - m[11] * m[12];
    const float b3 = m[9] * m[14] - m[10] * m[13];
    const float b4 = m[9] * m[15] - m[11] * m[13];
    const float b5 = m[10] * m[15] - m[11] * m[14];
    return a0 * b5 - a1 * b4 + a2 * b3 + a3 * b2 - a4 * b1 + a5 * b0;
}

bool Matrix::invert(Matrix* dst) const
{
    if (!dst)
        return false;
    const float a0 = m[0] * m[5] - m[1] * m[4];
    const float a1 = m[0] * m[6] - m[2] * m[4];
    const float a2 = m[0] * m[7] - m[3] * m[4];
    const float a3 = m[1] * m[6] - m[2] * m[5];
    const float a4 = m[1] * m[7] - m[3] * m[5];
    const float a5 = m[2] * m[7] - m[3] * m[6];
    const float b0 = m[8] * m[13] - m[9] * m[12];
    const float b1 = m[8] * m[14] - m[10] * m[12];
    const float b2 = m[8] * m[15] - m[11] * m[12];
    const float b3 = m[9] * m[14] - m[10] * m[13];
    const float b4 = m[9] * m[15] - m[11] * m[13];
    const float b5 = m[10] * m[15] - m[11] * m[14];
    const float det = a0 * b5 - a1 * b4 + a2 * b3 + a3 * b2 - a4 * b1 + a5 * b0;
    if (det == 0.0f || !std::isfinite(det))
        return false;

    Matrix inv;
    inv.m[0] = m[5] * b5 - m[6] * b4 + m[7] * b3;
    inv.m[1] = -m[1] * b5 + m[2] * b4 - m[3] * b3;
    inv.m[2] = m[13] * a5 - m[14] * a4 + m[15] * a3;
    inv.m[3] = -m[9] * a5 + m[10] * a4 - m[11] * a3;
    inv.m[4] = -m[4] * b5 + m[6] * b2 - m[7] * b1;
    inv.m[5] = m[0] * b5 - m[2] * b2 + m[3] * b1;
    inv.m[6] = -m[12] * a5 + m[14] * a2 - m[15] * a1;
    inv.m[7] = m[8] * a5 - m[10] * a2 + m[11] * a1;
    inv.m[8] = m[4] * b4 - m[5] * b2 + m[7] * b0;
    inv.m[9] = -m[0] * b4 + m[1] * b2 - m[3] * b0;
    inv.m[10] = m[12] * a4 - m[13] * a2 + m[15] * a0;
    inv.m[11] = -m[8] * a4 + m[9] * a2 - m[11] * a0;
    inv.m[12] = -m[4] * b3 + m[5] * b1 - m[6] * b0;
    inv.m[13] = m[0] * b3 - m[1] * b1 + m[2] * b0;
    inv.m[14] = -m[12] * a3 + m[13] * a1 - m[14] * a0;
    inv.m[15] = m[8] * a3 - m[9] * a1 + m[10] * a0;

    const float invDet = 1.0f / det;
    for (float& v : inv.m)
        v *= invDet;
    *dst = inv;
    return true;
}

Matrix Matrix::inverted() const
{
    Matrix r;
    if (!invert(&r))
        return Matrix();
    return r;
}

Matrix Matrix::transposed() const
{
    Matrix r;
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row)
            r.m[row * 4 + c] = m[c * 4 + row];
    return r;
}

bool Matrix::decompose(Vector3* scale, Quaternion* rotation, Vector3* translation) const
{
    if (translation)
        *translation = getTranslation();

    Vector3 xaxis(m[0], m[1], m[2]);
    Vector3 yaxis(m[4], m[5], m[6]);
    Vector3 zaxis(m[8], m[9], m[10]);
    float sx = xaxis.length();
    const float sy = yaxis.length();
    const float sz = zaxis.length();
    if (xaxis.cross(yaxis).dot(zaxis) < 0.0f) // mirrored: fold into x
        sx = -sx;
    if (scale)
        *scale = Vector3(sx, sy, sz);
    if (!rotation)
        return true;
    if (sx == 0.0f || sy == 0.0f || sz == 0.0f)
        return false;

    xaxis = xaxis / sx;
    yaxis = yaxis / sy;
    zaxis = zaxis / sz;
    // Rotation matrix elements r(row, col).
    const float r00 = xaxis.x, r10 = xaxis.y, r20 = xaxis.z;
    const float r01 = yaxis.x, r11 = yaxis.y, r21 = yaxis.z;
    const float r02 = zaxis.x, r12 = zaxis.y, r22 = zaxis.z;
    const float trace = r00 + r11 + r22;
    Quaternion q;
    if (trace > 0.0f) {
        const float s = 0.5f / std::sqrt(trace + 1.0f);
        q.w = 0.25f / s;
        q.x = (r21 - r12) * s;
        q.y = (r02 - r20) * s;
        q.z = (r10 - r01) * s;
    } else if (r00 > r11 && r00 > r22) {
        const float s = 2.0f * std::sqrt(1.0f + r00 - r11 - r22);
        q.w = (r21 - r12) / s;
        q.x = 0.25f * s;
        q.y = (r01 + r10) / s;
        q.z = (r02 + r20) / s;
    } else if (r11 > r22) {
        const float s = 2.0f * std::sqrt(1.0f + r11 - r00 - r22);
        q.w = (r02 - r20) / s;
        q.x = (r01 + r10) / s;
        q.y = 0.25f * s;
        q.z = (r12 + r21) / s;
    } else {
        const float s = 2.0f * std::sqrt(1.0f + r22 - r00 - r11);
        q.w = (r10 - r01) / s;
        q.x = (r02 + r20) / s;
        q.y = (r12 + r21) / s;
        q.z = 0.25f * s;
    }
    *rotation = q.normalize();
    return true;
}

Vector3 Matrix::getScale() const
{
    Vector3 s;
    decompose(&s, nullptr, nullptr);
    return s;
}

Quaternion Matrix::getRotation() const
{
    Quaternion q;
    decompose(nullptr, &q, nullptr);
    return q;
}

Vector3 Matrix::transformPoint(const Vector3& p) const
{
    return Vector3(m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                   m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]);
}

Vector3 Matrix::transformVector(const Vector3& v) const
{
    return Vector3(m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
                   m[2] * v.x + m[6] * v.y + m[10] * v.z);
}

Vector4 Matrix::transform(const Vector4& v) const
{
    return Vector4(
        m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12] * v.w, m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13] * v.w,
        m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14] * v.w, m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15] * v.w);
}

Matrix Matrix::operator*(const Matrix& b) const
{
    Matrix r;
    for (int c = 0; c < 4; ++c) {
        for (int row = 0; row < 4; ++row) {
            r.m[c * 4 + row] = at(m, row, 0) * at(b.m, 0, c) + at(m, row, 1) * at(b.m, 1, c)
                + at(m, row, 2) * at(b.m, 2, c) + at(m, row, 3) * at(b.m, 3, c);
        }
    }
    return r;
}

bool Matrix::operator==(const Matrix& b) const
{
    for (int i = 0; i < 16; ++i)
        if (m[i] != b.m[i])
            return false;
    return true;
}

} // namespace engine

// Helpers shared by the engine test programs, compiled once into
// engine_testsupport.
#pragma once

#include "math/Matrix.h"
#include "math/Quaternion.h"
#include "math/Vector3.h"

#include <QString>

#include <string>

namespace enginetest {

constexpr float kPi = 3.14159265358979f;

// Relative tolerance for large values, absolute near zero.
bool near(float a, float b, float eps = 1e-4f);
bool near(const engine::Vector3& a, const engine::Vector3& b, float eps = 1e-4f);
bool near(const engine::Matrix& a, const engine::Matrix& b, float eps = 1e-4f);

// q and -q are the same rotation.
bool sameRotation(const engine::Quaternion& a, const engine::Quaternion& b, float eps = 1e-4f);
engine::Quaternion zRotation(double degrees);

// Writes 'content' to 'path', making missing folders; the path, or "" when
// it cannot be written.
std::string writeFile(const std::string& path, const std::string& content);

// Makes one process-wide OpenGL context (with depth and stencil) current on
// an offscreen surface; false when the platform offers none. Lives apart from
// GLEW: Qt's OpenGL headers and glew.h cannot meet in one file.
bool makeGlContextCurrent();

// Gives up the creator's reference of an engine object at scope end.
template <typename T>
struct Owned {
    explicit Owned(T* p)
        : ptr(p)
    {
    }
    ~Owned()
    {
        if (ptr)
            ptr->release();
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    T* operator->() const { return ptr; }
    T* get() const { return ptr; }
    T* ptr;
};

// Switches LC_NUMERIC to a locale whose decimal point is ",", as a Qt
// application does for a German user, until destroyed. Takes an installed
// one, else builds a minimal one with localedef into 'folder'; 'active' is
// false when neither works (the caller skips).
class CommaLocale {
public:
    explicit CommaLocale(const QString& folder);
    ~CommaLocale();
    bool active = false;

private:
    bool use(const char* name);
    std::string m_previous;
};

} // namespace enginetest

// Small helpers shared by the engine test programs.
#pragma once

#include "math/Matrix.h"
#include "math/Quaternion.h"
#include "math/Vector3.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <string>

namespace enginetest {

const float kPi = 3.14159265358979f;

// Relative tolerance for large values, absolute near zero.
inline bool near(float a, float b, float eps = 1e-4f)
{
    return std::fabs(a - b) <= eps * std::max(1.0f, std::max(std::fabs(a), std::fabs(b)));
}

inline bool near(const engine::Vector3& a, const engine::Vector3& b, float eps = 1e-4f)
{
    return near(a.x, b.x, eps) && near(a.y, b.y, eps) && near(a.z, b.z, eps);
}

inline bool near(const engine::Matrix& a, const engine::Matrix& b, float eps = 1e-4f)
{
    for (int i = 0; i < 16; ++i)
        if (!near(a.m[i], b.m[i], eps))
            return false;
    return true;
}

// q and -q are the same rotation.
inline bool sameRotation(const engine::Quaternion& a, const engine::Quaternion& b, float eps = 1e-4f)
{
    return std::fabs(std::fabs(a.dot(b)) - 1.0f) <= eps;
}

inline engine::Quaternion zRotation(double degrees)
{
    return engine::Quaternion::fromAxisAngle(engine::Vector3(0, 0, 1), float(degrees * M_PI / 180.0));
}

// Writes 'content' to 'path', making missing folders; the path, or "" when
// it cannot be written.
inline std::string writeFile(const std::string& path, const std::string& content)
{
    const QString name = QString::fromStdString(path);
    QDir().mkpath(QFileInfo(name).path());
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return std::string();
    file.write(content.data(), qint64(content.size()));
    return path;
}

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
    explicit CommaLocale(const QString& folder)
    {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        m_previous = current ? current : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
            if (use(name))
                return;
        if (buildMinimal(folder))
            use("xx_COMMA");
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, m_previous.c_str()); }
    bool active = false;

private:
    bool use(const char* name)
    {
        active = std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',';
        if (!active)
            std::setlocale(LC_NUMERIC, m_previous.c_str());
        return active;
    }
    static bool buildMinimal(const QString& folder)
    {
        const QString source = folder + "/comma.src";
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write("LC_CTYPE\ncopy \"POSIX\"\nEND LC_CTYPE\n"
                   "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3;3\nEND LC_NUMERIC\n");
        file.close();
        // Warnings about the categories left out make localedef exit non-zero.
        QProcess localedef;
        localedef.start("localedef", {"-c", "-i", source, "-f", "ANSI_X3.4-1968", folder + "/xx_COMMA"});
        localedef.waitForFinished(-1);
        if (!QFileInfo::exists(folder + "/xx_COMMA/LC_NUMERIC"))
            return false;
        qputenv("LOCPATH", folder.toLocal8Bit());
        return true;
    }
    std::string m_previous;
};

} // namespace enginetest

#include "EngineTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QProcess>
#include <QSurfaceFormat>

#include <algorithm>
#include <clocale>
#include <cmath>

namespace enginetest {

bool near(float a, float b, float eps)
{
    return std::fabs(a - b) <= eps * std::max(1.0f, std::max(std::fabs(a), std::fabs(b)));
}

bool near(const engine::Vector3& a, const engine::Vector3& b, float eps)
{
    return near(a.x, b.x, eps) && near(a.y, b.y, eps) && near(a.z, b.z, eps);
}

bool near(const engine::Matrix& a, const engine::Matrix& b, float eps)
{
    for (int i = 0; i < 16; ++i) {
        if (!near(a.m[i], b.m[i], eps))
            return false;
    }
    return true;
}

bool sameRotation(const engine::Quaternion& a, const engine::Quaternion& b, float eps)
{
    return std::fabs(std::fabs(a.dot(b)) - 1.0f) <= eps;
}

engine::Quaternion zRotation(double degrees)
{
    return engine::Quaternion::fromAxisAngle(engine::Vector3(0, 0, 1), float(degrees * M_PI / 180.0));
}

std::string writeFile(const std::string& path, const std::string& content)
{
    const QString name = QString::fromStdString(path);
    QDir().mkpath(QFileInfo(name).path());
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return std::string();
    file.write(content.data(), qint64(content.size()));
    return path;
}

namespace {

QOffscreenSurface* s_surface = nullptr;
QOpenGLContext* s_context = nullptr;

// Before the application closes its display. A context left for the display
// to tear down may still have drawing queued, and then Mesa's software
// renderer waits for ever on its rasterizer threads as the process exits.
void finishAndDeleteGlContext()
{
    if (s_context && s_context->makeCurrent(s_surface))
        s_context->functions()->glFinish();
    delete s_context;
    s_context = nullptr;
    delete s_surface;
    s_surface = nullptr;
}

} // namespace

bool makeGlContextCurrent()
{
    if (!s_context) {
        QSurfaceFormat format;
        format.setRenderableType(QSurfaceFormat::OpenGL);
        format.setDepthBufferSize(24);
        format.setStencilBufferSize(8);
        s_surface = new QOffscreenSurface();
        s_surface->setFormat(format);
        s_surface->create();
        s_context = new QOpenGLContext();
        s_context->setFormat(format);
        if (!s_context->create())
            return false;
        qAddPostRoutine(finishAndDeleteGlContext);
    }
    return s_context->makeCurrent(s_surface);
}

namespace {

// A locale of only a decimal comma, for systems without any installed.
bool buildMinimalCommaLocale(const QString& folder)
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

} // namespace

CommaLocale::CommaLocale(const QString& folder)
{
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    m_previous = current ? current : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"}) {
        if (use(name))
            return;
    }
    if (buildMinimalCommaLocale(folder))
        use("xx_COMMA");
}

CommaLocale::~CommaLocale() { std::setlocale(LC_NUMERIC, m_previous.c_str()); }

bool CommaLocale::use(const char* name)
{
    active = std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',';
    if (!active)
        std::setlocale(LC_NUMERIC, m_previous.c_str());
    return active;
}

} // namespace enginetest

#include "SystemInfoWindowController.h"

#include "AppIdentity.h"
#include "OsInfoService.h"

#include <QGridLayout>
#include <QLabel>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

namespace {

QString glString(QOpenGLFunctions* functions, GLenum name)
{
    const GLubyte* text = functions->glGetString(name);
    return text ? QString::fromLatin1(reinterpret_cast<const char*>(text)).trimmed() : QString();
}

QLabel* addRow(QGridLayout* layout, int row, const QString& text, const char* objectName)
{
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(objectName));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label, row, 0);
    return label;
}

} // namespace

SystemInfoWindowController::SystemInfoWindowController(QWidget* mainWindow, QObject* parent)
    : ToolWindowController(mainWindow, parent)
{
}

QString SystemInfoWindowController::openGLDescription()
{
    QOpenGLContext context;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.create() || !context.makeCurrent(&surface))
        return tr("not available");
    QOpenGLFunctions* functions = context.functions();
    const QString version = glString(functions, GL_VERSION);
    const QString renderer = glString(functions, GL_RENDERER);
    context.doneCurrent();
    if (version.isEmpty())
        return tr("not available");
    return renderer.isEmpty() ? version : version + QStringLiteral(", ") + renderer;
}

void SystemInfoWindowController::showSystemInfoWindow() { showWindow()->raise(); }

QWidget* SystemInfoWindowController::createWindow()
{
    auto* window = new QWidget();
    window->setObjectName(QStringLiteral("systemInfoWindow"));
    window->resize(450, 50);
    window->setWindowTitle(tr("System Info"));
    auto* layout = new QGridLayout(window);
    addRow(layout, 0,
           tr("Velmora 3D Encoder")
               + QStringLiteral(" %1 %2").arg(QLatin1String(AppIdentity::kApplicationVersion),
                                              QLatin1String(AppIdentity::kBuildLabel)),
           "versionLabel");
    addRow(layout, 1, tr("Operating System:") + QStringLiteral(" %1").arg(OsInfoService::platformVersionText()),
           "osLabel");
    addRow(layout, 2, tr("OpenGL Version:") + QStringLiteral(" %1").arg(openGLDescription()), "openGLLabel");
    return window;
}

#include "AppIdentity.h"
#include "BuildConfig.h"
#include "CommandLineConverter.h"
#include "HeadlessPreview.h"
#include "MainWindow.h"
#include "MainWindowController.h"
#include "UpdateChecker.h"
#include "WEApplication.h"
#include "WorkspaceService.h"

#include <QSurfaceFormat>
#include <QTimer>
#include <QTranslator>

int main(int argc, char** argv)
{
    // Console mode (--info, --convert, --help, --version) needs no display: decide
    // before anything of the window exists. A plain file argument still opens
    // the window.
    if (CommandLineConverter::wantsConsoleMode(argc, argv))
        return CommandLineConverter::run(argc, argv, &HeadlessPreview::write);

    QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL, true);
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSamples(4);
    QSurfaceFormat::setDefaultFormat(format);

    WEApplication application(argc, argv);
    QCoreApplication::setApplicationName(QLatin1String(AppIdentity::applicationName));
    QCoreApplication::setApplicationVersion(QLatin1String(AppIdentity::applicationVersion));
    QCoreApplication::setOrganizationName(QLatin1String(AppIdentity::organizationName));
    QCoreApplication::setOrganizationDomain(QStringLiteral(VELMORA_ORGANIZATION_DOMAIN));

    if (UpdateChecker* updates = UpdateChecker::instance()) {
        updates->setFeedURL(UpdateChecker::configuredFeedUrl());
        updates->CheckForUpdatesSilent();
    }

    // A translation that fails to load leaves the source texts on screen.
    QTranslator translator;
    translator.load(QStringLiteral(":/velmora3dencoder_en"));
    application.installTranslator(&translator);

    // Before this run creates a workspace of its own.
    if (WorkspaceService* workspaces = WorkspaceService::instance())
        workspaces->cleanPendingWorkspaces();

    int exitCode = 0;
    {
        MainWindowController controller(&application);
        controller.mainWindow()->show();
        controller.mainWindow()->resize(AppIdentity::initialWindowWidth, AppIdentity::initialWindowHeight);

        // Both run once the event loop starts, in this order: the start is
        // recorded before any model begins to load.
        QTimer::singleShot(0, &controller, &MainWindowController::trackAppStart);
        QTimer::singleShot(0, &controller, &MainWindowController::loadModelFromArgs);

        exitCode = application.exec();
    }
    application.removeTranslator(&translator);
    return exitCode;
}

#include "AppIdentity.h"
#include "BuildConfig.h"
#include "CommandLineConverter.h"
#include "ConsoleStop.h"
#include "HeadlessPreview.h"
#include "MainWindowController.h"
#include "UpdateChecker.h"
#include "WEApplication.h"
#include "WorkspaceService.h"

#include <QTranslator>

namespace {

QString writePreviews(const QString& applicationParentFolder, const QString& modelFolder, const QString& metaFolder)
{
    // A stop while the previews are drawn ends them early; the converter
    // then leaves the target as it was.
    return HeadlessPreview::write(ViewerFolders {applicationParentFolder, modelFolder, metaFolder},
                                  ConsoleStop::flag());
}

} // namespace

int main(int argc, char** argv)
{
    // Console mode (--info, --convert, --help, --version) needs no display: decide
    // before anything of the window exists. A plain file argument still opens
    // the window.
    if (CommandLineConverter::wantsConsoleMode(argc, argv))
        return CommandLineConverter::run(argc, argv, &writePreviews);

    // The viewport multisamples its own frame buffer (GlItem). The window
    // around it, which composes that buffer with the other widgets, keeps
    // the default single sample: four would cost every repaint of the
    // window four times the fill and smooth no edge of the model.
    QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL, true);

    WEApplication application(argc, argv);
    QCoreApplication::setApplicationName(QLatin1String(AppIdentity::kApplicationName));
    QCoreApplication::setApplicationVersion(QLatin1String(AppIdentity::kApplicationVersion));
    QCoreApplication::setOrganizationName(QLatin1String(AppIdentity::kOrganizationName));
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
    WorkspaceService workspaces;
    workspaces.cleanPendingWorkspaces();

    int exitCode = 0;
    {
        // A model file to convert starts converting before the window is
        // built: the encoder runs while the window and its OpenGL context are
        // made.
        MainWindowController controller(&application, workspaces,
                                        MainWindowController::modelPathFromArguments(QCoreApplication::arguments()));
        controller.showAtStart();

        exitCode = application.exec();
    }
    application.removeTranslator(&translator);
    return exitCode;
}

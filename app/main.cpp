#include "AppIdentity.h"
#include "BuildConfig.h"
#include "CommandLineConverter.h"
#include "MainWindowController.h"
#include "WEApplication.h"
#include "WorkspaceService.h"

#include <QLoggingCategory>
#include <QTranslator>

#include <cstring>

namespace {

// Takes "--verbose" (before any "--") out of the arguments, so that it is
// never mistaken for the model to open; true when it was there.
bool takeVerboseOption(int& argc, char** argv)
{
    bool verbose = false;
    bool optionsEnded = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (!optionsEnded && std::strcmp(argv[i], "--verbose") == 0) {
            verbose = true;
            continue;
        }
        optionsEnded = optionsEnded || std::strcmp(argv[i], "--") == 0;
        argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return verbose;
}

} // namespace

int main(int argc, char** argv)
{
    // Console mode (--info, --convert, --help, --version) needs no display: decide
    // before anything of the window exists. A plain file argument still opens
    // the window.
    if (CommandLineConverter::wantsConsoleMode(argc, argv))
        return CommandLineConverter::run(argc, argv);

    // The viewport multisamples its own frame buffer (GlItem). The window
    // around it, which composes that buffer with the other widgets, keeps
    // the default single sample: four would cost every repaint of the
    // window four times the fill and smooth no edge of the model.
    QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL, true);

    // The window tells the user through its log, dialogs and status bar; the
    // debug lines of its parts reach standard error only with --verbose
    // (QT_LOGGING_RULES, read after these rules, can still ask for them).
    if (!takeVerboseOption(argc, argv))
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));

    WEApplication application(argc, argv);
    QCoreApplication::setApplicationName(QLatin1String(AppIdentity::kApplicationName));
    QCoreApplication::setApplicationVersion(QLatin1String(AppIdentity::kApplicationVersion));
    QCoreApplication::setOrganizationName(QLatin1String(AppIdentity::kOrganizationName));
    QCoreApplication::setOrganizationDomain(QStringLiteral(VELMORA_ORGANIZATION_DOMAIN));

    application.checkForUpdatesSilently();

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
        MainWindowController controller(&application, application.services(), workspaces,
                                        MainWindowController::modelPathFromArguments(QCoreApplication::arguments()));
        controller.showAtStart();

        exitCode = application.exec();
    }
    application.removeTranslator(&translator);
    return exitCode;
}

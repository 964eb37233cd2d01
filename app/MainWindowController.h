#pragma once

#include "MainViewController.h"

#include "AppServices.h"
#include "EncoderOutputLog.h"
#include "OpenReason.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class AboutWindowController;
class ConvertFilesDialog;
class LoadingIndicatorViewController;
class LoggingManager;
class LoggingViewController;
class MainViewController;
class MainWindow;
class MenuManager;
class ModelManager;
class PreferencesWindowController;
class SourceWatcher;
class SystemInfoWindowController;
class UserDialogController;
class WEApplication;
class WorkspaceService;
struct LoadedModel;

namespace engine {
class Scene;
}

// The composition root of the user interface: creates the main window and
// every controller, connects them, and follows the life of a model (opening,
// loaded, failed, exported) with title, export switch, loading indicator,
// status bar and usage tracking.
class MainWindowController : public QObject {
    Q_OBJECT
public:
    // The application may be null (tests); then its signals are not wired.
    // The services and the workspaces of `workspaces`, into which models are
    // converted, outlive the controller. A model file to convert starts converting before the window is built,
    // unless it is a container (unpacked at once, so it waits for the
    // window) or cannot be opened (which the window reports); see
    // startedConversion.
    MainWindowController(WEApplication* application, const AppServices& services, WorkspaceService& workspaces,
                         const QString& modelToConvert = QString());
    ~MainWindowController() override;

    MainWindow* mainWindow() const { return m_mainWindow.get(); }
    WorkspaceService& workspaces() const { return m_workspaces; }
    // The model given at construction is converting; its result arrives
    // once the event loop runs.
    bool startedConversion() const { return !m_convertingAtStart.isEmpty(); }
    // Shows the window at the start of the program and records the start;
    // the views learn of a model converting since construction, or the model
    // the command line names opens once the event loop runs. Either way the
    // start is recorded before any model begins to load.
    void showAtStart();

    void setSceneStatistics(quint32 vertexCount, quint32 meshCount);
    // The viewer's own load checks join the encoder's records in the log.
    void forwardViewerLogs(const EncoderOutputLogs& logs);

    // The model named by a command line: the last argument after the program
    // name; empty without one.
    static QString modelPathFromArguments(const QStringList& arguments);
    // Why the path cannot be opened (missing, a folder, an unsupported type);
    // empty when it can.
    static QString unopenableReason(const QString& path);
    // Opens the model the command line names, or says why it cannot.
    void openCommandLineModel(const QStringList& arguments);
    // The file type reported to the usage tracker: "fbx", "vm3", or the last
    // three characters of the path.
    static QString fileTypeLabel(const QString& path);

public slots:
    void trackAppStart();
    void loadModelFromArgs();
    // The one way a model is opened, whatever asked for it: the workspace is
    // named after the file and the file imported into it. A reload keeps the
    // view as it is; any other open clears it first.
    void openModel(const QString& path, OpenReason reason);
    // The first step of an open that is not a reload.
    void modelWillLoad(const QString& path);
    void modelImportStarted(const QString& path);
    void newModelLoaded(const QString& path);
    void errorLoadingNewModel(QString message);
    void modelExportStarted(const QString& sourceFolder, const QString& outFilePath);
    void modelExported(const QString& exportedFileName);
    void modelExportFailed(const QString& fileName, const QString& errorText);
    void newFramerateAvailable(int framerate);
    void sceneImportSuccessful(engine::Scene* scene, unsigned int vertexCount, unsigned int meshCount);
    void sceneImportFailed(const QString& optionalMessage);

private slots:
    void mainWindowWillClose();
    void stopLoadingIndicator();
    void trackUsageEvent(const QString& category, const QString& action, const QString& label);
    void reopenModel();
    void exportModel(const QString& sourceFolder, const QString& outFilePath);
    void importRefused(const QString& text);
    void versionRefused(const QString& text);
    void viewportFailedToLoad(const QString& message);

private:
    LoggingManager* loggingManager() const;
    void showLoadedModel(const LoadedModel& model);
    void followSource(const QString& path);
    void applyImportOptions();
    void reloadChangedSource(const QString& path);
    void reportReloaded();
    void reportFailedReload(const QString& reason);
    void showConvertFilesDialog();
    void setExportEnabled(bool enabled);
    void reportFailedOpen(const QString& reason);
    void showLog();
    void hideLog();
    void makeConnections(WEApplication* application);
    bool startConversion(const QString& path);

    // A top-level widget has no QObject parent to go with. It goes before
    // the controllers, which are children of this object: the views die
    // while everything they call on is still there, and the viewport frees
    // its engine objects with its own GL context current.
    std::unique_ptr<MainWindow> m_mainWindow;
    const AppServices m_services;
    WorkspaceService& m_workspaces;
    ModelManager* m_modelManager = nullptr;
    MenuManager* m_menuManager = nullptr;
    SourceWatcher* m_sourceWatcher = nullptr;
    ConvertFilesDialog* m_convertFilesDialog = nullptr; // made on first use, child of the main window
    QString m_loadedPath; // the model on screen, empty when none
    QString m_convertingAtStart; // the model given at construction, while it converts
    bool m_reloading = false; // the running import is a reload of m_loadedPath
    bool m_reloadFailed = false; // its failure is being reported without a box
    bool m_restoreViewState = false; // the reloaded model shows as the last one did
    MainViewController::ViewState m_viewState;
    MainViewController* m_mainViewController = nullptr;
    LoadingIndicatorViewController* m_loadingIndicator = nullptr;
    AboutWindowController* m_aboutWindowController = nullptr;
    PreferencesWindowController* m_preferencesWindowController = nullptr;
    SystemInfoWindowController* m_systemInfoWindowController = nullptr;
    UserDialogController* m_userDialogController = nullptr;
    LoggingViewController* m_loggingViewController = nullptr;

    // The file being opened; remembered in Open Recent once it is drawn.
    QString m_loadingPath;
    // Full 64-bit size: models beyond 4 GiB must not show a wrapped size.
    quint64 m_fileSize = 0;
};

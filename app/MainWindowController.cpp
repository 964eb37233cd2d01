#include "MainWindowController.h"

#include "AboutWindowController.h"
#include "AnalyticsTracker.h"
#include "AppIdentity.h"
#include "ConvertFilesDialog.h"
#include "GlItem.h"
#include "LoadingIndicatorViewController.h"
#include "LoggingManager.h"
#include "LoggingViewController.h"
#include "MainViewController.h"
#include "MainWindow.h"
#include "MenuManager.h"
#include "ModelFileTypes.h"
#include "ModelManager.h"
#include "PreferencesWindowController.h"
#include "SceneGraph.h"
#include "SourceWatcher.h"
#include "StatusBarController.h"
#include "SystemInfoWindowController.h"
#include "ToolBarController.h"
#include "UserDialogController.h"
#include "UserSettings.h"
#include "WEApplication.h"
#include "WorkspaceService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThreadPool>
#include <QTime>
#include <QTimer>

namespace {
const int kExportMessageDelayMs = 100;
}

MainWindowController::MainWindowController(WEApplication* application, const AppServices& services,
                                           WorkspaceService& workspaces, const QString& modelToConvert)
    : QObject(nullptr)
    , m_services(services)
    , m_workspaces(workspaces)
{
    m_modelManager = new ModelManager(workspaces, this);
    // Building the window takes a while; the encoder need not wait for it.
    if (startConversion(modelToConvert))
        m_convertingAtStart = modelToConvert;
    m_mainWindow = std::make_unique<MainWindow>();
    MainWindow* window = m_mainWindow.get();
    m_menuManager = new MenuManager(this, services.settings);
    m_mainViewController
        = new MainViewController(this, PreferencesWindowController::storedBackgroundColor(services.settings));
    m_loggingViewController = new LoggingViewController(window, this);
    m_loadingIndicator = new LoadingIndicatorViewController(window, this);
    m_aboutWindowController = new AboutWindowController(window, this);
    m_preferencesWindowController = new PreferencesWindowController(services.settings, window, this);
    m_systemInfoWindowController = new SystemInfoWindowController(window, this);
    m_userDialogController = new UserDialogController(services.tracker, window, this);
    m_sourceWatcher = new SourceWatcher(this);

    // Nothing can be exported before a model has loaded.
    setExportEnabled(false);
    makeConnections(application);
}

MainWindowController::~MainWindowController()
{
    // A running import may already have recreated the workspace the closing
    // window deleted. Its encoder is stopped rather than waited for; once the
    // pool has ended, nothing writes there any more: delete it for good.
    m_modelManager->cancelImport();
    QThreadPool::globalInstance()->waitForDone();
    m_workspaces.deleteCurrentWorkspace();
}

void MainWindowController::makeConnections(WEApplication* application)
{
    ToolBarController* toolBar = m_mainWindow->toolBarController();
    GlItem* viewport = m_mainViewController->viewport();

    connect(m_modelManager, &ModelManager::signalVersionError, this, &MainWindowController::versionRefused);
    connect(m_menuManager, &MenuManager::open3dModel, this, &MainWindowController::openModel);
    connect(m_menuManager, &MenuManager::reopen3dModel, this, &MainWindowController::reopenModel);
    connect(m_menuManager, &MenuManager::exportToFile, this, &MainWindowController::exportModel);
    connect(m_menuManager, &MenuManager::exportToDirectoryNotAllowed, m_userDialogController,
            &UserDialogController::showExportToDirectoryNotAllowedDialog);
    connect(toolBar, &ToolBarController::openFileSignal, m_menuManager, &MenuManager::openMenuClicked);
    connect(toolBar, &ToolBarController::exportFileSignal, m_menuManager, &MenuManager::exportMenuClicked);
    connect(m_menuManager, &MenuManager::showLoggingWindow, m_loggingViewController,
            &LoggingViewController::showLoggingWindow);
    connect(m_loggingViewController, &LoggingViewController::userDidChangedLoggingWindowVisibility, m_menuManager,
            &MenuManager::userDidChangedLoggingWindowVisibility);
    connect(m_menuManager, &MenuManager::copyAllModelNodes, m_mainViewController,
            &MainViewController::copyAllNodesToClipboard);
    connect(m_modelManager, &ModelManager::modelReady, this, &MainWindowController::showLoadedModel);
    connect(m_modelManager, &ModelManager::importStarted, this, &MainWindowController::modelImportStarted);
    connect(m_modelManager, &ModelManager::newModelLoaded, this, &MainWindowController::newModelLoaded);
    connect(m_modelManager, &ModelManager::modelExported, this, &MainWindowController::modelExported);
    connect(m_modelManager, &ModelManager::errorLoadingModel, this, &MainWindowController::errorLoadingNewModel);
    connect(m_modelManager, &ModelManager::importRecordsReady, loggingManager(),
            &LoggingManager::outputParserDidGenerateOutputMessages);
    connect(m_loggingViewController, &LoggingViewController::loggingWindowVisibilityWillChange, this,
            &MainWindowController::stopLoadingIndicator);
    connect(toolBar, &ToolBarController::resetCameraSignal, viewport, &GlItem::resetCamera);
    connect(viewport, &GlItem::loadModelFromDropEvent, this,
            [this](const QString& path) { openModel(path, OpenReason::Drop); });
    connect(viewport, &GlItem::usageEvent, this, &MainWindowController::trackUsageEvent);
    AnalyticsTracker& tracker = m_services.tracker;
    loggingManager()->setTrackEventSink([&tracker](const QString& category, const QString& action, const QString& label,
                                                   int value) { tracker.trackEvent(category, action, label, value); });
    connect(viewport, &GlItem::newFramerateAvailable, this, &MainWindowController::newFramerateAvailable);

    // Failures the user must hear of: a container that cannot be unpacked,
    // and an export that did not produce its file.
    connect(m_modelManager, &ModelManager::signalImportError, this, &MainWindowController::importRefused);
    connect(m_userDialogController, &UserDialogController::logRequested, this, &MainWindowController::showLog);
    connect(m_modelManager, &ModelManager::modelExportFailed, this, &MainWindowController::modelExportFailed);
    connect(m_modelManager, &ModelManager::modelExportFailed, m_userDialogController,
            &UserDialogController::showExportFailedDialog);

    connect(m_menuManager, &MenuManager::showAboutWindow, m_aboutWindowController,
            &AboutWindowController::showAboutWindow);
    connect(m_menuManager, &MenuManager::showPreferencesWindow, m_preferencesWindowController,
            &PreferencesWindowController::showPreferencesWindow);
    connect(m_menuManager, &MenuManager::showSystemInfoWindow, m_systemInfoWindowController,
            &SystemInfoWindowController::showSystemInfoWindow);
    connect(m_preferencesWindowController, &PreferencesWindowController::backgroundColorPreviewed, m_mainViewController,
            &MainViewController::previewBackgroundColor);

    connect(m_mainWindow.get(), &MainWindow::windowWillClose, this, &MainWindowController::mainWindowWillClose);
    connect(m_sourceWatcher, &SourceWatcher::sourceChanged, this,
            [this](const QString& path) { openModel(path, OpenReason::Reload); });
    connect(m_menuManager, &MenuManager::convertFilesRequested, this, &MainWindowController::showConvertFilesDialog);
    connect(m_menuManager, &MenuManager::reloadWhenChangedToggled, this,
            [this](bool reload) { followSource(reload ? m_loadedPath : QString()); });

    if (application) {
        connect(application, &WEApplication::openModelFromAppEvent, this,
                [this](const QString& path) { openModel(path, OpenReason::SystemEvent); });
        connect(m_menuManager, &MenuManager::startAppUpdateCheck, application,
                &WEApplication::checkForAvailableAppUpdates);
        connect(application, &WEApplication::quitRequested, m_menuManager, &MenuManager::quitMenuClicked);
    }
}

void MainWindowController::setExportEnabled(bool enabled)
{
    m_mainWindow->toolBarController()->setExportEnabled(enabled);
    m_menuManager->setExportEnabled(enabled);
}

LoggingManager* MainWindowController::loggingManager() const { return m_loggingViewController->loggingManager(); }

void MainWindowController::forwardViewerLogs(const EncoderOutputLogs& logs)
{
    m_loggingViewController->addLoggingMessages(logs);
}

void MainWindowController::stopLoadingIndicator() { m_loadingIndicator->stop(0); }

void MainWindowController::setSceneStatistics(quint32 vertexCount, quint32 meshCount)
{
    m_mainWindow->statusBarController()->setModelStatistics(vertexCount, meshCount, m_fileSize);
}

QString MainWindowController::modelPathFromArguments(const QStringList& arguments)
{
    return arguments.size() < 2 ? QString() : arguments.last();
}

QString MainWindowController::unopenableReason(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return tr("The file %1 does not exist.").arg(QDir::toNativeSeparators(path));
    if (!info.isFile())
        return tr("%1 is a folder, not a model file.").arg(QDir::toNativeSeparators(path));
    if (!WEApplication::isSupportedModelFile(path))
        return tr("Files of the type of %1 cannot be opened. Supported are: %2.")
            .arg(QDir::toNativeSeparators(path), ModelFileTypes::suffixes().join(QStringLiteral(", ")));
    return QString();
}

QString MainWindowController::fileTypeLabel(const QString& path)
{
    const QString upper = path.toUpper();
    if (upper.endsWith(QLatin1String(".FBX")))
        return QStringLiteral("fbx");
    if (upper.endsWith(QLatin1String(".VM3")))
        return QStringLiteral("vm3");
    return path.right(3);
}

void MainWindowController::trackAppStart()
{
    AnalyticsTracker& tracker = m_services.tracker;
    tracker.pageView(QStringLiteral("AppStart"));
    tracker.trackEvent(QStringLiteral("usage"), QStringLiteral("app_starts"), QStringLiteral("default"), 1);
    tracker.trackEvent(QStringLiteral("usage"), QStringLiteral("version"),
                       QLatin1String(AppIdentity::kApplicationVersion) + QLatin1String(AppIdentity::kBuildLabel), 1);
    tracker.startSending();
}

void MainWindowController::showAtStart()
{
    if (startedConversion()) {
        trackAppStart();
        modelWillLoad(m_convertingAtStart);
    }
    // Sized before it shows: resized after, it would draw its first frame twice.
    if (!m_mainWindow->restoreSavedGeometry())
        m_mainWindow->resize(AppIdentity::kInitialWindowWidth, AppIdentity::kInitialWindowHeight);
    m_mainWindow->show();
    if (!startedConversion()) {
        QTimer::singleShot(0, this, &MainWindowController::trackAppStart);
        QTimer::singleShot(0, this, &MainWindowController::loadModelFromArgs);
    }
}

void MainWindowController::loadModelFromArgs() { openCommandLineModel(QCoreApplication::arguments()); }

void MainWindowController::openCommandLineModel(const QStringList& arguments)
{
    const QString path = modelPathFromArguments(arguments);
    if (!path.isEmpty())
        openModel(path, OpenReason::CommandLine);
}

// The workspace is named after the file's digest, which the model manager
// takes off the main thread before it imports.
void MainWindowController::openModel(const QString& path, OpenReason reason)
{
    if (reason == OpenReason::Reload) {
        reloadChangedSource(path);
        return;
    }
    const QString unopenable = unopenableReason(path);
    if (!unopenable.isEmpty()) {
        reportFailedOpen(unopenable);
        return;
    }
    modelWillLoad(path);
    m_modelManager->openModel(path);
}

void MainWindowController::applyImportOptions()
{
    m_modelManager->setImportOptions(m_services.settings.importOptions());
}

void MainWindowController::exportModel(const QString& sourceFolder, const QString& outFilePath)
{
    modelExportStarted(sourceFolder, outFilePath);
    m_modelManager->exportModel(sourceFolder, outFilePath);
}

// A container that cannot be unpacked. A reload that failed says so in the
// status bar and the log; a box on every save of a half-finished model would
// be in the way.
void MainWindowController::importRefused(const QString& text)
{
    sceneImportFailed(text);
    if (!m_reloadFailed)
        reportFailedOpen(text);
    m_reloadFailed = false;
}

void MainWindowController::versionRefused(const QString& text)
{
    sceneImportFailed(text);
    hideLog();
    m_userDialogController->showVersionErrorDialog(text);
}

bool MainWindowController::startConversion(const QString& path)
{
    if (!unopenableReason(path).isEmpty() || ModelFileTypes::isContainerFile(path))
        return false;
    applyImportOptions();
    m_modelManager->openModel(path);
    return true;
}

void MainWindowController::trackUsageEvent(const QString& category, const QString& action, const QString& label)
{
    m_services.tracker.trackEvent(category, action, label, 1);
}

// The options may have changed since the model was opened: the menu asks
// for a reopen precisely when they did.
void MainWindowController::reopenModel()
{
    applyImportOptions();
    m_modelManager->reimportModel();
}

// The scene graph is made here, where the model is shown: the pipeline only
// says where the model lies.
void MainWindowController::showLoadedModel(const LoadedModel& model)
{
    auto* sceneGraph = new SceneGraph(model.modelPath, model.version, model.format);
    const LoadResult loaded = m_mainViewController->newSceneGraphIsReadyToDisplay(
        sceneGraph,
        m_reloading ? MainViewController::OnRefusal::KeepShownModel : MainViewController::OnRefusal::ShowNothing);
    switch (loaded.outcome) {
    case LoadResult::Outcome::Shown:
        sceneImportSuccessful(loaded.scene, loaded.vertexCount, loaded.meshCount);
        break;
    case LoadResult::Outcome::Failed:
        viewportFailedToLoad(GlItem::importFailureMessage(loaded.failure, &model.records));
        break;
    case LoadResult::Outcome::Refused:
        // The viewer's records in the log say why; it kept the last good model.
        if (m_reloading)
            reportFailedReload(QString());
        break;
    case LoadResult::Outcome::NotDrawn:
        if (m_reloading)
            reportReloaded();
        break;
    }
}

void MainWindowController::modelWillLoad(const QString& path)
{
    m_reloading = false;
    m_reloadFailed = false;
    m_restoreViewState = false;
    m_sourceWatcher->stop();
    trackUsageEvent(QStringLiteral("model"), QStringLiteral("open_ext"), fileTypeLabel(path));
    applyImportOptions();
    m_loadingPath = path;
    // The model shown stays until the new one replaces it: a file that
    // cannot be opened must not take it off the screen.
    m_mainViewController->viewport()->keepCameraOnNextLoad(false);
    m_loggingViewController->clear();
    m_loadingIndicator->start(tr("Opening file: ") + QFileInfo(path).fileName(), 0);
}

// The workspace export would read is being replaced: nothing can be exported
// until the new model has loaded.
void MainWindowController::modelImportStarted(const QString& path)
{
    Q_UNUSED(path);
    m_reloadFailed = false;
    setExportEnabled(false);
}

void MainWindowController::newModelLoaded(const QString& path)
{
    // A reload is done once the viewer has shown the model, or failed to.
    m_loadedPath = path;
    followSource(m_services.settings.reloadWhenChanged() ? path : QString());
    m_mainWindow->setTitleFileName(QFileInfo(path).fileName());
    m_menuManager->setExportName(path);
    m_fileSize = quint64(qMax<qint64>(0, QFileInfo(path).size()));
    setExportEnabled(true);
    m_loadingIndicator->stop(0);
}

void MainWindowController::errorLoadingNewModel(QString message)
{
    if (m_reloading) {
        // The encoder's records in the log say why.
        m_reloadFailed = true;
        reportFailedReload(QString());
        return;
    }
    // The last model stays on screen, and is followed again.
    sceneImportFailed(message);
    followSource(m_services.settings.reloadWhenChanged() ? m_loadedPath : QString());
    m_loadingIndicator->stop(0);
}

void MainWindowController::modelExportStarted(const QString& sourceFolder, const QString& outFilePath)
{
    Q_UNUSED(sourceFolder);
    m_mainWindow->statusBarController()->showProgress(tr("Exporting 3D model to: ") + QFileInfo(outFilePath).fileName(),
                                                      0, 0, 0);
}

void MainWindowController::modelExported(const QString& exportedFileName)
{
    trackUsageEvent(QStringLiteral("model"), QStringLiteral("export"), QStringLiteral("vm3"));
    StatusBarController* statusBar = m_mainWindow->statusBarController();
    statusBar->stopProgressAfter(0);
    statusBar->showDelayedMessage(tr("Exported to: ") + QFileInfo(exportedFileName).fileName(), kExportMessageDelayMs);
}

void MainWindowController::modelExportFailed(const QString& fileName, const QString& errorText)
{
    Q_UNUSED(errorText); // shown by the user dialog controller
    StatusBarController* statusBar = m_mainWindow->statusBarController();
    statusBar->stopProgressAfter(0);
    statusBar->showDelayedMessage(tr("Export failed: ") + QFileInfo(fileName).fileName(), kExportMessageDelayMs);
}

void MainWindowController::newFramerateAvailable(int framerate)
{
    m_mainWindow->statusBarController()->setFramerate(framerate);
}

void MainWindowController::sceneImportSuccessful(engine::Scene* scene, unsigned int vertexCount, unsigned int meshCount)
{
    Q_UNUSED(scene);
    Q_UNUSED(vertexCount);
    Q_UNUSED(meshCount);
    setExportEnabled(true);
    // Only a file that has been drawn is worth opening again.
    if (!m_loadingPath.isEmpty())
        m_menuManager->rememberOpenedFile(m_loadingPath);
    m_loadingPath.clear();
    if (m_restoreViewState)
        m_mainViewController->restoreViewState(m_viewState);
    m_restoreViewState = false;
    if (m_reloading)
        reportReloaded();
}

// The last good model stays on screen with its counts; the workspace no
// longer holds it, so it cannot be exported.
void MainWindowController::sceneImportFailed(const QString& optionalMessage)
{
    Q_UNUSED(optionalMessage);
    setExportEnabled(false);
    m_loadingPath.clear();
}

void MainWindowController::viewportFailedToLoad(const QString& message)
{
    if (m_reloading) {
        reportFailedReload(message);
        return;
    }
    sceneImportFailed(message);
    reportFailedOpen(message);
}

// One box names the reason and leads to the log, which does not open beside it.
void MainWindowController::reportFailedOpen(const QString& reason)
{
    hideLog();
    m_userDialogController->showImportErrorOccuredDialog(reason);
}

void MainWindowController::hideLog()
{
    m_loggingViewController->showLoggingWindow(false);
    m_menuManager->userDidChangedLoggingWindowVisibility(false);
}

void MainWindowController::showLog()
{
    m_loggingViewController->showLoggingWindow(true);
    m_menuManager->userDidChangedLoggingWindowVisibility(true);
}

void MainWindowController::followSource(const QString& path)
{
    if (path.isEmpty())
        m_sourceWatcher->stop();
    else
        m_sourceWatcher->watch(path);
}

// The changed file is imported into a workspace of its own and shown with
// the camera where it is; the views are not cleared first, so a failed
// reload leaves the last good model on screen.
void MainWindowController::reloadChangedSource(const QString& path)
{
    m_reloading = true;
    m_reloadFailed = false;
    m_restoreViewState = true;
    m_viewState = m_mainViewController->viewState();
    m_loggingViewController->clear();
    m_mainViewController->viewport()->keepCameraOnNextLoad(true);
    applyImportOptions();
    m_modelManager->openModel(path);
}

void MainWindowController::reportReloaded()
{
    m_reloading = false;
    m_mainWindow->statusBarController()->showDelayedMessage(
        tr("Reloaded %1 at %2").arg(QFileInfo(m_loadedPath).fileName(), QTime::currentTime().toString("HH:mm:ss")),
        kExportMessageDelayMs);
}

// The last good model stays on screen and the log says why the new one did
// not: a box on every save of a half-finished model would be in the way.
// The workspace no longer holds what is shown, so nothing can be exported.
void MainWindowController::reportFailedReload(const QString& reason)
{
    m_reloading = false;
    m_restoreViewState = false;
    setExportEnabled(false);
    m_mainWindow->statusBarController()->showDelayedMessage(
        tr("Reloading %1 failed: the last good model stays on screen.").arg(QFileInfo(m_loadedPath).fileName()),
        kExportMessageDelayMs);
    if (!reason.isEmpty()) {
        EncoderOutputLog record;
        record.priority = LoggingPriorities::Error;
        record.code = 0;
        record.title = tr("The reloaded model could not be shown");
        record.message = reason;
        forwardViewerLogs({record});
    }
    showLog();
}

void MainWindowController::showConvertFilesDialog()
{
    if (!m_convertFilesDialog)
        m_convertFilesDialog = new ConvertFilesDialog(QCoreApplication::applicationFilePath(), m_mainWindow.get());
    const UserSettings& settings = m_services.settings;
    m_convertFilesDialog->setOptions(settings.animationGrouping(), settings.backfaceCulling());
    m_convertFilesDialog->show();
    m_convertFilesDialog->raise();
}

void MainWindowController::mainWindowWillClose() { m_workspaces.deleteCurrentWorkspace(); }

#include "MenuManager.h"

#include "BuildConfig.h"
#include "CustomTextBrowser.h"
#include "Exporter.h"
#include "MainWindow.h"
#include "MainWindowController.h"
#include "ModelFileTypes.h"
#include "OsInfoService.h"
#include "StatusBarController.h"
#include "UserSettings.h"
#include "WebLink.h"
#include "WorkspaceService.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QUrlQuery>

MenuManager::MenuManager(MainWindowController* controller, UserSettings& settings)
    : QObject(controller)
    , m_controller(controller)
    , m_settings(settings)
    , m_menuBar(controller->mainWindow()->menuBar())
{
    createActions();
    createMenus();
    createImportInfoBox();
    updateImportOptionChecks();
}

MenuManager::~MenuManager() = default;

QAction* MenuManager::addAction(const QString& text, void (MenuManager::*slot)(), const char* objectName)
{
    QAction* action = new QAction(text, this);
    action->setObjectName(QLatin1String(objectName));
    connect(action, &QAction::triggered, this, slot);
    return action;
}

void MenuManager::createActions()
{
    // Every format the Open dialog offers opens; the entry names none of
    // them, and the status tip lists them all from the one list there is.
    m_openAction = addAction(tr("&Open..."), &MenuManager::openMenuClicked, "openAction");
    m_openAction->setShortcuts(QKeySequence::Open);
    m_openAction->setStatusTip(tr("Open an existing 3D model (%1)").arg(ModelFileTypes::suffixListText()));

    m_exportAction = addAction(tr("&Export to vm3..."), &MenuManager::exportMenuClicked, "exportAction");
    m_exportAction->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_E));
    m_exportAction->setStatusTip(tr("Export the current model to vm3 format"));

    m_quitAction = addAction(tr("&Quit"), &MenuManager::quitMenuClicked, "quitAction");
    m_quitAction->setShortcuts(QKeySequence::Quit);
    m_quitAction->setStatusTip(tr("Quit Application"));

    m_copyNodesAction = addAction(tr("Copy Nodes List"), &MenuManager::copyAllModelNodesClicked, "copyNodesAction");

    m_convertFilesAction = new QAction(tr("Convert Files..."), this);
    m_convertFilesAction->setObjectName(QStringLiteral("convertFilesAction"));
    m_convertFilesAction->setStatusTip(tr("Convert many models or folders into vm3 files at once"));
    connect(m_convertFilesAction, &QAction::triggered, this, &MenuManager::convertFilesRequested);

    m_reloadWhenChangedAction = new QAction(tr("Reload When Changed"), this);
    m_reloadWhenChangedAction->setObjectName(QStringLiteral("reloadWhenChangedAction"));
    m_reloadWhenChangedAction->setStatusTip(tr("Show the model again whenever its file or a texture is saved"));
    m_reloadWhenChangedAction->setCheckable(true);
    m_reloadWhenChangedAction->setChecked(m_settings.reloadWhenChanged());
    connect(m_reloadWhenChangedAction, &QAction::toggled, this, [this](bool reload) {
        m_settings.setReloadWhenChanged(reload);
        emit reloadWhenChangedToggled(reload);
    });

    m_groupingNoneAction = addAction(tr("No grouping"), &MenuManager::setAnimationGroupingNone, "groupingNoneAction");
    m_groupingRootAction
        = addAction(tr("Group on root nodes"), &MenuManager::setAnimationGroupingRoot, "groupingRootAction");
    m_groupingTakeAction
        = addAction(tr("Group on takes"), &MenuManager::setAnimationGroupingTake, "groupingTakeAction");
    m_cullingOffAction = addAction(tr("Off"), &MenuManager::setBackfaceCullingOff, "cullingOffAction");
    m_cullingCcwAction = addAction(tr("On (CCW)"), &MenuManager::setBackfaceCullingCCW, "cullingCcwAction");
    m_cullingCwAction = addAction(tr("On (CW)"), &MenuManager::setBackfaceCullingCW, "cullingCwAction");
    m_cullingMaterialAction
        = addAction(tr("Material"), &MenuManager::setBackfaceCullingMaterial, "cullingMaterialAction");
    // Each radio group is one QActionGroup, so exactly one entry of it is checked.
    auto* grouping = new QActionGroup(this);
    for (QAction* action : {m_groupingNoneAction, m_groupingRootAction, m_groupingTakeAction})
        grouping->addAction(action)->setCheckable(true);
    auto* culling = new QActionGroup(this);
    for (QAction* action : {m_cullingOffAction, m_cullingCcwAction, m_cullingCwAction, m_cullingMaterialAction})
        culling->addAction(action)->setCheckable(true);

    m_showLoggingWindowAction
        = addAction(tr("&Show Logging Window"), &MenuManager::showLoggingWindowClicked, "showLoggingWindowAction");
    m_showLoggingWindowAction->setStatusTip(tr("Open the logging window"));
    m_showLoggingWindowAction->setCheckable(true);
    m_showLoggingWindowAction->setChecked(false);

    m_aboutAction = addAction(tr("&About"), &MenuManager::showAboutWindowClicked, "aboutAction");
    m_resetInfoAction
        = addAction(tr("Reset dialog info settings"), &MenuManager::resetInfoDisplayState, "resetInfoAction");
    m_preferencesAction
        = addAction(tr("&Preferences"), &MenuManager::showPreferencesWindowClicked, "preferencesAction");
    m_checkForUpdatesAction
        = addAction(tr("&Check for updates"), &MenuManager::checkForUpdatesClicked, "checkForUpdatesAction");
    m_checkForUpdatesAction->setMenuRole(QAction::ApplicationSpecificRole);
    m_helpAction = addAction(tr("Velmora 3D Encoder Help"), &MenuManager::openDokuClicked, "helpAction");
    m_feedbackAction = addAction(tr("&Feedback"), &MenuManager::openFeedbackFormClicked, "feedbackAction");
    m_controlsAction
        = addAction(tr("Mouse and Keyboard Controls"), &MenuManager::showControlsClicked, "controlsAction");
    // A build without a web host of its own has nothing to show there.
    for (QAction* link : {m_helpAction, m_feedbackAction}) {
        if (!WebLink::isReachable(link == m_helpAction ? documentationUrl() : feedbackUrl(QString()))) {
            link->setEnabled(false);
            link->setToolTip(WebLink::unreachableHint());
        }
    }
    m_systemInfoAction = addAction(tr("&System Info"), &MenuManager::showSystemInfoWindowClicked, "systemInfoAction");
}

void MenuManager::createMenus()
{
    m_fileMenu = m_menuBar->addMenu(tr("&File"));
    m_fileMenu->addAction(m_openAction);
    m_recentFilesMenu = m_fileMenu->addMenu(tr("Open &Recent"));
    m_recentFilesMenu->setObjectName(QStringLiteral("recentFilesMenu"));
    // A file may have gone since the menu was last built.
    connect(m_recentFilesMenu, &QMenu::aboutToShow, this, &MenuManager::updateRecentFilesMenu);
    updateRecentFilesMenu();
    m_fileMenu->addAction(m_exportAction);
    m_fileMenu->addAction(m_convertFilesAction);
    m_fileMenu->addAction(m_quitAction);

    m_modelMenu = m_menuBar->addMenu(tr("&Model"));
    m_modelMenu->addAction(m_copyNodesAction);
    m_modelMenu->addAction(m_reloadWhenChangedAction);
    QMenu* grouping = m_modelMenu->addMenu(tr("Animation Grouping"));
    grouping->addAction(m_groupingNoneAction);
    grouping->addAction(m_groupingRootAction);
    grouping->addAction(m_groupingTakeAction);
    QMenu* culling = m_modelMenu->addMenu(tr("Backface Culling"));
    culling->addAction(m_cullingOffAction);
    culling->addAction(m_cullingCcwAction);
    culling->addAction(m_cullingCwAction);
    culling->addAction(m_cullingMaterialAction);

    m_windowMenu = m_menuBar->addMenu(tr("&Window"));
    m_windowMenu->addAction(m_showLoggingWindowAction);

    m_helpMenu = m_menuBar->addMenu(tr("&Help"));
    m_helpMenu->addAction(m_aboutAction);
    m_helpMenu->addSeparator();
    m_helpMenu->addAction(m_resetInfoAction);
    m_helpMenu->addAction(m_preferencesAction);
    m_helpMenu->addAction(m_checkForUpdatesAction);
    m_helpMenu->addSeparator();
    m_helpMenu->addAction(m_controlsAction);
    m_helpMenu->addAction(m_helpAction);
    m_helpMenu->addAction(m_feedbackAction);
    m_helpMenu->setToolTipsVisible(true);
    m_helpMenu->addSeparator();
    m_helpMenu->addAction(m_systemInfoAction);
}

void MenuManager::createImportInfoBox()
{
    m_importInfoBox = std::make_unique<QMessageBox>();
    m_importInfoBox->setIcon(QMessageBox::Information);
    m_importInfoBox->setWindowTitle(MainWindow::baseTitle());
    m_importInfoBox->setText(
        tr("Changes on animation grouping will take effect only after the next opening of a 3D model."));
    m_importInfoBox->setStandardButtons(QMessageBox::Ok);
    m_importInfoBox->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);

    m_importInfoCheckBox = new QCheckBox(tr("Do not show this message anymore"));
    m_importInfoCheckBox->setChecked(!m_settings.showImportInfo());
    m_importInfoBox->setCheckBox(m_importInfoCheckBox);
    connect(m_importInfoCheckBox, &QCheckBox::stateChanged, this, &MenuManager::showImportInfoStateChanged);
}

void MenuManager::setExportEnabled(bool enabled) { m_exportAction->setEnabled(enabled); }

void MenuManager::setExportName(const QString& modelFilePath)
{
    m_exportName = QFileInfo(modelFilePath).completeBaseName();
}

void MenuManager::rememberOpenedFile(const QString& path)
{
    m_settings.addRecentFile(path);
    updateRecentFilesMenu();
}

void MenuManager::clearRecentFilesClicked()
{
    m_settings.clearRecentFiles();
    updateRecentFilesMenu();
}

void MenuManager::updateRecentFilesMenu()
{
    // Later, not now: the entry being triggered may be what rebuilds the menu.
    for (QAction* old : m_recentFilesMenu->actions()) {
        m_recentFilesMenu->removeAction(old);
        old->deleteLater();
    }
    const QStringList files = m_settings.recentFiles();
    for (const QString& file : files) {
        QAction* action = m_recentFilesMenu->addAction(QDir::toNativeSeparators(file));
        action->setEnabled(QFileInfo(file).isFile());
        connect(action, &QAction::triggered, this, [this, file] { openChosenFile(file, OpenReason::RecentFile); });
    }
    m_recentFilesMenu->addSeparator();
    QAction* clear = m_recentFilesMenu->addAction(tr("&Clear"));
    clear->setObjectName(QStringLiteral("clearRecentFilesAction"));
    clear->setEnabled(!files.isEmpty());
    connect(clear, &QAction::triggered, this, &MenuManager::clearRecentFilesClicked);
}

QString MenuManager::exportSourceFolder() const { return m_controller->workspaces().modelFolder(); }

QUrl MenuManager::documentationUrl() { return QUrl(tr(VELMORA_WEB_HOST "/documentation")); }

QUrl MenuManager::feedbackUrl(const QString& operatingSystem)
{
    QUrl url(QStringLiteral(VELMORA_WEB_HOST "/feedback"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("entry.630292085"), operatingSystem);
    query.addQueryItem(QStringLiteral("entry.1104052333"), QStringLiteral("59"));
    url.setQuery(query);
    return url;
}

void MenuManager::copyAllModelNodesClicked() { emit copyAllModelNodes(); }

void MenuManager::showAboutWindowClicked() { emit showAboutWindow(); }

void MenuManager::showPreferencesWindowClicked() { emit showPreferencesWindow(); }

void MenuManager::showSystemInfoWindowClicked() { emit showSystemInfoWindow(); }

void MenuManager::checkForUpdatesClicked() { emit startAppUpdateCheck(); }

void MenuManager::openMenuClicked()
{
    const QString path = QFileDialog::getOpenFileName(nullptr, tr("Open file containing 3D model"),
                                                      m_settings.lastImportPath(), ModelFileTypes::openDialogFilter());
    if (!path.isEmpty())
        openChosenFile(path);
}

void MenuManager::openChosenFile(const QString& path, OpenReason reason)
{
    m_settings.setLastImportPath(path);
    emit open3dModel(path, reason);
}

void MenuManager::exportMenuClicked()
{
    // The dialog adds the suffix itself, so that it can still ask before
    // replacing a file of the completed name.
    QFileDialog dialog(nullptr, tr("Export to vm3"), m_settings.lastExportPath(), tr("Velmora 3D model (*.vm3)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("vm3"));
    if (!m_exportName.isEmpty())
        dialog.selectFile(m_exportName + QStringLiteral(".vm3"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        exportToChosenFile(dialog.selectedFiles().constFirst());
}

void MenuManager::exportToChosenFile(const QString& chosenPath)
{
    // A file saved without a suffix could not be opened again.
    const QString path = QFileInfo(chosenPath).suffix().isEmpty() ? chosenPath + QStringLiteral(".vm3") : chosenPath;
    // Checked before any work starts, without creating or emptying the file:
    // an existing export stays intact until the new one is complete.
    if (!Exporter::checkTargetWritable(path, nullptr)) {
        emit exportToDirectoryNotAllowed(path);
        return;
    }
    m_settings.setLastExportPath(path);
    emit exportToFile(exportSourceFolder(), path);
}

void MenuManager::quitMenuClicked()
{
    // Closing the window first lets it clean up the workspace as on any
    // other way out.
    if (MainWindow* window = m_controller->mainWindow())
        window->close();
    QCoreApplication::exit(0);
}

void MenuManager::showLoggingWindowClicked()
{
    m_loggingWindowVisible = !m_loggingWindowVisible;
    m_showLoggingWindowAction->setChecked(m_loggingWindowVisible);
    emit showLoggingWindow(m_loggingWindowVisible);
}

void MenuManager::userDidChangedLoggingWindowVisibility(bool visibility)
{
    m_loggingWindowVisible = visibility;
    m_showLoggingWindowAction->setChecked(visibility);
}

void MenuManager::openDokuClicked() { CustomTextBrowser::openLink(documentationUrl(), m_controller->mainWindow()); }

void MenuManager::openFeedbackFormClicked()
{
    CustomTextBrowser::openLink(feedbackUrl(OsInfoService::platformVersionText()), m_controller->mainWindow());
}

void MenuManager::showControlsClicked()
{
    QMessageBox box(QMessageBox::Information, MainWindow::baseTitle(), tr("Moving the camera in the 3D view"),
                    QMessageBox::Ok);
    box.setInformativeText(
        tr("<table>"
           "<tr><td>Orbit</td><td>drag with the left mouse button</td></tr>"
           "<tr><td>Dolly (closer, farther)</td><td>drag with the right mouse button, or Shift and the left "
           "button, or Alt and the left button</td></tr>"
           "<tr><td>Pan</td><td>drag with Ctrl and the left button, or turn the wheel with the middle button "
           "held</td></tr>"
           "<tr><td>Zoom</td><td>turn the mouse wheel</td></tr>"
           "<tr><td>Frame the model</td><td>Reset Camera in the tool bar, or Home</td></tr>"
           "<tr><td>Frame the selected node</td><td>F (the whole model when none is selected)</td></tr>"
           "<tr><td>Play or pause the clip</td><td>Space</td></tr>"
           "<tr><td>Step the time line by a frame</td><td>Left and Right arrow keys</td></tr>"
           "</table>"));
    box.exec();
}

void MenuManager::updateImportOptionChecks()
{
    m_groupingNoneAction->setChecked(m_settings.isAnimationGroupingNone());
    m_groupingRootAction->setChecked(m_settings.isAnimationGroupingRoot());
    m_groupingTakeAction->setChecked(m_settings.isAnimationGroupingTake());
    m_cullingOffAction->setChecked(m_settings.isBackfaceCullingOff());
    m_cullingCcwAction->setChecked(m_settings.isBackfaceCullingCCW());
    m_cullingCwAction->setChecked(m_settings.isBackfaceCullingCW());
    m_cullingMaterialAction->setChecked(m_settings.isBackfaceCullingMaterial());
}

void MenuManager::setAnimationGroupingNone() { changeImportOption(&UserSettings::setAnimationGroupingNone); }
void MenuManager::setAnimationGroupingRoot() { changeImportOption(&UserSettings::setAnimationGroupingRoot); }
void MenuManager::setAnimationGroupingTake() { changeImportOption(&UserSettings::setAnimationGroupingTake); }
void MenuManager::setBackfaceCullingOff() { changeImportOption(&UserSettings::setBackfaceCullingOff); }
void MenuManager::setBackfaceCullingCCW() { changeImportOption(&UserSettings::setBackfaceCullingCCW); }
void MenuManager::setBackfaceCullingCW() { changeImportOption(&UserSettings::setBackfaceCullingCW); }
void MenuManager::setBackfaceCullingMaterial() { changeImportOption(&UserSettings::setBackfaceCullingMaterial); }

void MenuManager::changeImportOption(void (UserSettings::*setOption)())
{
    (m_settings.*setOption)();
    updateImportOptionChecks();
    if (m_settings.showImportInfo())
        m_importInfoBox->exec();
    if (!m_exportAction->isEnabled())
        return;
    QMessageBox ask(QMessageBox::NoIcon, MainWindow::baseTitle(), tr("Reload the 3D model?"),
                    QMessageBox::Yes | QMessageBox::No);
    ask.setDefaultButton(QMessageBox::Yes);
    if (ask.exec() == QMessageBox::Yes)
        emit reopen3dModel();
}

void MenuManager::showImportInfoStateChanged(int state) { m_settings.setShowImportInfo(state == Qt::Unchecked); }

void MenuManager::resetInfoDisplayState()
{
    m_settings.setShowImportInfo(true);
    m_importInfoCheckBox->setChecked(false);
    m_controller->mainWindow()->statusBarController()->showDelayedMessage(
        tr("Information boxes you turned off will show again."), 0);
}

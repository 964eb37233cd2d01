#pragma once

#include "OpenReason.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class MainWindowController;
class QAction;
class QCheckBox;
class QMenu;
class QMenuBar;
class QMessageBox;
class UserSettings;

// Builds the menu bar, runs the open and export dialogs and keeps the Model
// menu's two radio groups (animation grouping, back-face culling) in step with
// the user settings.
class MenuManager : public QObject {
    Q_OBJECT
public:
    MenuManager(MainWindowController* controller, UserSettings& settings);
    ~MenuManager() override;

    void setExportEnabled(bool enabled);
    // The export dialog suggests the loaded model's base name.
    void setExportName(const QString& modelFilePath);
    // Puts a file that has been opened and drawn (by any road) first in File >
    // Open Recent.
    void rememberOpenedFile(const QString& path);

    // What the open and export dialogs do with the path the user chose.
    void openChosenFile(const QString& path, OpenReason reason = OpenReason::Menu);
    void exportToChosenFile(const QString& chosenPath);

    // Where the model to export lies: the current workspace's model folder.
    QString exportSourceFolder() const;
    static QUrl documentationUrl();
    // The form is told the system the program runs on.
    static QUrl feedbackUrl(const QString& operatingSystem);

signals:
    void showAboutWindow();
    void showPreferencesWindow();
    void showSystemInfoWindow();
    void startAppUpdateCheck();
    void copyAllModelNodes();
    void open3dModel(const QString& path, OpenReason reason);
    void reopen3dModel();
    void reloadWhenChangedToggled(bool reload);
    void convertFilesRequested();
    void exportToFile(const QString& sourceFolder, const QString& outFilePath);
    void exportToDirectoryNotAllowed(QString filePath);
    void showLoggingWindow(bool visible);

public slots:
    void copyAllModelNodesClicked();
    void showAboutWindowClicked();
    void showPreferencesWindowClicked();
    void showSystemInfoWindowClicked();
    void checkForUpdatesClicked();
    void openMenuClicked();
    void exportMenuClicked();
    void quitMenuClicked();
    void showLoggingWindowClicked();
    void userDidChangedLoggingWindowVisibility(bool visibility);
    void openDokuClicked();
    void openFeedbackFormClicked();
    void showControlsClicked();
    void setAnimationGroupingNone();
    void setAnimationGroupingRoot();
    void setAnimationGroupingTake();
    void setBackfaceCullingOff();
    void setBackfaceCullingCCW();
    void setBackfaceCullingCW();
    void setBackfaceCullingMaterial();
    void showImportInfoStateChanged(int state);
    void resetInfoDisplayState();
    void clearRecentFilesClicked();

private:
    // Named, so that the entry can be found through the window's menus.
    QAction* addAction(const QString& text, void (MenuManager::*slot)(), const char* objectName);
    void createActions();
    void createMenus();
    void createImportInfoBox();
    void updateImportOptionChecks();
    // One entry per remembered file (greyed out when the file is gone), then Clear.
    void updateRecentFilesMenu();
    // Stores the option, moves the menu's check marks and offers to reload.
    void changeImportOption(void (UserSettings::*setOption)());

    MainWindowController* m_controller;
    UserSettings& m_settings;
    QMenuBar* m_menuBar;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_modelMenu = nullptr;
    QMenu* m_windowMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QMenu* m_recentFilesMenu = nullptr;

    QAction* m_openAction = nullptr;
    QAction* m_exportAction = nullptr;
    QAction* m_quitAction = nullptr;
    QAction* m_copyNodesAction = nullptr;
    QAction* m_reloadWhenChangedAction = nullptr;
    QAction* m_convertFilesAction = nullptr;
    QAction* m_groupingNoneAction = nullptr;
    QAction* m_groupingRootAction = nullptr;
    QAction* m_groupingTakeAction = nullptr;
    QAction* m_cullingOffAction = nullptr;
    QAction* m_cullingCcwAction = nullptr;
    QAction* m_cullingCwAction = nullptr;
    QAction* m_cullingMaterialAction = nullptr;
    QAction* m_showLoggingWindowAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_resetInfoAction = nullptr;
    QAction* m_preferencesAction = nullptr;
    QAction* m_checkForUpdatesAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_controlsAction = nullptr;
    QAction* m_feedbackAction = nullptr;
    QAction* m_systemInfoAction = nullptr;

    std::unique_ptr<QMessageBox> m_importInfoBox; // a top-level box of its own
    QCheckBox* m_importInfoCheckBox = nullptr;
    bool m_loggingWindowVisible = false;
    QString m_exportName;
};

#pragma once

#include "AppServices.h"

#include <QApplication>
#include <QString>

#include <memory>

class AnalyticsTracker;
class OsInfoService;
class UpdateChecker;
class UpdatePresenter;
class UserSettings;

// The application object. It owns the process-wide services and wires them:
// each is handed what it needs, and a change of the user's tracking switch
// reaches the tracker and is recorded here. It also turns file-open events
// of the operating system into requests to open a model.
class WEApplication : public QApplication {
    Q_OBJECT
public:
    static const char* const kAnalyticsAccountId;

    WEApplication(int& argc, char** argv);
    ~WEApplication() override;

    // The settings and the tracker, for the window's controllers.
    AppServices services() const { return AppServices {*m_settings, *m_tracker}; }

    // True for an existing file with a suffix the program can open.
    static bool isSupportedModelFile(const QString& path);

    bool event(QEvent* event) override;

    // Asks the update feed once, showing nothing unless an update exists.
    void checkForUpdatesSilently();

signals:
    void openModelFromAppEvent(QString modelPath);
    // SIGTERM or SIGINT reached the process; the window should quit as its
    // Quit entry does.
    void quitRequested(int signalNumber);

public slots:
    void checkForAvailableAppUpdates();

private:
    void handleFileOpen(const QString& path);
    void trackingSwitched(bool enabled);

    // Destroyed bottom up: the update windows before the checker whose
    // network fetches their notes, the tracker before the OS information it
    // reads and the settings whose switch it follows.
    std::unique_ptr<UserSettings> m_settings;
    std::unique_ptr<OsInfoService> m_osInfoService;
    std::unique_ptr<UpdateChecker> m_updateChecker;
    std::unique_ptr<UpdatePresenter> m_updatePresenter;
    std::unique_ptr<AnalyticsTracker> m_tracker;
};

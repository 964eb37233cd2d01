#pragma once

#include <QApplication>
#include <QString>

class AnalyticsTracker;
class OsInfoService;
class WorkspaceService;

// The application object. It owns the process-wide services and registers
// them with their static accessors, and it turns file-open events of the
// operating system into requests to open a model.
class WEApplication : public QApplication {
    Q_OBJECT
public:
    static const char* const analyticsAccountId;

    WEApplication(int& argc, char** argv);
    ~WEApplication() override;

    // True for the file-name suffixes the program can open ("fbx", "vm3"),
    // in any case. The suffix is the text after the last dot.
    static bool isSupportedSuffix(const QString& suffix);
    static bool isSupportedModelFile(const QString& path);

    bool event(QEvent* event) override;

signals:
    void openModelFromAppEvent(QString modelPath);

public slots:
    void checkForAvailableAppUpdates();

private:
    void handleFileOpen(const QString& path);

    OsInfoService* m_osInfoService = nullptr;
    AnalyticsTracker* m_tracker = nullptr;
    WorkspaceService* m_workspaceService = nullptr;
};

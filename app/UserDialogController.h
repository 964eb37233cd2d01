#pragma once

#include <QObject>

class AnalyticsTracker;
class QAbstractButton;
class QMessageBox;
class QWidget;

// Tells the user about the failures of the model pipeline that need an
// answer. Each box is modal over the main window and is reused.
class UserDialogController : public QObject {
    Q_OBJECT
public:
    // Each box shown for a failure is recorded with the tracker.
    UserDialogController(AnalyticsTracker& tracker, QWidget* mainWindow, QObject* parent = nullptr);
    ~UserDialogController() override;

signals:
    // The user asked to see the log from a box that reports a failed open.
    void logRequested();

public slots:
    void showVM3FileToOldDialog();
    // A refused version file: too new a format gets its own text (update the
    // application), anything else the too-old box.
    void showVersionErrorDialog(const QString& errorText);
    void showImportErrorOccuredDialog(QString optionalMessage);
    void showExportToDirectoryNotAllowedDialog(QString directoryPath);
    // An export that started but did not produce its file (disk full, target
    // gone meanwhile, ...). The reason goes into the details.
    void showExportFailedDialog(QString filePath, QString errorText);

private:
    void trackCrash(const char* label);

    AnalyticsTracker& m_tracker;
    QMessageBox* m_versionTooOldBox;
    QMessageBox* m_importErrorBox;
    QAbstractButton* m_showLogButton;
    QMessageBox* m_exportNotAllowedBox;
    QMessageBox* m_exportFailedBox;
};

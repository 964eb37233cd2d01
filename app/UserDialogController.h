#pragma once

#include <QObject>

class QMessageBox;
class QWidget;

// Tells the user about the failures of the model pipeline that need an
// answer. Each box is modal over the main window and is reused.
class UserDialogController : public QObject {
    Q_OBJECT
public:
    explicit UserDialogController(QWidget* mainWindow, QObject* parent = nullptr);
    ~UserDialogController() override;

    QMessageBox* versionTooOldBox() const { return m_versionTooOldBox; }
    QMessageBox* importErrorBox() const { return m_importErrorBox; }
    QMessageBox* exportNotAllowedBox() const { return m_exportNotAllowedBox; }

public slots:
    void showVM3FileToOldDialog();
    void showImportErrorOccuredDialog(QString optionalMessage);
    void showExportToDirectoryNotAllowedDialog(QString directoryPath);

private:
    static void trackCrash(const char* label);

    QMessageBox* m_versionTooOldBox;
    QMessageBox* m_importErrorBox;
    QMessageBox* m_exportNotAllowedBox;
};

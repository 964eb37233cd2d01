#include "UserDialogController.h"

#include "AnalyticsTracker.h"
#include "MainWindow.h"
#include "VersionFile.h"

#include <QDir>
#include <QMessageBox>
#include <QPushButton>

UserDialogController::UserDialogController(AnalyticsTracker& tracker, QWidget* mainWindow, QObject* parent)
    : QObject(parent)
    , m_tracker(tracker)
{
    m_versionTooOldBox = new QMessageBox(mainWindow);
    m_versionTooOldBox->setIcon(QMessageBox::Information);

    m_importErrorBox = new QMessageBox(mainWindow);
    m_importErrorBox->setIcon(QMessageBox::Critical);
    m_importErrorBox->setText(tr("Ooops, there was a problem loading your scene."));
    m_importErrorBox->setStandardButtons(QMessageBox::Ok);
    m_showLogButton = m_importErrorBox->addButton(tr("Show Log"), QMessageBox::ActionRole);

    m_exportNotAllowedBox = new QMessageBox(mainWindow);
    m_exportNotAllowedBox->setIcon(QMessageBox::Warning);
    m_exportNotAllowedBox->setText(tr("You don't have permissions to export to the selected directory"));

    m_exportFailedBox = new QMessageBox(mainWindow);
    m_exportFailedBox->setIcon(QMessageBox::Warning);

    // Untitled, a box would carry the program's file name in its title bar.
    for (QMessageBox* box : {m_versionTooOldBox, m_importErrorBox, m_exportNotAllowedBox, m_exportFailedBox}) {
        box->setWindowModality(Qt::ApplicationModal);
        box->setWindowTitle(MainWindow::baseTitle());
    }
}

UserDialogController::~UserDialogController()
{
    // The boxes are children of the main window, which may be gone already;
    // nothing to release here.
}

void UserDialogController::trackCrash(const char* label)
{
    m_tracker.trackEvent(QStringLiteral("model"), QStringLiteral("crashes"), QString::fromLatin1(label), 1);
}

void UserDialogController::showVM3FileToOldDialog() { showVersionErrorDialog(QString()); }

void UserDialogController::showVersionErrorDialog(const QString& errorText)
{
    trackCrash("vm3TooOld");
    m_versionTooOldBox->setText(errorText == VersionFile::tooNewText()
                                    ? errorText
                                    : tr("The imported .vm3 file is too old to be opened with this version of the "
                                         "application. Open source file and open anew."));
    m_versionTooOldBox->exec();
}

void UserDialogController::showImportErrorOccuredDialog(QString optionalMessage)
{
    trackCrash("importError");
    // The reason shows up front; the log holds every record of the attempt.
    m_importErrorBox->setInformativeText(optionalMessage);
    m_importErrorBox->exec();
    if (m_importErrorBox->clickedButton() == m_showLogButton)
        emit logRequested();
}

void UserDialogController::showExportToDirectoryNotAllowedDialog(QString directoryPath)
{
    trackCrash("exportError");
    m_exportNotAllowedBox->setDetailedText(directoryPath);
    m_exportNotAllowedBox->exec();
}

void UserDialogController::showExportFailedDialog(QString filePath, QString errorText)
{
    trackCrash("exportError");
    m_exportFailedBox->setText(tr("The 3D model could not be exported to %1. An earlier file of that name is left "
                                  "as it was.")
                                   .arg(QDir::toNativeSeparators(filePath)));
    m_exportFailedBox->setDetailedText(errorText);
    m_exportFailedBox->exec();
}

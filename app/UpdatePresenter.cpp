#include "UpdatePresenter.h"

#include "UpdateConfirmDialog.h"
#include "UpdateWindow.h"

#include <QDesktopServices>
#include <QMessageBox>

UpdatePresenter::UpdatePresenter(UpdateChecker* checker, QObject* parent)
    : QObject(parent)
    , m_checker(checker)
{
    connect(checker, &UpdateChecker::updateOffered, this, &UpdatePresenter::offerUpdate);
    connect(checker, &UpdateChecker::installConfirmationRequested, this, &UpdatePresenter::askToConfirm);
    connect(checker, &UpdateChecker::offerWithdrawn, this, &UpdatePresenter::closeUpdateWindow);
    connect(checker, &UpdateChecker::confirmationWithdrawn, this, &UpdatePresenter::closeConfirmDialog);
    connect(checker, &UpdateChecker::downloadRequested, this, &UpdatePresenter::openDownload);
    connect(checker, &UpdateChecker::messageForUser, this, &UpdatePresenter::showMessage);
}

// The windows have no parent: they are top-level and delete themselves when
// closed, unless they are still open now.
UpdatePresenter::~UpdatePresenter()
{
    delete m_updateWindow;
    delete m_confirmDialog;
}

void UpdatePresenter::offerUpdate(const AvailableUpdate& update)
{
    closeUpdateWindow();
    m_updateWindow = new UpdateWindow(m_checker->network());
    connect(m_updateWindow, &UpdateWindow::skipClicked, m_checker, &UpdateChecker::SkipUpdate);
    connect(m_updateWindow, &UpdateWindow::remindLaterClicked, m_checker, &UpdateChecker::RemindMeLater);
    connect(m_updateWindow, &UpdateWindow::installClicked, m_checker, &UpdateChecker::InstallUpdate);
    m_updateWindow->fill(&update);
    m_updateWindow->show();
    m_updateWindow->raise();
}

void UpdatePresenter::askToConfirm(const AvailableUpdate& update)
{
    m_confirmDialog = new UpdateConfirmDialog();
    connect(m_confirmDialog, &QDialog::accepted, m_checker, &UpdateChecker::UpdateInstallationConfirmed);
    connect(m_confirmDialog, &QDialog::rejected, m_checker, &UpdateChecker::UpdateInstallationNotConfirmed);
    m_confirmDialog->fill(&update);
    m_confirmDialog->show();
    m_confirmDialog->raise();
}

void UpdatePresenter::closeUpdateWindow()
{
    if (m_updateWindow && !m_updateWindow->close())
        qWarning("Update window didn't close, leaking memory from now on");
    m_updateWindow = nullptr;
}

void UpdatePresenter::closeConfirmDialog()
{
    if (m_confirmDialog && !m_confirmDialog->close())
        qWarning("Update confirmation dialog didn't close, leaking memory from now on");
    m_confirmDialog = nullptr;
}

void UpdatePresenter::openDownload(const QUrl& url)
{
    if (!QDesktopServices::openUrl(url))
        m_checker->reportBrowserFailure(url);
}

void UpdatePresenter::showMessage(UpdateChecker::MessageKind kind, const QString& title, const QString& text,
                                  const QString& details)
{
    // Not modal to the caller: the check ends here and the box lives on its
    // own. One at a time: a new answer replaces one still on screen.
    if (m_messageBox)
        m_messageBox->close();
    const QMessageBox::Icon icon
        = kind == UpdateChecker::MessageKind::Error ? QMessageBox::Critical : QMessageBox::Information;
    auto* box = new QMessageBox(icon, title, title, QMessageBox::Ok);
    m_messageBox = box;
    box->setObjectName(QStringLiteral("updateMessageBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(text);
    box->setDetailedText(details);
    box->show();
}

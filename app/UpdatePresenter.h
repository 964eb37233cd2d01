#pragma once

#include "UpdateChecker.h"

#include <QObject>
#include <QPointer>

struct AvailableUpdate;
class QMessageBox;
class UpdateConfirmDialog;
class UpdateWindow;

// Shows what the update checker finds: the window that offers an update, the
// confirmation before the download, and the checker's messages. The user's
// answers go back to the checker's slots.
class UpdatePresenter : public QObject {
    Q_OBJECT
public:
    explicit UpdatePresenter(UpdateChecker* checker, QObject* parent = nullptr);
    ~UpdatePresenter() override;

private:
    void offerUpdate(const AvailableUpdate& update);
    void askToConfirm(const AvailableUpdate& update);
    void closeUpdateWindow();
    void closeConfirmDialog();
    void openDownload(const QUrl& url);
    void showMessage(UpdateChecker::MessageKind kind, const QString& title, const QString& text,
                     const QString& details);

    UpdateChecker* m_checker;
    QPointer<UpdateWindow> m_updateWindow;
    QPointer<UpdateConfirmDialog> m_confirmDialog;
    QPointer<QMessageBox> m_messageBox; // at most one at a time
};

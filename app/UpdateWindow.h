#pragma once

#include <QNetworkReply>
#include <QPointer>
#include <QWidget>

class QKeyEvent;

struct AvailableUpdate;
class CustomTextBrowser;
class QLabel;
class QNetworkAccessManager;

// Offers one release: what is new (the release notes, fetched from the feed's
// link and shown as a simple page whose links open in the system browser)
// and three choices. It deletes itself when closed.
class UpdateWindow : public QWidget {
    Q_OBJECT
public:
    // `network` fetches the release notes; it must outlive the window.
    explicit UpdateWindow(QNetworkAccessManager* network, QWidget* parent = nullptr);
    ~UpdateWindow() override;

    // Shows `update` and starts fetching its release notes; false without one.
    bool fill(const AvailableUpdate* update);

signals:
    void skipClicked();
    void remindLaterClicked();
    void installClicked();

protected:
    // Escape closes the window as its title bar's button does: the update is
    // offered again at the next check.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fetchReleaseNotes(const QUrl& url);
    void releaseNotesArrived();
    void releaseNotesProgress(qint64 bytesReceived);

    QNetworkAccessManager* m_network;
    // Owned by the network access manager, which may go first.
    QPointer<QNetworkReply> m_releaseNotesReply;
    QLabel* m_heading = nullptr;
    QLabel* m_question = nullptr;
    CustomTextBrowser* m_releaseNotes = nullptr;
};

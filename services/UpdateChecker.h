#pragma once

#include "AppcastParser.h"
#include "AvailableUpdate.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// Looks for a newer release in the appcast feed and offers it: downloads the
// feed, takes the first item with a download for this platform, compares its
// version with the running one and either says there is nothing new or
// offers the update (skip this version, remind me later, install). Installing
// only opens the download in the user's browser after a confirmation. The
// windows that ask are the application's: it hears of each question through a
// signal and answers through the slots below.
//
// Runs on the main thread through Qt's asynchronous networking; one check at
// a time. A silent check (at start-up) shows nothing unless an update exists.
class UpdateChecker : public QObject {
    Q_OBJECT
public:
    enum class MessageKind { Information, Error };

    explicit UpdateChecker(QObject* parent = nullptr);
    ~UpdateChecker() override;

    // The version this program is, in the feed's spelling.
    static const char* const kRunningVersion;
    // The "velmora:platform" value of the downloads this build installs.
    static QString platformName();
    // The feed to ask: VELMORA_UPDATE_FEED_URL from the environment when set
    // (tests, sites that mirror the feed), else the build's address.
    static QUrl configuredFeedUrl();
    // Too old, already running, or skipped by the user: not worth offering.
    static bool isIgnoredVersion(const QString& version);

    void setFeedURL(const QUrl& url);
    // How long one check may take in all, redirects included (60 s): a feed
    // that drips a byte at a time never passes the per-transfer time-out.
    void setDeadline(int milliseconds) { m_deadlineMs = milliseconds; }
    QUrl feedURL() const { return m_feedUrl; }
    const AvailableUpdate* proposedUpdate() const { return m_proposedUpdate.get(); }
    bool isChecking() const { return m_reply != nullptr; }
    // Fetches the release notes of an offered update.
    QNetworkAccessManager* network() const { return m_network; }
    // The browser did not take the confirmed download: the user must hear of it.
    void reportBrowserFailure(const QUrl& url);

signals:
    // Asks the user about `update`: SkipUpdate, RemindMeLater or InstallUpdate answer.
    void updateOffered(const AvailableUpdate& update);
    // Asks to confirm the download: UpdateInstallationConfirmed or ...NotConfirmed answer.
    void installConfirmationRequested(const AvailableUpdate& update);
    // The question of updateOffered, or of installConfirmationRequested, is settled.
    void offerWithdrawn();
    void confirmationWithdrawn();
    // The user confirmed: open the download in the browser.
    void downloadRequested(const QUrl& url);
    // One box for the user, left to live on its own.
    void messageForUser(UpdateChecker::MessageKind kind, const QString& title, const QString& text,
                        const QString& details);

public slots:
    bool CheckForUpdates(bool silentAsMuchAsItCouldGet);
    void CheckForUpdatesSilent();
    void CheckForUpdatesNotSilent();
    void InstallUpdate();
    void SkipUpdate();
    void RemindMeLater();
    void UpdateInstallationConfirmed();
    void UpdateInstallationNotConfirmed();
    void httpFeedReadyRead();
    void httpFeedUpdateDataReadProgress(qint64 bytesRead, qint64 totalBytes);
    void httpFeedDownloadFinished();

private:
    enum class Importance { Normal, EvenWhenSilent };

    void completeApplicationIdentity();
    void startDownload();
    void checkDeclaredLength();
    void readFeedBytes(QNetworkReply* reply);
    void deadlinePassed();
    bool followRedirect(const QUrl& target);
    void handleFeed(const QByteArray& feed);
    void proposeUpdate(const AvailableUpdate& update);
    void showError(const QString& text, const QString& details, Importance importance = Importance::Normal);
    void showInformation(const QString& text);
    void showFeedError(AppcastParser::Outcome outcome, const AppcastParser::Result& result);

    QUrl m_feedUrl;
    std::unique_ptr<AvailableUpdate> m_proposedUpdate;
    QNetworkAccessManager* m_network = nullptr;
    QNetworkReply* m_reply = nullptr;
    bool m_downloadAborted = false; // the feed is larger than allowed
    bool m_deadlinePassed = false;
    int m_deadlineMs = 60000;
    QTimer* m_deadline = nullptr;
    QByteArray m_feed;
    int m_redirectsFollowed = 0;
    bool m_silentAsMuchAsItCouldGet = false;
};

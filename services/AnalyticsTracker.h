#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <atomic>

class AnalyticsSendingThread;
class OsInfoService;
class QXmlStreamReader;

// Records anonymous usage events as requests of the classic web-analytics
// pixel protocol ("__utm.gif" with "utm" query keys), keeps the unsent ones in
// the state file "GA_Tracker.xml" so none are lost between runs, and sends
// them one at a time from a thread of its own.
//
// Nothing is queued, written or sent while the user has switched tracking off.
// pageView and trackEvent may be called from any thread: the pending list and
// every save of the state file are guarded by one mutex, and the state file is
// replaced atomically, so a reader never sees half of it.
class AnalyticsTracker : public QObject {
    Q_OBJECT
public:
    // Collector from the build configuration, state file in the user's data
    // folder. osInfo (may be null) names the machine and its system; it is
    // read while constructing and when sending starts, so it must outlive the
    // tracker.
    AnalyticsTracker(const QString& accountId, const OsInfoService* osInfo, QObject* parent = nullptr);
    // Requests go to the path "/__utm.gif" on the scheme, host and port of
    // collectorUrl; the state lives in stateFilePath.
    AnalyticsTracker(const QString& accountId, const QUrl& collectorUrl, const QString& stateFilePath,
                     const OsInfoService* osInfo = nullptr, QObject* parent = nullptr);
    ~AnalyticsTracker() override;

    virtual void pageView(const QString& page);
    virtual void trackEvent(const QString& category, const QString& action, const QString& label, int value);
    // Starts the sending thread and the timer that wakes it; does nothing while
    // tracking is off or when already sending.
    virtual void startSending();
    // The user's tracking switch, off until set; may be called from any thread.
    void setTrackingEnabled(bool enabled);

    // The screen every request reports, "0x0" and "0-bit" until given. Like the
    // visit fields it is read without the lock: set it before tracking starts.
    void setScreen(const QSize& size, int bitDepth);

    // Interval of the timer that wakes the sending thread (10 s by default).
    void setSendInterval(int milliseconds);
    bool isSending() const;

    QUrl collectorUrl() const { return m_collectorUrl; }
    QString stateFilePath() const { return m_stateFilePath; }
    QString accountId() const { return m_accountId; }
    QString userId() const;
    QString firstVisit() const;
    QString currentVisit() const;
    int numberOfVisits() const;
    QString language() const { return m_language; }
    QStringList pendingRequests() const;

    // The pieces below are pure functions, public so they can be checked alone.

    // MD5 of the Latin-1 machine identifier, first four digest bytes read as a
    // little-endian signed 32-bit number, its absolute value in decimal, at
    // most 16 characters.
    static QString userIdFromMachineId(const QString& machineId);
    static QString userIdFromDigest(const QByteArray& md5Digest);
    // "5(category*action*label)(value)"; the protocol's own escapes keep a
    // label such as "1.7(521) 2016-09-21" from closing the group early.
    static QString eventText(const QString& category, const QString& action, const QString& label, int value);
    static QString escapeEventValue(const QString& text);
    // "AnalyticsTracker/1.0 (platform; U; os description; language)".
    static QString composeUserAgent(const QString& platform, const QString& osDescription, const QString& language);

    static const char* const kStateFileName;
    static const int kMaxPendingRequests;

private:
    friend class AnalyticsSendingThread;
    struct QueryItem {
        QString key;
        QString value;
    };

    void initialise();
    bool isTrackingEnabled() const;
    void queueRequest(const QList<QueryItem>& ownItems);
    QByteArray buildRequest(const QList<QueryItem>& ownItems) const;
    bool isCollectorRequest(const QString& encodedUrl) const;
    void loadState();
    bool readState(QXmlStreamReader& xml);
    // Both expect m_mutex to be held.
    void saveStateLocked();
    void dropOverflowLocked();
    // Called by the sending thread.
    bool hasSendableRequestLocked() const;
    void requestFinished(const QString& encodedUrl);
    void wakeSender();

    const QString m_accountId;
    const QString m_domainHash = QStringLiteral("999");
    const QUrl m_collectorUrl;
    const QString m_stateFilePath;
    const OsInfoService* const m_osInfo;
    std::atomic<bool> m_trackingEnabled {false};
    QString m_screenResolution = QStringLiteral("0x0");
    QString m_colorDepth = QStringLiteral("0-bit");
    QString m_language;

    mutable QMutex m_mutex; // guards everything below
    QString m_userId;
    QString m_firstVisit;
    QString m_previousVisit;
    QString m_currentVisit;
    int m_numberOfVisits = 0;
    QStringList m_pendingRequests;
    bool m_requestInFlight = false;

    QTimer m_sendTimer;
    AnalyticsSendingThread* m_sendingThread = nullptr;
};

#pragma once

#include <QString>
#include <QThread>
#include <QWaitCondition>

class AnalyticsTracker;
class QNetworkAccessManager;

// Sends the tracker's pending requests one at a time, oldest first. A request
// leaves the list only after its reply finished (a failed reply finishes too,
// so an unreachable collector empties the list without retries). While the
// list is empty, or tracking is off, the thread sleeps on a wait condition
// that shares the tracker's mutex, so a wake-up can never slip in between the
// check and the wait.
class AnalyticsSendingThread : public QThread {
    Q_OBJECT
public:
    AnalyticsSendingThread(AnalyticsTracker* tracker, const QString& userAgent);
    ~AnalyticsSendingThread() override;

    // Wakes the thread when requests are pending and none is in flight.
    // Called by the tracker's timer; safe from any thread.
    void sendAll();
    // Ends the thread; a request still in flight is aborted and stays pending.
    void stop();

    QString userAgent() const { return m_userAgent; }

protected:
    void run() override;

private:
    enum class SendResult { Finished, Interrupted };
    SendResult send(QNetworkAccessManager& network, const QString& encodedUrl);

    AnalyticsTracker* const m_tracker;
    const QString m_userAgent;
    QWaitCondition m_wake;
};

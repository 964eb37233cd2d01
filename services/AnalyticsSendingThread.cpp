#include "AnalyticsSendingThread.h"

#include "AnalyticsTracker.h"
#include "WebLink.h"

#include <QDebug>
#include <QEventLoop>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

// A collector that accepts the connection and then says nothing must not
// hold the queue forever; the timed-out request counts as finished.
const int kTransferTimeoutMs = 30000;
// How often a running request looks whether the thread is asked to stop.
const int kInterruptPollMs = 50;

} // namespace

AnalyticsSendingThread::AnalyticsSendingThread(AnalyticsTracker* tracker, const QString& userAgent)
    : m_tracker(tracker)
    , m_userAgent(userAgent)
{
}

AnalyticsSendingThread::~AnalyticsSendingThread() { stop(); }

void AnalyticsSendingThread::sendAll()
{
    qDebug() << "AnalyticsSendingThread::sendAll()";
    QMutexLocker lock(&m_tracker->m_mutex);
    if (!m_tracker->m_requestInFlight && m_tracker->hasSendableRequestLocked()) {
        qDebug() << "AnalyticsSendingThread::sendAll() - Wake Sending Thread";
        m_wake.wakeAll();
    }
}

void AnalyticsSendingThread::stop()
{
    if (!isRunning())
        return;
    requestInterruption();
    {
        QMutexLocker lock(&m_tracker->m_mutex);
        m_wake.wakeAll();
    }
    wait();
}

void AnalyticsSendingThread::run()
{
    // Lives and dies in this thread, as Qt networking requires.
    QNetworkAccessManager network;
    for (;;) {
        QString url;
        {
            QMutexLocker lock(&m_tracker->m_mutex);
            while (!isInterruptionRequested() && !m_tracker->hasSendableRequestLocked()) {
                qDebug() << "AnalyticsSendingThread::sendNextRequest() - Wait for producer ... ";
                m_wake.wait(&m_tracker->m_mutex);
            }
            if (isInterruptionRequested())
                return;
            url = m_tracker->m_pendingRequests.first();
            m_tracker->m_requestInFlight = true;
        }
        if (send(network, url) == SendResult::Interrupted) {
            QMutexLocker lock(&m_tracker->m_mutex);
            m_tracker->m_requestInFlight = false;
            return;
        }
        m_tracker->requestFinished(url);
    }
}

AnalyticsSendingThread::SendResult AnalyticsSendingThread::send(QNetworkAccessManager& network,
                                                                const QString& encodedUrl)
{
    qDebug().noquote() << QStringLiteral("sending ") + encodedUrl;
    const QUrl url = QUrl::fromEncoded(encodedUrl.toLatin1());
    if (WebLink::isReservedHost(url.host())) {
        // Such a name never resolves; failing here spares a resolver query
        // from every build that has no collector configured.
        qDebug() << "AnalyticsSendingThread::error: NetworkError - Host not found";
        return SendResult::Finished;
    }
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", m_userAgent.toUtf8());
    request.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply* reply = network.get(request);

    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer interruptPoll;
    interruptPoll.setInterval(kInterruptPollMs);
    connect(&interruptPoll, &QTimer::timeout, &loop, [this, &loop] {
        if (isInterruptionRequested())
            loop.quit();
    });
    interruptPoll.start();
    if (!reply->isFinished())
        loop.exec();

    if (!reply->isFinished()) {
        // Shutting down: the request was perhaps never seen by the collector,
        // so it stays pending for the next run.
        disconnect(reply, nullptr, &loop, nullptr);
        reply->abort();
        delete reply;
        return SendResult::Interrupted;
    }
    if (reply->error() != QNetworkReply::NoError)
        qDebug().noquote() << QStringLiteral("AnalyticsSendingThread::error: NetworkError - ") + reply->errorString();
    else
        qDebug() << "AnalyticsSendingThread::sendNextRequest() - finished http get";
    delete reply;
    return SendResult::Finished;
}

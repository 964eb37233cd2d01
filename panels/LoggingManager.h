#pragma once

#include "EncoderOutputLog.h"

#include <QMap>
#include <QObject>
#include <QVector>

#include <functional>

class QStandardItemModel;

// Keeps the log table of the logging window: one row per record with an icon
// for its kind and its short title, plus the long texts for the detail pane.
// Also counts the encoder's codes for the usage tracker.
class LoggingManager : public QObject, public LoggingPriorities {
    Q_OBJECT
public:
    // Receives usage events (category, action, label, value); none are sent
    // until a sink is set.
    using TrackEventSink = std::function<void(const QString&, const QString&, const QString&, int)>;

    explicit LoggingManager(QObject* parent = nullptr);

    QStandardItemModel* model() const { return m_model; }
    void clear();
    QString detailMessage(int row) const;
    void addLogs(const EncoderOutputLogs& logs);

    int rowCount() const { return m_rowCount; }
    const QMap<int, int>& errorCodeCounts() const { return m_errorCodeCounts; }
    const QMap<int, int>& warningCodeCounts() const { return m_warningCodeCounts; }
    void setTrackEventSink(TrackEventSink sink);

public slots:
    void outputParserDidGenerateOutputMessages(const EncoderOutputLogs& outputMessages);

signals:
    void loggingManagerHasNewLogsAvailable(const EncoderOutputLogs& logs, LoggingManager::LoggingPriority priority);

private:
    void countCode(int code);
    void reportCounts();

    QStandardItemModel* m_model = nullptr;
    QVector<QString> m_detailMessages;
    int m_rowCount = 0;
    QMap<int, int> m_errorCodeCounts;
    QMap<int, int> m_warningCodeCounts;
    TrackEventSink m_trackEvent;
};

Q_DECLARE_METATYPE(LoggingManager::LoggingPriority)

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
    // The rows given, in row order, one line each with kind, code, title and
    // message, as the console shows them; rows without a record are left out.
    QString copyText(QList<int> rows) const;
    QString copyAllText() const;
    // The title a row shows: the record's short name, or, where that says
    // nothing of this record, the first words of its message.
    static QString shownTitle(const EncoderOutputLog& log);
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
    EncoderOutputLogs m_records;
    int m_rowCount = 0;
    QMap<int, int> m_errorCodeCounts;
    QMap<int, int> m_warningCodeCounts;
    TrackEventSink m_trackEvent;
};

Q_DECLARE_METATYPE(LoggingManager::LoggingPriority)

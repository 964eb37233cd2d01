#include "LoggingManager.h"

#include <QDebug>
#include <QIcon>
#include <QStandardItem>
#include <QStandardItemModel>

#include <algorithm>

namespace {

// The importer's own reports all travel under one code and title.
const int kImporterReportCode = 2009;
const int kTitleWordsMaxLength = 60;

QString firstWords(const QString& text)
{
    const QString simplified = text.simplified();
    if (simplified.size() <= kTitleWordsMaxLength)
        return simplified;
    const int cut = simplified.lastIndexOf(QLatin1Char(' '), kTitleWordsMaxLength);
    return simplified.left(cut > 0 ? cut : kTitleWordsMaxLength) + QChar(0x2026);
}

} // namespace

LoggingManager::LoggingManager(QObject* parent)
    : QObject(parent)
    , m_model(new QStandardItemModel(2, 1, this))
{
    registerEncoderOutputLogTypes();
    qRegisterMetaType<LoggingManager::LoggingPriority>("LoggingManager::LoggingPriority");
}

// Rows and their detail texts always go together: a later batch appends at
// the row after the last detail text.
void LoggingManager::clear()
{
    m_detailMessages.clear();
    m_records.clear();
    m_model->removeRows(0, m_model->rowCount());
    m_rowCount = 0;
}

QString LoggingManager::detailMessage(int row) const
{
    if (row < 0 || row >= m_detailMessages.size())
        return QString();
    return m_detailMessages.at(row);
}

QString LoggingManager::shownTitle(const EncoderOutputLog& log)
{
    const QString title = log.title.trimmed();
    if ((title.isEmpty() || log.code == kImporterReportCode) && !log.message.trimmed().isEmpty())
        return firstWords(log.message);
    return title;
}

QString LoggingManager::copyText(QList<int> rows) const
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QStringList lines;
    for (int row : rows) {
        if (row >= 0 && row < m_records.size())
            lines.append(describeEncoderOutputLog(m_records.at(row)));
    }
    return lines.join(QLatin1Char('\n'));
}

QString LoggingManager::copyAllText() const
{
    QList<int> rows;
    for (int row = 0; row < m_records.size(); ++row)
        rows.append(row);
    return copyText(rows);
}

void LoggingManager::setTrackEventSink(TrackEventSink sink) { m_trackEvent = std::move(sink); }

void LoggingManager::outputParserDidGenerateOutputMessages(const EncoderOutputLogs& outputMessages)
{
    // A new import replaces the whole table; rows of an earlier, longer batch
    // would otherwise stay behind and pass for records of this model.
    clear();
    addLogs(outputMessages);
}

void LoggingManager::addLogs(const EncoderOutputLogs& logs)
{
    int row = m_detailMessages.size();
    for (const EncoderOutputLog& log : logs) {
        qDebug() << log.code;
        qDebug().noquote() << log.title;
        qDebug().noquote() << log.message;
        qDebug() << int(log.priority);

        countCode(log.code);

        auto* item = new QStandardItem(shownTitle(log));
        m_model->setItem(row, 0, item);
        const bool isError = log.priority == LoggingManager::Error;
        item->setData(QIcon(isError ? QStringLiteral(":/IconEncoderError") : QStringLiteral(":/IconEncoderWarning")),
                      Qt::DecorationRole);
        m_detailMessages.append(log.message);
        m_records.append(log);
        ++row;
    }

    reportCounts();
    emit loggingManagerHasNewLogsAvailable(logs, LoggingManager::Error);
    m_rowCount = m_detailMessages.size();
}

// The ranges decide what is counted, not the record's kind: the encoder's
// errors are numbered 1000-1999 and its warnings 2000-2999.
void LoggingManager::countCode(int code)
{
    if (code >= 1000 && code <= 1999)
        ++m_errorCodeCounts[code];
    else if (code >= 2000 && code <= 2999)
        ++m_warningCodeCounts[code];
}

// The maps are never emptied: every batch reports the running totals of the
// whole session.
void LoggingManager::reportCounts()
{
    if (!m_trackEvent)
        return;
    for (auto it = m_errorCodeCounts.cbegin(); it != m_errorCodeCounts.cend(); ++it)
        m_trackEvent(QStringLiteral("model"), QStringLiteral("error"), QString::number(it.key()), it.value());
    for (auto it = m_warningCodeCounts.cbegin(); it != m_warningCodeCounts.cend(); ++it)
        m_trackEvent(QStringLiteral("model"), QStringLiteral("warning"), QString::number(it.key()), it.value());
}

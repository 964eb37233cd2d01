#include "BatchReport.h"

#include "ReplacingFile.h"

#include <QFile>
#include <QJsonDocument>

#include <algorithm>

int BatchReport::exitCodeOf(const QVector<BatchRecord>& records)
{
    int code = 0;
    for (const BatchRecord& record : records) {
        if (record.status == BatchRecord::Status::Failed)
            code = std::max(code, record.exitCode);
    }
    return code;
}

QVector<int> BatchReport::countsByStatus(const QVector<BatchRecord>& records)
{
    QVector<int> counts(4, 0);
    for (const BatchRecord& record : records)
        ++counts[int(record.status)];
    return counts;
}

QByteArray BatchReport::text(const QVector<BatchRecord>& records, double seconds, int exitCode, const Scope& scope)
{
    QByteArray text;
    for (const BatchRecord& record : records)
        text += QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact) + '\n';
    const QVector<int> counts = countsByStatus(records);
    const QJsonObject summary {{"inputs", records.size()},
                               {"converted", counts[int(BatchRecord::Status::Converted)]},
                               {"skipped", counts[int(BatchRecord::Status::Skipped)]},
                               {"failed", counts[int(BatchRecord::Status::Failed)]},
                               {"stopped", counts[int(BatchRecord::Status::Stopped)]},
                               {"seconds", qRound(seconds * 1000) / 1000.0},
                               {"exitCode", exitCode},
                               {"shard", QStringLiteral("%1/%2").arg(scope.shardIndex).arg(scope.shardCount)},
                               {"allInputs", scope.allInputs},
                               {"inputsDigest", scope.inputsDigest}};
    return text + QJsonDocument(QJsonObject {{"summary", summary}}).toJson(QJsonDocument::Compact) + '\n';
}

bool BatchReport::write(const QString& path, const QVector<BatchRecord>& records, double seconds, int exitCode,
                        const Scope& scope, QString* error)
{
    return writeBytes(path, text(records, seconds, exitCode, scope), error);
}

bool BatchReport::writeBytes(const QString& path, const QByteArray& bytes, QString* error)
{
    ReplacingFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

bool BatchReport::readFirstRecord(const QString& path, BatchRecord* record)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonObject object = QJsonDocument::fromJson(file.readLine()).object();
    if (!object.contains("input"))
        return false;
    *record = BatchRecord::fromJson(object);
    return true;
}

QVector<BatchRecord> BatchReport::readRecords(const QString& path)
{
    QVector<BatchRecord> records;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return records;
    while (!file.atEnd()) {
        const QJsonObject object = QJsonDocument::fromJson(file.readLine()).object();
        if (object.contains("input"))
            records.append(BatchRecord::fromJson(object));
    }
    return records;
}

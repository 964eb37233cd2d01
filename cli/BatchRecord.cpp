#include "BatchRecord.h"

#include <QCoreApplication>
#include <QJsonArray>

namespace {

const BatchRecord::Status kStatuses[] = {BatchRecord::Status::Converted, BatchRecord::Status::Skipped,
                                         BatchRecord::Status::Failed, BatchRecord::Status::Stopped};

QJsonArray recordsOf(const EncoderOutputLogs& records, LoggingPriorities::LoggingPriority priority)
{
    QJsonArray list;
    for (const EncoderOutputLog& record : records) {
        if (record.priority == priority)
            list.append(QJsonObject {{"code", record.code}, {"title", record.title}, {"message", record.message}});
    }
    return list;
}

void appendRecords(const QJsonArray& list, LoggingPriorities::LoggingPriority priority, EncoderOutputLogs* records)
{
    for (const QJsonValue& value : list) {
        const QJsonObject object = value.toObject();
        records->append({priority, object["code"].toInt(-1), object["title"].toString(), object["message"].toString()});
    }
}

} // namespace

QString BatchRecord::statusName(Status status)
{
    switch (status) {
    case Status::Converted:
        return QStringLiteral("converted");
    case Status::Skipped:
        return QStringLiteral("skipped");
    case Status::Failed:
        return QStringLiteral("failed");
    case Status::Stopped:
        break;
    }
    return QStringLiteral("stopped");
}

QJsonObject BatchRecord::toJson() const
{
    QJsonObject object {{"input", input},
                        {"output", output},
                        {"status", statusName(status)},
                        {"exitCode", exitCode},
                        {"seconds", qRound(seconds * 1000) / 1000.0},
                        {"errors", recordsOf(records, LoggingPriorities::Error)},
                        {"warnings", recordsOf(records, LoggingPriorities::Warning)}};
    if (!reason.isEmpty())
        object["reason"] = reason;
    if (hasCounts) {
        object["nodes"] = int(nodes);
        object["meshes"] = int(meshes);
        object["vertices"] = int(vertices);
        object["triangles"] = int(triangles);
    }
    return object;
}

BatchRecord BatchRecord::fromJson(const QJsonObject& object)
{
    BatchRecord record;
    record.input = object["input"].toString();
    record.output = object["output"].toString();
    for (Status status : kStatuses) {
        if (object["status"].toString() == statusName(status))
            record.status = status;
    }
    record.exitCode = object["exitCode"].toInt();
    record.reason = object["reason"].toString();
    record.seconds = object["seconds"].toDouble();
    appendRecords(object["errors"].toArray(), LoggingPriorities::Error, &record.records);
    appendRecords(object["warnings"].toArray(), LoggingPriorities::Warning, &record.records);
    record.hasCounts = object.contains("triangles");
    record.nodes = unsigned(object["nodes"].toInt());
    record.meshes = unsigned(object["meshes"].toInt());
    record.vertices = unsigned(object["vertices"].toInt());
    record.triangles = unsigned(object["triangles"].toInt());
    return record;
}

int BatchRecord::warningCount() const
{
    int count = 0;
    for (const EncoderOutputLog& record : records)
        count += record.priority == LoggingPriorities::Warning ? 1 : 0;
    return count;
}

QString BatchRecord::warningCountText() const
{
    const int count = warningCount();
    return count == 1 ? QCoreApplication::translate("BatchRecord", "1 warning")
                      : QCoreApplication::translate("BatchRecord", "%1 warnings").arg(count);
}

QString BatchRecord::failureReason(const QString& lastConsoleLine) const
{
    for (const EncoderOutputLog& record : records) {
        if (record.priority == LoggingPriorities::Error)
            return record.title.trimmed() + QStringLiteral(": ") + record.message;
    }
    return lastConsoleLine;
}

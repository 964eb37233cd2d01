#include "ReportMerge.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("CommandLineConverter", text); }

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

const char* const kStatusNames[] = {"converted", "skipped", "failed", "stopped"};

QByteArray lineOf(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n'; }

} // namespace

ReportMerge::Result ReportMerge::merge(const QStringList& reportPaths)
{
    Result result;
    QVector<Part> parts;
    for (const QString& path : reportPaths)
        parts += readParts(path, &result.problems);
    if (parts.isEmpty()) {
        result.problems << tr("No report holds a summary.");
        return result;
    }
    checkScope(parts, &result.problems);
    const QVector<const Part*> shards = partsByShard(parts, &result.problems);
    for (const Part& part : qAsConst(parts))
        result.exitCode = std::max(result.exitCode, part.summary.value("exitCode").toInt());
    result.text = mergedText(shards, parts.first().summary, result.exitCode);
    return result;
}

// A report is records then a summary, once or several times over.
QVector<ReportMerge::Part> ReportMerge::readParts(const QString& path, QStringList* problems)
{
    QVector<Part> parts;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problems << tr("The report %1 cannot be read: %2").arg(shown(path), file.errorString());
        return parts;
    }
    Part part;
    part.path = path;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (line.trimmed().isEmpty())
            continue;
        if (object.value("input").isString()) {
            part.records.append(object);
            continue;
        }
        if (!object.value("summary").isObject()) {
            *problems << tr("The report %1 holds a line that is neither a record nor a summary.").arg(shown(path));
            return parts;
        }
        part.summary = object.value("summary").toObject();
        const QRegularExpressionMatch shard
            = QRegularExpression("^(\\d{1,6})/(\\d{1,6})$").match(part.summary.value("shard").toString());
        part.shardIndex = shard.captured(1).toInt();
        part.shardCount = shard.captured(2).toInt();
        if (!shard.hasMatch() || part.shardIndex < 1 || part.shardIndex > part.shardCount)
            *problems << tr("The report %1 names no shard (an earlier version wrote it).").arg(shown(path));
        if (part.records.size() != part.summary.value("inputs").toInt())
            *problems << tr("The report %1 holds %2 records where its summary counts %3: records are missing.")
                             .arg(shown(path))
                             .arg(part.records.size())
                             .arg(part.summary.value("inputs").toInt());
        parts.append(part);
        part.records.clear();
    }
    if (!part.records.isEmpty() || parts.isEmpty())
        *problems << tr("The report %1 does not end with a summary: it was cut short.").arg(shown(path));
    return parts;
}

// Every part must come from the same run: the same shard count, number of
// inputs and digest of their list.
void ReportMerge::checkScope(const QVector<Part>& parts, QStringList* problems)
{
    const Part& first = parts.first();
    for (const Part& part : parts) {
        if (part.shardCount != first.shardCount)
            *problems << tr("%1 is one of %2 shards, %3 one of %4.")
                             .arg(shown(part.path))
                             .arg(part.shardCount)
                             .arg(shown(first.path))
                             .arg(first.shardCount);
        else if (part.summary.value("allInputs") != first.summary.value("allInputs")
                 || part.summary.value("inputsDigest") != first.summary.value("inputsDigest"))
            *problems << tr("%1 and %2 were run on different input lists.").arg(shown(first.path), shown(part.path));
    }
    int records = 0;
    for (const Part& part : parts)
        records += part.records.size();
    const int allInputs = first.summary.value("allInputs").toInt();
    if (records != allInputs)
        *problems << tr("The reports hold %1 records where the run had %2 inputs.").arg(records).arg(allInputs);
}

QVector<const ReportMerge::Part*> ReportMerge::partsByShard(const QVector<Part>& parts, QStringList* problems)
{
    const int count = std::max(1, parts.first().shardCount);
    QVector<const Part*> shards(count, nullptr);
    for (const Part& part : parts) {
        if (part.shardCount != count || part.shardIndex < 1)
            continue;
        const Part*& slot = shards[part.shardIndex - 1];
        if (slot)
            *problems << tr("Shard %1/%2 appears twice: in %3 and in %4.")
                             .arg(part.shardIndex)
                             .arg(count)
                             .arg(shown(slot->path), shown(part.path));
        else
            slot = &part;
    }
    for (int k = 0; k < count; ++k) {
        if (!shards.at(k))
            *problems << tr("Shard %1/%2 is missing.").arg(k + 1).arg(count);
    }
    return shards;
}

// The records in the run's order, then one summary over all of them.
QByteArray ReportMerge::mergedText(const QVector<const Part*>& shards, const QJsonObject& first, int exitCode)
{
    QByteArray text;
    QJsonObject summary {{"inputs", 0}, {"seconds", 0.0}};
    for (const char* status : kStatusNames)
        summary[status] = 0;
    int longest = 0;
    for (const Part* shard : shards)
        longest = std::max(longest, shard ? shard->records.size() : 0);
    for (int row = 0; row < longest; ++row) {
        for (const Part* shard : shards) {
            if (!shard || row >= shard->records.size())
                continue;
            const QJsonObject& record = shard->records.at(row);
            text += lineOf(record);
            const QString status = record.value("status").toString();
            if (summary.contains(status))
                summary[status] = summary.value(status).toInt() + 1;
            summary["inputs"] = summary.value("inputs").toInt() + 1;
        }
    }
    // The shards ran side by side: the run took as long as the longest.
    for (const Part* shard : shards) {
        if (shard)
            summary["seconds"]
                = std::max(summary.value("seconds").toDouble(), shard->summary.value("seconds").toDouble());
    }
    summary["exitCode"] = exitCode;
    summary["shards"] = shards.size();
    summary["allInputs"] = first.value("allInputs");
    summary["inputsDigest"] = first.value("inputsDigest");
    return text + lineOf(QJsonObject {{"summary", summary}});
}

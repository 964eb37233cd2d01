#include "BatchProgressFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

const char* BatchProgressFile::environmentVariable() { return "VELMORA_BATCH_PROGRESS"; }

void BatchProgressFile::append(int done, int total, const BatchRecord* record)
{
    const QString path = qEnvironmentVariable(environmentVariable());
    if (path.isEmpty())
        return;
    QJsonObject line = record ? record->toJson() : QJsonObject();
    line["done"] = done;
    line["total"] = total;
    QFile file(path);
    // One write of one line: an append-mode write lands whole at the end.
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
}

BatchProgressFile::BatchProgressFile(const QString& path)
    : m_path(path)
{
}

QVector<BatchProgressFile::Line> BatchProgressFile::readNewLines()
{
    QVector<Line> lines;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_offset))
        return lines;
    const QByteArray bytes = file.readAll();
    const int end = bytes.lastIndexOf('\n') + 1; // a line still being written waits
    m_offset += end;
    for (const QByteArray& text : bytes.left(end).split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(text).object();
        if (!object.contains("total"))
            continue;
        Line line;
        line.done = object["done"].toInt();
        line.total = object["total"].toInt();
        line.hasRecord = object.contains("input");
        if (line.hasRecord)
            line.record = BatchRecord::fromJson(object);
        lines.append(line);
    }
    return lines;
}

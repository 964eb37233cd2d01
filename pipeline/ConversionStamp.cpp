#include "ConversionStamp.h"

#include "VersionFile.h"
#include "ZipEntryReader.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const qint64 kMaxStampBytes = 64 * 1024;

bool sameRecordedFacts(const ConversionStamp& a, const ConversionStamp& b)
{
    return a.size == b.size && a.options.grouping == b.options.grouping && a.options.culling == b.options.culling
        && a.encoderVersion == b.encoderVersion;
}

ConversionStamp recordedFacts(const QFileInfo& input, const ConversionOptions& options)
{
    ConversionStamp stamp;
    stamp.size = input.size();
    stamp.modifiedMs = input.lastModified().toMSecsSinceEpoch();
    stamp.options = options;
    stamp.encoderVersion = VersionFile::encoderVersion();
    return stamp;
}

bool digestOf(const QString& path, QByteArray* md5)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return false;
    *md5 = hash.result().toHex();
    return true;
}

} // namespace

const char* ConversionStamp::fileName() { return "source.json"; }

const char* ConversionStamp::entryName() { return "model/.meta/source.json"; }

bool ConversionStamp::ofInput(const QString& inputPath, const ConversionOptions& options, ConversionStamp* stamp)
{
    *stamp = recordedFacts(QFileInfo(inputPath), options);
    return digestOf(inputPath, &stamp->md5);
}

QByteArray ConversionStamp::toJson() const
{
    const QJsonObject object {{"size", size},
                              {"modified", QDateTime::fromMSecsSinceEpoch(modifiedMs, Qt::UTC).toString(Qt::ISODateWithMs)},
                              {"md5", QString::fromLatin1(md5)},
                              {"grouping", options.grouping},
                              {"culling", options.culling},
                              {"encoderversion", encoderVersion}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

bool ConversionStamp::fromJson(const QByteArray& json, ConversionStamp* stamp)
{
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(json, &error).object();
    if (error.error != QJsonParseError::NoError || !object.value("size").isDouble()
        || !object.value("md5").isString())
        return false;
    stamp->size = qint64(object.value("size").toDouble());
    stamp->modifiedMs = QDateTime::fromString(object.value("modified").toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
    stamp->md5 = object.value("md5").toString().toLatin1();
    stamp->options.grouping = object.value("grouping").toString();
    stamp->options.culling = object.value("culling").toString();
    stamp->encoderVersion = object.value("encoderversion").toString();
    return true;
}

bool ConversionStamp::isUpToDate(const QString& inputPath, const QString& outputPath, const ConversionOptions& options)
{
    QByteArray json;
    ConversionStamp recorded;
    if (ZipEntryReader::read(outputPath, entryName(), kMaxStampBytes, &json) != ZipEntryReader::Status::Read
        || !fromJson(json, &recorded))
        return false;
    ConversionStamp current = recordedFacts(QFileInfo(inputPath), options);
    return sameRecordedFacts(current, recorded) && digestOf(inputPath, &current.md5) && current.md5 == recorded.md5;
}

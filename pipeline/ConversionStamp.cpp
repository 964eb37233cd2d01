#include "ConversionStamp.h"

#include "FileDigest.h"
#include "VersionFile.h"
#include "ZipEntryReader.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Room for the digests of some ten thousand files read.
const qint64 kMaxStampBytes = 4 * 1024 * 1024;
const int kCompanionDepth = 2;
const int kMaxCompanions = 4096;

bool isCompanion(const QFileInfo& file)
{
    static const QStringList kSuffixes = {"png", "jpg", "jpeg", "tga",  "bmp", "dds",  "tif", "tiff", "gif",
                                          "psd", "exr", "hdr",  "webp", "ktx", "ktx2", "mtl", "bin"};
    return kSuffixes.contains(file.suffix(), Qt::CaseInsensitive);
}

void listCompanions(const QString& folder, int depth, QFileInfoList* files)
{
    const QDir dir(folder);
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
        if (files->size() >= kMaxCompanions)
            return;
        if (isCompanion(file))
            files->append(file);
    }
    if (depth == kCompanionDepth)
        return;
    for (const QFileInfo& sub : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name))
        listCompanions(sub.filePath(), depth + 1, files);
}

QByteArray companionsDigest(const QString& inputPath)
{
    const QDir root = QFileInfo(inputPath).absoluteDir();
    QStringList lines;
    for (const QFileInfo& file : ConversionStamp::companionFiles(inputPath))
        lines << QStringLiteral("%1 %2 %3")
                     .arg(root.relativeFilePath(file.filePath()))
                     .arg(file.size())
                     .arg(file.lastModified().toMSecsSinceEpoch());
    return QCryptographicHash::hash(lines.join(QLatin1Char('\n')).toUtf8(), QCryptographicHash::Md5).toHex();
}

bool sameConversion(const ConversionStamp& a, const ConversionStamp& b)
{
    return a.size == b.size && a.options.grouping == b.options.grouping && a.options.culling == b.options.culling
        && a.encoderVersion == b.encoderVersion;
}

bool sameRecordedFacts(const ConversionStamp& a, const ConversionStamp& b)
{
    return sameConversion(a, b) && a.companions == b.companions;
}

ConversionStamp recordedFacts(const QFileInfo& input, const ImportOptions& options)
{
    ConversionStamp stamp;
    stamp.size = input.size();
    stamp.options = options;
    stamp.encoderVersion = VersionFile::encoderVersion();
    return stamp;
}

bool digestOf(const QString& path, QByteArray* md5)
{
    *md5 = FileDigest::md5Hex(path);
    return !md5->isEmpty();
}

// The input's own digest is compared on its own, so it is not read twice.
bool sameFilesRead(const QMap<QString, QByteArray>& recorded, const QString& inputPath)
{
    const QFileInfo input(inputPath);
    for (auto file = recorded.begin(); file != recorded.end(); ++file) {
        const QString path = QDir::cleanPath(input.absoluteDir().absoluteFilePath(file.key()));
        if (path != input.absoluteFilePath() && FileDigest::md5Hex(path) != file.value())
            return false;
    }
    return true;
}

QJsonObject filesReadObject(const QMap<QString, QByteArray>& files)
{
    QJsonObject object;
    for (auto file = files.begin(); file != files.end(); ++file)
        object.insert(file.key(), QString::fromLatin1(file.value()));
    return object;
}

} // namespace

QFileInfoList ConversionStamp::companionFiles(const QString& inputPath)
{
    QFileInfoList files;
    listCompanions(QFileInfo(inputPath).absolutePath(), 0, &files);
    return files;
}

const char* ConversionStamp::fileName() { return "source.json"; }

const char* ConversionStamp::entryName() { return "model/.meta/source.json"; }

bool ConversionStamp::ofInput(const QString& inputPath, const ImportOptions& options, ConversionStamp* stamp)
{
    return ofInput(inputPath, options, FileDigest::Snapshot(), stamp);
}

bool ConversionStamp::ofInput(const QString& inputPath, const ImportOptions& options, const FileDigest::Snapshot& known,
                              ConversionStamp* stamp)
{
    const QFileInfo input(inputPath);
    *stamp = recordedFacts(input, options);
    stamp->companions = companionsDigest(input.absoluteFilePath());
    if (known.describes(input)) {
        stamp->md5 = known.md5;
        return true;
    }
    return digestOf(inputPath, &stamp->md5);
}

bool ConversionStamp::ofConversion(const QString& inputPath, const ImportOptions& options,
                                   const QMap<QString, QByteArray>& filesRead, const QStringList& filesMissing,
                                   ConversionStamp* stamp)
{
    const QFileInfo input(inputPath);
    *stamp = recordedFacts(input, options);
    stamp->recordsFilesRead = true;
    // Relative to the model, so that a container names no one's folders and
    // a model moved with its files stays up to date. The encoder's digests
    // are of the bytes it converted: a file saved again after it read it
    // does not count as converted.
    for (auto file = filesRead.begin(); file != filesRead.end(); ++file)
        stamp->filesRead.insert(input.absoluteDir().relativeFilePath(file.key()), file.value());
    // No digest: one saved there later no longer matches.
    for (const QString& path : filesMissing)
        stamp->filesRead.insert(input.absoluteDir().relativeFilePath(path), QByteArray());
    // The model's own digest too is of the bytes converted, where the encoder
    // read it: hashed now, a model saved since would pass for converted.
    const QByteArray modelRead = stamp->filesRead.value(input.fileName());
    if (!modelRead.isEmpty()) {
        stamp->md5 = modelRead;
        return true;
    }
    return digestOf(inputPath, &stamp->md5);
}

QByteArray ConversionStamp::toJson() const
{
    QJsonObject object {{"size", size},
                        {"md5", QString::fromLatin1(md5)},
                        {"companions", QString::fromLatin1(companions)},
                        {"grouping", options.groupingName()},
                        {"culling", options.cullingName()},
                        {"encoderversion", encoderVersion}};
    if (recordsFilesRead)
        object.insert("read", filesReadObject(filesRead));
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

bool ConversionStamp::fromJson(const QByteArray& json, ConversionStamp* stamp)
{
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(json, &error).object();
    if (error.error != QJsonParseError::NoError || !object.value("size").isDouble() || !object.value("md5").isString())
        return false;
    // Older records also hold the input's "modified" time; it was never
    // compared and is ignored.
    stamp->size = qint64(object.value("size").toDouble());
    stamp->md5 = object.value("md5").toString().toLatin1();
    stamp->companions = object.value("companions").toString().toLatin1();
    // A stamp naming options this program does not know matches nothing.
    if (!stamp->options.setGroupingName(object.value("grouping").toString())
        || !stamp->options.setCullingName(object.value("culling").toString()))
        return false;
    stamp->encoderVersion = object.value("encoderversion").toString();
    stamp->recordsFilesRead = object.value("read").isObject();
    const QJsonObject read = object.value("read").toObject();
    for (auto file = read.begin(); file != read.end(); ++file)
        stamp->filesRead.insert(file.key(), file.value().toString().toLatin1());
    return true;
}

bool ConversionStamp::sameSource(const ConversionStamp& other) const
{
    return sameRecordedFacts(*this, other) && md5 == other.md5;
}

bool ConversionStamp::isUpToDate(const QString& inputPath, const QString& outputPath, const ImportOptions& options)
{
    QByteArray json;
    ConversionStamp recorded;
    if (ZipEntryReader::read(outputPath, entryName(), kMaxStampBytes, &json) != ZipEntryReader::Status::Read
        || !fromJson(json, &recorded))
        return false;
    ConversionStamp current = recordedFacts(QFileInfo(inputPath), options);
    return recorded.recordsFilesRead && sameConversion(current, recorded) && digestOf(inputPath, &current.md5)
        && current.md5 == recorded.md5 && sameFilesRead(recorded.filesRead, inputPath);
}

#include "ConversionCache.h"

#include "WorkspaceService.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace {

const char kEntryFile[] = "entry.json";
const char kModelFolder[] = "model";

QJsonObject readEntry(const QString& entryFolder)
{
    QFile file(entryFolder + QLatin1Char('/') + QLatin1String(kEntryFile));
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Folders of the model folder that every import makes anew: the previews of
// the viewer and the application's shaders. They are not copied at all, so
// the viewer may write its previews while the entry is being stored.
const QStringList& remadeFolders()
{
    static const QStringList kFolders = {QStringLiteral(".meta"), QStringLiteral("shaders")};
    return kFolders;
}

} // namespace

ConversionCache::ConversionCache(const QString& companyFolder, const QString& encoderExecutable)
    : m_folder(QDir::cleanPath(companyFolder + QStringLiteral("/cache")))
    , m_encoderExecutable(encoderExecutable)
{
}

QString ConversionCache::entryFolder(const QString& inputPath, const ConversionStamp& source) const
{
    const QByteArray path = QFile::encodeName(QFileInfo(inputPath).absoluteFilePath());
    return m_folder + QLatin1Char('/') + QString::fromLatin1(source.md5) + QLatin1Char('-')
        + QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Md5).toHex()) + QLatin1Char('-')
        + source.options.groupingName() + QLatin1Char('-') + source.options.cullingName();
}

QString ConversionCache::encoderIdentity() const
{
    const QFileInfo encoder(m_encoderExecutable);
    return QStringLiteral("%1 %2 %3")
        .arg(encoder.canonicalFilePath())
        .arg(encoder.size())
        .arg(encoder.lastModified().toMSecsSinceEpoch());
}

bool ConversionCache::restore(const QString& inputPath, const ConversionStamp& source, const QString& modelFolder,
                              EncoderProcess::Result* result) const
{
    const QString entry = entryFolder(inputPath, source);
    const QJsonObject recorded = readEntry(entry);
    ConversionStamp stamp;
    if (!ConversionStamp::fromJson(QJsonDocument(recorded.value("source").toObject()).toJson(), &stamp)
        || !stamp.sameSource(source) || recorded.value("encoder").toString() != encoderIdentity())
        return false;

    const QDir before(modelFolder);
    const QStringList existing = before.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    // Copies, not links: whatever later writes into the workspace (a
    // reimport, a tool) must not reach into the entry.
    if (!WorkspaceService::copyDirectory(entry + QLatin1Char('/') + QLatin1String(kModelFolder), modelFolder)) {
        // Pruned by another process while copying: leave the folder as it was.
        for (const QFileInfo& added : before.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
            if (existing.contains(added.fileName()))
                continue;
            if (added.isDir() && !added.isSymLink())
                WorkspaceService::removeDirectoryRecursively(added.filePath());
            else
                QFile::remove(added.filePath());
        }
        return false;
    }
    result->outcome = EncoderProcess::Outcome::Finished;
    result->exitCode = 0;
    result->standardOutput = recorded.value("standardOutput").toString();
    result->standardError = recorded.value("standardError").toString();
    // Most recently used first when pruning.
    QFile entryFile(entry + QLatin1Char('/') + QLatin1String(kEntryFile));
    if (entryFile.open(QIODevice::ReadWrite))
        entryFile.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
    return true;
}

void ConversionCache::store(const QString& inputPath, const ConversionStamp& source, const QString& modelFolder,
                            const EncoderProcess::Result& result) const
{
    const QString entry = entryFolder(inputPath, source);
    const QString staging = entry + QStringLiteral(".part-%1").arg(QCoreApplication::applicationPid())
        + QLatin1Char('-') + QString::number(quintptr(this), 16);
    const QJsonObject recorded {{"source", QJsonDocument::fromJson(source.toJson()).object()},
                                {"encoder", encoderIdentity()},
                                {"standardOutput", result.standardOutput},
                                {"standardError", result.standardError}};
    QSaveFile entryFile(staging + QLatin1Char('/') + QLatin1String(kEntryFile));
    const QString modelCopy = staging + QLatin1Char('/') + QLatin1String(kModelFolder);
    const bool written = WorkspaceService::copyDirectory(modelFolder, modelCopy, remadeFolders())
        && entryFile.open(QIODevice::WriteOnly)
        && entryFile.write(QJsonDocument(recorded).toJson(QJsonDocument::Compact)) >= 0 && entryFile.commit();
    // An entry of an older encoder makes way; one that another process has
    // just put in place stays, and this copy goes.
    if (written && QFileInfo::exists(entry) && readEntry(entry).value("encoder").toString() != encoderIdentity())
        WorkspaceService::removeDirectoryRecursively(entry);
    if (!written || !QDir().rename(staging, entry))
        WorkspaceService::removeDirectoryRecursively(staging);
    prune();
}

void ConversionCache::prune() const
{
    const QDir cache(m_folder);
    QFileInfoList entries;
    for (const QFileInfo& folder : cache.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        if (!folder.fileName().contains(QLatin1String(".part-")))
            entries.append(QFileInfo(folder.filePath() + QLatin1Char('/') + QLatin1String(kEntryFile)));
    }
    std::sort(entries.begin(), entries.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return a.lastModified() > b.lastModified(); });
    for (int i = kCapacity; i < entries.size(); ++i)
        WorkspaceService::removeDirectoryRecursively(entries.at(i).path());
}

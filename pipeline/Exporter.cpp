#include "Exporter.h"

#include "ContainerImport.h"
#include "ReplacingFile.h"
#include "VersionFile.h"
#include "WorkspaceService.h"
#include "ZipArchiveWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryFile>

Exporter::Exporter(const QString& sourceFolder, const QString& outFilePath, WorkspaceService* workspaces)
    : m_sourceFolder(sourceFolder)
    , m_outFilePath(outFilePath)
    , m_service(workspaces)
{
    setAutoDelete(true);
    if (m_service)
        m_service->holdFolder(m_sourceFolder);
}

Exporter::~Exporter()
{
    if (m_service)
        m_service->releaseFolder(m_sourceFolder);
}

void Exporter::run()
{
    const Result result = exportFolder(m_sourceFolder, m_outFilePath, nullptr, m_unpackedFrom);
    if (!result.ok) {
        emit exporterDidFail(m_outFilePath, result.errorText);
        return;
    }
    emit exporterDidFinish(m_outFilePath);
}

Exporter::Result Exporter::exportFolder(const QString& sourceFolder, const QString& outFilePath,
                                        const std::atomic<bool>* stopFlag, const QString& unpackedFrom)
{
    Result result;
    result.errorText = refusalOf(sourceFolder);
    if (!result.errorText.isEmpty())
        return result;
    if (!checkTargetWritable(outFilePath, &result.errorText))
        return result;

    ZipArchiveWriter writer;
    writer.setStopFlag(stopFlag);
    if (!unpackedFrom.isEmpty())
        writer.takeOverFrom(unpackedFrom);
    if (writer.open(outFilePath))
        writer.addFolder(sourceFolder, QStringLiteral("model"));
    if (!writer.close()) {
        result.errorText = writer.errorString();
        return result;
    }
    result.ok = true;
    result.fileCount = writer.fileCount();
    return result;
}

QString Exporter::refusalOf(const QString& sourceFolder)
{
    const QString shownFolder = QDir::toNativeSeparators(sourceFolder);
    if (!QFileInfo(sourceFolder).isDir())
        return tr("There is no model to export: the folder %1 does not exist.").arg(shownFolder);
    QString versionError;
    QString version;
    int format = -1;
    if (!VersionFile::read(sourceFolder, &versionError, &format, &version))
        return tr("There is no model to export in %1: its version file is missing or broken.").arg(shownFolder);
    const QString missing = ContainerImport::missingModel(sourceFolder, format);
    if (!missing.isEmpty())
        return tr("There is no model to export in %1: %2.").arg(shownFolder, missing);
    // minizip writes no ZIP64 end record for more entries, and the archive
    // it leaves cannot be read back by anyone.
    const int files = countFiles(sourceFolder, ZipArchiveWriter::kMaximumEntryCount + 1);
    if (files > ZipArchiveWriter::kMaximumEntryCount)
        return tr("The model folder %1 holds more than %2 files, more than a vm3 file can hold.")
            .arg(shownFolder)
            .arg(ZipArchiveWriter::kMaximumEntryCount);
    return QString();
}

int Exporter::countFiles(const QString& folder, int stopAt)
{
    // Counted the way the writer walks: links are not followed.
    int count = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (count < stopAt && it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

bool Exporter::checkTargetWritable(const QString& outFilePath, QString* errorText)
{
    const QFileInfo target(outFilePath);
    const QString shownPath = QDir::toNativeSeparators(outFilePath);
    auto refuse = [&](const QString& text) {
        if (errorText)
            *errorText = text;
        return false;
    };
    const QString refusal = ReplacingFile::refusalOf(outFilePath);
    if (!refusal.isEmpty())
        return refuse(refusal);
    if (target.isDir())
        return refuse(tr("%1 is a folder.").arg(shownPath));
    // A link is replaced itself, so only a file's own permissions count.
    if (!target.isSymLink() && target.exists() && !target.isWritable())
        return refuse(tr("%1 is read-only.").arg(shownPath));
    // The archive is first written beside the target, so the folder itself
    // must take a new file. Probing with a temporary file leaves an existing
    // target as it is.
    const QDir folder = target.absoluteDir();
    if (!folder.exists())
        return refuse(tr("The folder %1 does not exist.").arg(QDir::toNativeSeparators(folder.path())));
    QTemporaryFile probe(folder.filePath(QStringLiteral(".vm3-probe-XXXXXX")));
    if (!probe.open())
        return refuse(tr("The folder %1 is not writable.").arg(QDir::toNativeSeparators(folder.path())));
    return true;
}

#include "Exporter.h"

#include "AnalyticsTracker.h"
#include "ZipArchiveWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

Exporter::Exporter(const QString& sourceFolder, const QString& outFilePath)
    : m_sourceFolder(sourceFolder)
    , m_outFilePath(outFilePath)
{
    setAutoDelete(true);
}

void Exporter::run()
{
    const Result result = exportFolder(m_sourceFolder, m_outFilePath);
    if (!result.ok) {
        emit exporterDidFail(m_outFilePath, result.errorText);
        return;
    }
    if (AnalyticsTracker* tracker = AnalyticsTracker::instance())
        tracker->trackEvent(QStringLiteral("model"), QStringLiteral("export"), QStringLiteral("vm3"), 1);
    emit exporterDidFinish(m_outFilePath);
}

Exporter::Result Exporter::exportFolder(const QString& sourceFolder, const QString& outFilePath)
{
    Result result;
    if (!QFileInfo(sourceFolder).isDir()) {
        result.errorText = tr("There is no model to export: the folder %1 does not exist.").arg(sourceFolder);
        return result;
    }
    if (!checkTargetWritable(outFilePath, &result.errorText))
        return result;

    ZipArchiveWriter writer;
    if (writer.open(outFilePath))
        writer.addFolder(sourceFolder, QStringLiteral("model"));
    if (!writer.close()) {
        result.errorText
            = tr("Exporting to %1 failed: %2").arg(QDir::toNativeSeparators(outFilePath), writer.errorString());
        return result;
    }
    result.ok = true;
    result.fileCount = writer.fileCount();
    return result;
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
    if (target.isDir())
        return refuse(tr("%1 is a folder.").arg(shownPath));
    if (target.exists() && !target.isWritable())
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

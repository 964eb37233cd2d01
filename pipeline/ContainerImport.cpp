#include "ContainerImport.h"

#include "RegularFile.h"
#include "VersionFile.h"
#include "WorkspaceService.h"
#include "ZipArchiveReader.h"

#include "BundleData.h"
#include "BundleReader.h"
#include "ShaderIncludes.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <vector>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("ContainerImport", text); }

ContainerImport::Result failure(ContainerImport::Status status, const QString& text)
{
    ContainerImport::Result result;
    result.status = status;
    result.errorText = text;
    return result;
}

QString unpackFailureText(const ZipArchiveReader& reader, const QString& archivePath)
{
    const QString name = QFileInfo(archivePath).fileName();
    switch (reader.status()) {
    case ZipArchiveReader::CannotOpen:
        return tr("The file %1 could not be read.").arg(name);
    case ZipArchiveReader::UnsafeEntry:
        return tr("The file %1 was refused: it contains an entry that would be written outside "
                  "the model folder (%2).")
            .arg(name, reader.errorString());
    case ZipArchiveReader::WriteFailed:
    case ZipArchiveReader::NoSpace:
        return tr("The file %1 could not be unpacked: %2.").arg(name, reader.errorString());
    case ZipArchiveReader::TooLarge:
    case ZipArchiveReader::Unsupported:
        return tr("The file %1 was refused: %2.").arg(name, reader.errorString());
    case ZipArchiveReader::Damaged:
    case ZipArchiveReader::Stopped:
    case ZipArchiveReader::Ok:
        break;
    }
    return tr("The file %1 is damaged and cannot be opened (%2).").arg(name, reader.errorString());
}

} // namespace

ContainerImport::Result ContainerImport::run(const QString& archivePath, const WorkspacePaths& workspace,
                                             const WorkspaceService& service, const std::atomic<bool>* stopFlag)
{
    service.prepareWorkspace(workspace);

    ZipArchiveReader reader;
    reader.setStopFlag(stopFlag);
    if (!reader.open(archivePath) || !reader.extractAll(workspace.res)) {
        if (reader.status() == ZipArchiveReader::Stopped)
            return failure(Status::Stopped, reader.errorString());
        const bool diskAtFault
            = reader.status() == ZipArchiveReader::WriteFailed || reader.status() == ZipArchiveReader::NoSpace;
        return failure(diskAtFault ? Status::WriteFailed : Status::Damaged, unpackFailureText(reader, archivePath));
    }

    if (!QFileInfo::exists(workspace.meta))
        QDir().mkdir(workspace.meta);
    Result result = checkVersion(workspace);
    // Nothing of a refused container stays to be loaded or exported.
    if (result.status != Status::Loaded)
        WorkspaceService::removeDirectoryRecursively(workspace.model);
    if (result.status == Status::Damaged)
        result.errorText = tr("The file %1 is damaged and cannot be opened (%2).")
                               .arg(QFileInfo(archivePath).fileName(), result.errorText);
    return result;
}

ContainerImport::Result ContainerImport::checkVersion(const WorkspacePaths& workspace)
{
    Result result;
    if (!VersionFile::read(workspace.model, &result.errorText, &result.format, &result.version)) {
        result.status = Status::VersionError;
        return result;
    }
    if (result.format > VersionFile::kCurrentFormat)
        return failure(Status::VersionError, VersionFile::tooNewText());
    QString missing = missingModel(workspace.model, result.format);
    if (missing.isEmpty() && result.format >= 3)
        missing = unreadableBundle(workspace.modelFile);
    if (missing.isEmpty())
        missing = oversizedPreview(workspace.meta);
    if (missing.isEmpty())
        missing = overgrownShader(workspace.model);
    if (!missing.isEmpty())
        return failure(Status::Damaged, missing);
    result.status = Status::Loaded;
    if (result.format >= 3)
        result.modelPath = workspace.relativeModel + QStringLiteral("/model.gpb");
    else
        result.modelPath = WorkspaceService::findSceneFile(workspace.model);
    return result;
}

QString ContainerImport::missingModel(const QString& modelFolder, int format)
{
    if (format >= 3) {
        if (!QFileInfo(modelFolder + QStringLiteral("/model.gpb")).isFile())
            return tr("it holds no model: model/model.gpb is missing or not a file");
        return QString();
    }
    const QString scene = WorkspaceService::findSceneFile(modelFolder);
    if (scene.isEmpty() || !QFileInfo(modelFolder + QLatin1Char('/') + scene).isFile())
        return tr("it holds no model: the scene file of format %1 is missing").arg(format);
    return QString();
}

QString ContainerImport::unreadableBundle(const QString& bundlePath)
{
    QFile file(bundlePath);
    QString reason;
    if (!RegularFile::openForReading(&file, QIODevice::NotOpen, &reason))
        return tr("its model cannot be read: %1").arg(reason);
    std::vector<unsigned char> bytes(size_t(file.size()));
    if (file.read(reinterpret_cast<char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()))
        return tr("its model cannot be read: %1").arg(file.errorString());
    // What the window and --info load: the bundle's first scene.
    engine::BundleReader reader;
    engine::BundleData data;
    if (!reader.open(std::move(bytes)) || !reader.readScene(nullptr, &data))
        return tr("its model cannot be loaded: %1").arg(QString::fromStdString(reader.error()));
    return QString();
}

QString ContainerImport::oversizedPreview(const QString& metaFolder)
{
    const QStringList images = QDir(metaFolder).entryList({QStringLiteral("*.png")}, QDir::Files | QDir::Hidden);
    for (const QString& name : images) {
        // The header alone: a preview is decoded only once it is known to fit.
        const QSize size = QImageReader(metaFolder + QLatin1Char('/') + name).size();
        if (size.width() > kMaximumPreviewEdge || size.height() > kMaximumPreviewEdge)
            return tr("its preview %1 is %2 x %3 pixels, more than %4 x %4")
                .arg(name)
                .arg(size.width())
                .arg(size.height())
                .arg(kMaximumPreviewEdge);
    }
    return QString();
}

// Any file may be named a shader by a material, so every one small enough to
// be taken as one is tried; only files that include something are expanded.
QString ContainerImport::overgrownShader(const QString& modelFolder)
{
    QDirIterator it(modelFolder, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (it.fileInfo().size() > qint64(engine::ShaderIncludes::kMaxBytes)
            || !RegularFile::openForReading(&file, QIODevice::NotOpen))
            continue;
        const QByteArray text = file.readAll();
        if (!text.contains("#include"))
            continue;
        std::string expanded;
        if (engine::ShaderIncludes::expand(QFile::encodeName(path).toStdString(), text.toStdString(), &expanded)
            == engine::ShaderIncludes::Outcome::TooLarge)
            return tr("its file %1 includes other files past %2 levels, %3 includes or %4 MB altogether")
                .arg(QDir(modelFolder).relativeFilePath(path))
                .arg(engine::ShaderIncludes::kMaxDepth)
                .arg(engine::ShaderIncludes::kMaxIncludes)
                .arg(engine::ShaderIncludes::kMaxBytes >> 20);
    }
    return QString();
}

void ContainerImport::removePreviews(const QString& metaFolder)
{
    for (const char* name : {"topdown.png", "perspective.png"})
        QFile::remove(metaFolder + QLatin1Char('/') + QLatin1String(name));
}

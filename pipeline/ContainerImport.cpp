#include "ContainerImport.h"

#include "VersionFile.h"
#include "WorkspaceService.h"
#include "ZipArchiveReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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
        return tr("The file %1 could not be unpacked: %2.").arg(name, reader.errorString());
    case ZipArchiveReader::TooLarge:
        return tr("The file %1 was refused: %2.").arg(name, reader.errorString());
    case ZipArchiveReader::Damaged:
    case ZipArchiveReader::Ok:
        break;
    }
    return tr("The file %1 is damaged and cannot be opened (%2).").arg(name, reader.errorString());
}

} // namespace

ContainerImport::Result ContainerImport::run(const QString& archivePath, const WorkspacePaths& workspace,
                                             const WorkspaceService& service)
{
    service.prepareWorkspace(workspace);

    ZipArchiveReader reader;
    if (!reader.open(archivePath) || !reader.extractAll(workspace.res))
        return failure(reader.status() == ZipArchiveReader::WriteFailed ? Status::WriteFailed : Status::Damaged,
                       unpackFailureText(reader, archivePath));

    if (!QFileInfo::exists(workspace.meta))
        QDir().mkdir(workspace.meta);
    Result result = checkVersion(workspace);
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
    if (result.format > VersionFile::currentFormat)
        return failure(Status::VersionError, VersionFile::tooNewText());
    const QString missing = missingModel(workspace.model, result.format);
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

#include "ModelManager.h"

#include "ContainerImport.h"
#include "EncoderOutputParser.h"
#include "Exporter.h"
#include "FileDigestTask.h"
#include "ModelFileTypes.h"
#include "WorkspaceService.h"

#include <QDir>
#include <QFileInfo>
#include <QThreadPool>

ModelManager::ModelManager(WorkspaceService& workspaces, QObject* parent)
    : QObject(parent)
    , m_workspaces(workspaces)
{
    registerEncoderOutputLogTypes();
    FileDigestTask::registerTypes();
    qRegisterMetaType<LoadedModel>("LoadedModel");
}

// A loader still running for us has nobody left to report to.
ModelManager::~ModelManager() { cancelImport(); }

void ModelManager::cancelImport() { startNewImport(); }

bool ModelManager::isSupportedSuffix(const QString& suffix) { return ModelFileTypes::isSupportedSuffix(suffix); }

void ModelManager::openModel(const QString& modelPath)
{
    if (modelPath.isEmpty())
        return;
    const quint64 opening = ++m_openGeneration; // supersedes any file still being hashed
    auto* task = new FileDigestTask(modelPath);
    connect(task, &FileDigestTask::digestTaken, this,
            [this, opening](const QString& path, const FileDigest::Snapshot& digest) {
                digestTaken(opening, path, digest);
            });
    QThreadPool::globalInstance()->start(task);
}

void ModelManager::digestTaken(quint64 opening, const QString& modelPath, const FileDigest::Snapshot& digest)
{
    if (opening != m_openGeneration)
        return; // another file was opened meanwhile
    m_workspaces.setModelDigest(digest);
    importModel(modelPath);
}

void ModelManager::importModel(QString modelPath)
{
    if (modelPath.isEmpty())
        return;
    m_currentModelPath = modelPath;
    startNewImport();
    emit importStarted(modelPath);
    // A file that cannot be read has no workspace of its own; converting it
    // would write into the shared company folder, which nothing ever deletes.
    if (!m_workspaces.paths().hasModel()) {
        emit errorLoadingModel(modelPath);
        emit signalImportError(tr("The file %1 cannot be read.").arg(QDir::toNativeSeparators(modelPath)));
        return;
    }
    if (ModelFileTypes::isContainerFile(modelPath))
        importContainer();
    else
        importWithEncoder();
}

void ModelManager::reimportModel()
{
    if (!m_currentModelPath.isEmpty())
        importModel(m_currentModelPath);
}

// Supersedes whatever import is still running: its encoder is stopped and
// its result, should it still arrive, is dropped.
void ModelManager::startNewImport()
{
    ++m_importGeneration;
    ++m_openGeneration; // a digest still being taken no longer counts
    if (m_runningImportCancel)
        m_runningImportCancel->store(true);
    m_runningImportCancel.reset();
}

void ModelManager::importWithEncoder()
{
    auto* loader = new Loader(m_currentModelPath, m_workspaces);
    loader->setImportOptions(m_importOptions);
    m_runningImportCancel = std::make_shared<std::atomic<bool>>(false);
    loader->setCancelFlag(m_runningImportCancel);

    const quint64 generation = m_importGeneration;
    connect(loader, &Loader::loaderDidFinish, this, [this, generation](bool modelWritten, const LoadedModel& model) {
        if (generation != m_importGeneration)
            return;
        m_runningImportCancel.reset();
        loaderDidFinish(modelWritten, model);
    });
    QThreadPool::globalInstance()->start(loader);
}

void ModelManager::importContainer()
{
    const ContainerImport::Result result = ContainerImport::run(m_currentModelPath, m_workspaces.paths(), m_workspaces);
    switch (result.status) {
    case ContainerImport::Status::Loaded:
        // The viewer draws them anew; any it cannot draw must not be the old model's.
        ContainerImport::removePreviews(m_workspaces.paths().meta);
        announceContainer(result.modelPath, result.version, result.format);
        break;
    case ContainerImport::Status::VersionError:
        reportContainerFailure(result.errorText, QString());
        break;
    case ContainerImport::Status::Damaged:
    case ContainerImport::Status::WriteFailed:
    case ContainerImport::Status::Stopped:
        reportContainerFailure(QString(), result.errorText);
        break;
    }
}

void ModelManager::loadModel()
{
    const ContainerImport::Result result = ContainerImport::checkVersion(m_workspaces.paths());
    if (result.status == ContainerImport::Status::Loaded) {
        announceContainer(result.modelPath, result.version, result.format);
    } else if (result.status == ContainerImport::Status::Damaged) {
        reportContainerFailure(QString(), tr("The model folder holds no model (%1).").arg(result.errorText));
    } else {
        reportContainerFailure(result.errorText, QString());
    }
}

// A broken version file gets the "too old" treatment; a damaged archive gets
// its own message, because opening the source file anew would not help.
void ModelManager::reportContainerFailure(const QString& versionErrorText, const QString& importErrorText)
{
    emit errorLoadingModel(m_containerModelPath);
    if (!versionErrorText.isEmpty())
        emit signalVersionError(tr(versionErrorText.toUtf8().constData()));
    if (!importErrorText.isEmpty())
        emit signalImportError(importErrorText);
}

// The log window keeps every record of the failed run; the dialog repeats
// the errors, which say why there is no model.
void ModelManager::reportConversionFailure(const EncoderOutputLogs& records)
{
    QStringList errors;
    for (const EncoderOutputLog& record : records) {
        if (record.priority == LoggingPriorities::Error)
            errors << describeEncoderOutputLog(record);
    }
    emit errorLoadingModel(m_currentModelPath);
    emit signalImportError(tr("The file %1 could not be converted.").arg(QDir::toNativeSeparators(m_currentModelPath))
                           + QStringLiteral("\n\n") + errors.join(QLatin1Char('\n')));
}

void ModelManager::announceContainer(const QString& modelPath, const QString& version, int format)
{
    m_containerModelPath = modelPath;
    LoadedModel model;
    model.modelFolder = m_workspaces.paths().model;
    model.modelPath = modelPath;
    model.version = version;
    model.format = format;
    loaderDidFinish(true, model);
}

void ModelManager::loaderDidFinish(bool modelWritten, const LoadedModel& model)
{
    emit importRecordsReady(model.records);
    if (!modelWritten) {
        reportConversionFailure(model.records);
        return;
    }
    emit newModelLoaded(m_currentModelPath);
    emit modelReady(model);
}

void ModelManager::exportModel(const QString& sourceFolder, const QString& outFilePath)
{
    if (sourceFolder.isEmpty() || outFilePath.isEmpty())
        return;
    auto* exporter = new Exporter(sourceFolder, outFilePath, &m_workspaces);
    if (ModelFileTypes::isContainerFile(m_currentModelPath))
        exporter->setUnpackedFrom(m_currentModelPath);
    connect(exporter, &Exporter::exporterDidFinish, this, &ModelManager::exporterDidFinish);
    connect(exporter, &Exporter::exporterDidFail, this, &ModelManager::modelExportFailed);
    QThreadPool::globalInstance()->start(exporter);
}

void ModelManager::exporterDidFinish(const QString& exportedFileName) { emit modelExported(exportedFileName); }

#include "ModelManager.h"

#include "ContainerImport.h"
#include "Exporter.h"
#include "ModelFileTypes.h"
#include "SceneGraph.h"
#include "WorkspaceService.h"

#include <QDir>
#include <QFileInfo>
#include <QThreadPool>

ModelManager::ModelManager(QObject* parent)
    : QObject(parent)
{
    registerEncoderOutputLogTypes();
}

ModelManager::~ModelManager()
{
    // A loader still running for us has nobody left to report to.
    if (m_runningImportCancel)
        m_runningImportCancel->store(true);
}

bool ModelManager::isSupportedSuffix(const QString& suffix) { return ModelFileTypes::isSupportedSuffix(suffix); }

void ModelManager::importModel(QString modelPath)
{
    if (modelPath.isEmpty())
        return;
    m_currentModelPath = modelPath;
    m_encoderOutputParser.clearLogs();
    startNewImport();
    emit importStarted(modelPath);
    // A file that cannot be read has no workspace of its own; converting it
    // would write into the shared company folder, which nothing ever deletes.
    if (!WorkspaceService::instanceOrDefault().paths().hasModel()) {
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
    if (m_runningImportCancel)
        m_runningImportCancel->store(true);
    m_runningImportCancel.reset();
}

void ModelManager::importWithEncoder()
{
    auto* loader = new Loader(m_currentModelPath);
    m_runningImportCancel = std::make_shared<std::atomic<bool>>(false);
    loader->setCancelFlag(m_runningImportCancel);

    const quint64 generation = m_importGeneration;
    connect(
        loader, &Loader::loaderDidFinish, this,
        [this, generation](int retValue, QString modelPath, QString version, int format, QString log, QString error) {
            if (generation != m_importGeneration)
                return;
            m_runningImportCancel.reset();
            loaderDidFinish(retValue, modelPath, version, format, log, error);
        });
    QThreadPool::globalInstance()->start(loader);
}

void ModelManager::importContainer()
{
    const WorkspaceService& service = WorkspaceService::instanceOrDefault();
    const ContainerImport::Result result = ContainerImport::run(m_currentModelPath, service.paths(), service);
    switch (result.status) {
    case ContainerImport::Status::Loaded:
        m_containerModelPath = result.modelPath;
        // The viewer draws them anew; any it cannot draw must not be the old model's.
        ContainerImport::removePreviews(service.paths().meta);
        loaderDidFinish(0, result.modelPath, result.version, result.format, QString(), QString());
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
    const ContainerImport::Result result = ContainerImport::checkVersion(WorkspaceService::instanceOrDefault().paths());
    if (result.status == ContainerImport::Status::Loaded) {
        m_containerModelPath = result.modelPath;
        loaderDidFinish(0, result.modelPath, result.version, result.format, QString(), QString());
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
    m_encoderOutputParser.clearLogs();
    emit errorLoadingModel(m_containerModelPath);
    if (!versionErrorText.isEmpty())
        emit signalVersionError(tr(versionErrorText.toUtf8().constData()));
    if (!importErrorText.isEmpty())
        emit signalImportError(importErrorText);
}

// The log window keeps every record of the failed run; the dialog repeats
// the errors, which say why there is no model.
void ModelManager::reportConversionFailure(const QString& log, const QString& error)
{
    m_encoderOutputParser.parseOutputs(error, log);
    QStringList errors;
    for (const EncoderOutputLog& record : m_encoderOutputParser.logs()) {
        if (record.priority == LoggingPriorities::Error)
            errors << EncoderOutputParser::describe(record);
    }
    emit errorLoadingModel(m_currentModelPath);
    emit signalImportError(tr("The file %1 could not be converted.").arg(QDir::toNativeSeparators(m_currentModelPath))
                           + QStringLiteral("\n\n") + errors.join(QLatin1Char('\n')));
}

void ModelManager::loaderDidFinish(int retValue, QString modelPath, QString version, int format, QString log,
                                   QString error)
{
    m_encoderOutputParser.clearLogs();
    if (retValue < 0) {
        reportConversionFailure(log, error);
        return;
    }
    m_encoderOutputParser.parseOutputs(error, log);
    auto* sceneGraph = new SceneGraph(modelPath, version, format);
    emit newModelLoaded(m_currentModelPath);
    emit newSceneGraphIsReadyToDisplay(sceneGraph, &m_encoderOutputParser.logs());
}

void ModelManager::exportModel(const QString& sourceFolder, const QString& outFilePath)
{
    if (sourceFolder.isEmpty() || outFilePath.isEmpty())
        return;
    auto* exporter = new Exporter(sourceFolder, outFilePath);
    connect(exporter, &Exporter::exporterDidFinish, this, &ModelManager::exporterDidFinish);
    connect(exporter, &Exporter::exporterDidFail, this, &ModelManager::modelExportFailed);
    QThreadPool::globalInstance()->start(exporter);
}

void ModelManager::exporterDidFinish(const QString& exportedFileName) { emit modelExported(exportedFileName); }

#include "Loader.h"

#include "ConversionCache.h"
#include "EncoderOutputParser.h"
#include "VersionFile.h"
#include "WorkspaceService.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

namespace {

// One encoder at a time: a superseded import that is being stopped must not
// write into a workspace that a newer import of the same file is preparing.
QMutex s_encoderRunMutex;

} // namespace

Loader::Loader(const QString& loaderPath, WorkspaceService& workspaceService)
    : m_loaderPath(loaderPath)
    , m_service(&workspaceService)
{
    qDebug().noquote().nospace() << "loaderPath: " << loaderPath;
    capturePaths(workspaceService);
    m_service->holdFolder(m_workspace.root);
}

Loader::~Loader() { m_service->releaseFolder(m_workspace.root); }

void Loader::capturePaths(const WorkspaceService& workspaceService)
{
    m_workspace = workspaceService.paths();
    m_modelDigest = workspaceService.modelDigest();
    m_encoderExecutable = workspaceService.encoderExecutable();
    m_toolsFolder = workspaceService.toolsFolder();
    m_tempFolder = workspaceService.tempFolder();
    m_applicationParentFolder = workspaceService.applicationParentFolder();
}

void Loader::prepareWorkspace()
{
    const WorkspaceService service(m_tempFolder, m_applicationParentFolder);
    service.prepareWorkspace(m_workspace);
}

QStringList Loader::encoderArguments() const
{
    return EncoderProcess::arguments(m_options.groupingName(), m_options.cullingName(), m_loaderPath,
                                     m_workspace.modelFile);
}

void Loader::run()
{
    QMutexLocker lock(&s_encoderRunMutex);
    if (isCancelled()) {
        m_encoderResult.outcome = EncoderProcess::Outcome::Cancelled;
        announceResult();
        return;
    }
    prepareWorkspace();
    if (!VersionFile::write(m_workspace.model + QLatin1Char('/')))
        qDebug() << "Error creating version-file";
    makeModelFolders();

    // A file opened again converts as before: what the encoder made of it
    // last time is taken from the cache instead.
    ConversionStamp source;
    const bool cacheable
        = m_cacheEnabled && ConversionStamp::ofInput(m_loaderPath, importOptions(), m_modelDigest, &source);
    const ConversionCache cache(m_workspace.companyFolder, m_encoderExecutable);
    if (cacheable && cache.restore(m_loaderPath, source, m_workspace.model, &m_encoderResult)) {
        announceResult();
        return;
    }
    runEncoder();
    // The model is shown first and kept for the next opening afterwards:
    // copying a large bundle would delay the first picture. The lock stays
    // held, so a newer import of the same file finds the entry whole.
    if (announceResult() && cacheable && !isCancelled())
        cache.store(m_loaderPath, source, m_workspace.model, m_encoderResult);
}

bool Loader::announceResult()
{
    const bool modelWritten = m_encoderResult.outcome == EncoderProcess::Outcome::Finished
        && m_encoderResult.exitCode == 0 && QFileInfo(m_workspace.modelFile).isFile();
    LoadedModel model;
    model.modelFolder = m_workspace.model;
    model.modelPath = QStringLiteral("model.gpb");
    model.version = VersionFile::encoderVersion();
    model.format = VersionFile::kCurrentFormat;
    model.records = EncoderOutputParser::parse(m_encoderResult.standardError, m_encoderResult.standardOutput);
    // A cancelled run has nobody left to tell why it stopped.
    model.records
        += EncoderProcess::failureRecords(m_encoderResult, m_encoderExecutable, modelWritten || isCancelled());
    // Neither a crashed encoder nor one that wrote no bundle left a model to show.
    emit loaderDidFinish(modelWritten, model);
    return modelWritten;
}

// The folders above them were made with the workspace; mkpath would make
// them again anyway, as both lie inside the model folder.
void Loader::makeModelFolders()
{
    QDir dir;
    dir.mkpath(m_workspace.tex);
    dir.mkpath(m_workspace.meta);
}

void Loader::runEncoder()
{
    const QStringList arguments = encoderArguments();
    qDebug().noquote().nospace() << "\n" << m_encoderExecutable << " " << arguments.join(QLatin1Char(' ')) << "\n";
    const CancelFlag flag = m_cancelFlag;
    m_encoderResult
        = EncoderProcess::run(m_encoderExecutable, arguments, m_toolsFolder, [flag] { return flag && flag->load(); });
    if (m_encoderResult.outcome == EncoderProcess::Outcome::FailedToStart)
        qWarning().noquote().nospace() << "model-encoder run failed: " << m_encoderExecutable << " "
                                       << arguments.join(QLatin1Char(' '));
}

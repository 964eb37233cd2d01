#pragma once

#include "EncoderProcess.h"
#include "FileDigest.h"
#include "ImportOptions.h"
#include "LoadedModel.h"
#include "WorkspacePaths.h"

#include <QObject>
#include <QRunnable>
#include <QString>

#include <atomic>
#include <memory>

class WorkspaceService;

// One FBX import: prepares the workspace, writes the version file, runs the
// model encoder and reports the model and its log records with one queued
// signal.
//
// Every path is fixed when the loader is created, so an import that is still
// running when the user opens another model keeps writing into its own
// workspace.
class Loader : public QObject, public QRunnable {
    Q_OBJECT
public:
    using CancelFlag = std::shared_ptr<std::atomic<bool>>;

    // Holds the workspace from here until the loader is destroyed, so that
    // opening another model cannot delete it under the running encoder.
    Loader(const QString& loaderPath, WorkspaceService& workspaceService);
    ~Loader() override;

    void run() override;
    void prepareWorkspace();

    // Once the flag is set, the loader stops its encoder as soon as it notices.
    void setCancelFlag(CancelFlag flag) { m_cancelFlag = std::move(flag); }
    bool isCancelled() const { return m_cancelFlag && m_cancelFlag->load(); }

    const QString& loaderPath() const { return m_loaderPath; }
    const WorkspacePaths& workspace() const { return m_workspace; }
    const QString& encoderExecutable() const { return m_encoderExecutable; }
    // Grouping and culling for this import; the encoder's defaults until set.
    void setImportOptions(const ImportOptions& options) { m_options = options; }
    // The encoder's arguments for the import options.
    QStringList encoderArguments() const;
    // Whether a finished conversion of the same content with the same
    // options may be reused instead of running the encoder (on by default;
    // the command line converts every time).
    void setConversionCacheEnabled(bool enabled) { m_cacheEnabled = enabled; }
    // How the encoder run went; valid once run() has returned.
    const EncoderProcess::Result& encoderResult() const { return m_encoderResult; }

signals:
    // The model, or the records that say why there is none.
    void loaderDidFinish(bool modelWritten, const LoadedModel& model);

private:
    void capturePaths(const WorkspaceService& workspaceService);
    void makeModelFolders();
    void runEncoder();
    // Tells the result of the run; whether the encoder left a model.
    bool announceResult();
    const ImportOptions& importOptions() const { return m_options; }

    QString m_loaderPath;
    WorkspaceService* m_service;
    WorkspacePaths m_workspace;
    FileDigest::Snapshot m_modelDigest; // of the file the workspace was named by
    QString m_encoderExecutable;
    QString m_toolsFolder;
    QString m_tempFolder;
    QString m_applicationParentFolder;
    CancelFlag m_cancelFlag;
    ImportOptions m_options;
    bool m_cacheEnabled = true;
    EncoderProcess::Result m_encoderResult;
};

#pragma once

#include "EncoderProcess.h"
#include "WorkspacePaths.h"

#include <QObject>
#include <QRunnable>
#include <QString>

#include <atomic>
#include <memory>

class WorkspaceService;

// One FBX import: prepares the workspace, writes the version file, runs the
// model encoder and reports its console output with one queued signal.
//
// Every path is fixed when the loader is created, so an import that is still
// running when the user opens another model keeps writing into its own
// workspace.
class Loader : public QObject, public QRunnable {
    Q_OBJECT
public:
    using CancelFlag = std::shared_ptr<std::atomic<bool>>;

    // Takes its paths from the registered WorkspaceService (or from one with
    // default folders when none is registered).
    explicit Loader(const QString& loaderPath);
    Loader(const QString& loaderPath, const WorkspaceService& workspaceService);

    void run() override;
    void prepareWorkspace();

    // Once the flag is set, the loader stops its encoder as soon as it notices.
    void setCancelFlag(CancelFlag flag) { m_cancelFlag = std::move(flag); }
    bool isCancelled() const { return m_cancelFlag && m_cancelFlag->load(); }

    const QString& loaderPath() const { return m_loaderPath; }
    const WorkspacePaths& workspace() const { return m_workspace; }
    const QString& encoderExecutable() const { return m_encoderExecutable; }
    // The encoder's arguments for the current user settings.
    QStringList encoderArguments() const;
    // How the encoder run went; valid once run() has returned.
    const EncoderProcess::Result& encoderResult() const { return m_encoderResult; }

signals:
    void loaderDidFinish(int retValue, QString modelPath, QString version, int format, QString log, QString error);

private:
    void capturePaths(const WorkspaceService& workspaceService);
    void makeModelFolders();
    void runEncoder();

    QString m_loaderPath;
    WorkspacePaths m_workspace;
    QString m_encoderExecutable;
    QString m_toolsFolder;
    QString m_tempFolder;
    QString m_applicationParentFolder;
    CancelFlag m_cancelFlag;
    EncoderProcess::Result m_encoderResult;
};

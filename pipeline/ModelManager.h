#pragma once

#include "FileDigest.h"
#include "ImportOptions.h"
#include "LoadedModel.h"
#include "Loader.h"

#include <QObject>
#include <QString>

class WorkspaceService;

// Runs imports and exports and routes their results: a Loader on the thread
// pool for FBX files, unpacking and a version check on the main thread for
// vm3 files, an Exporter on the thread pool for exports.
//
// Only the newest import counts: starting an import stops the encoder of the
// one before it and drops that one's result when it arrives anyway.
class ModelManager : public QObject {
    Q_OBJECT
public:
    // Imports into, and exports from, the workspaces of `workspaces`, which
    // outlives the manager.
    explicit ModelManager(WorkspaceService& workspaces, QObject* parent = nullptr);
    ~ModelManager() override;

    QString containerModelPath() const { return m_containerModelPath; }
    // Grouping and culling of the encoder runs that start from now on.
    void setImportOptions(const ImportOptions& options) { m_importOptions = options; }

    // Stops the encoder of a running import; its result, should it still
    // arrive, is dropped.
    void cancelImport();

    // suffix as QFileInfo::suffix() returns it; the rule is ModelFileTypes'.
    static bool isSupportedSuffix(const QString& suffix);

signals:
    // Any import, reloads included, from the moment it starts: the model
    // shown until now is about to be replaced.
    void importStarted(const QString& modelPath);
    void newModelLoaded(const QString modelPath);
    // A model to show, with the records of its conversion.
    void modelReady(const LoadedModel& model);
    // The records of every import that ended, failed or not; an empty list
    // for a container, which has none.
    void importRecordsReady(const EncoderOutputLogs& records);
    void errorLoadingModel(QString);
    void modelExported(const QString& exportedFileName);
    void signalVersionError(QString);
    // A container that cannot be unpacked (damaged, or holding entries that
    // would land outside the workspace). Carries a text for the user.
    void signalImportError(QString message);
    // An export that did not produce the file; the previous file is untouched.
    void modelExportFailed(const QString& fileName, const QString& errorText);

public slots:
    // Names a new workspace after the file's digest, taken on the thread
    // pool, and then imports the file into it. Another open or import
    // meanwhile supersedes it.
    void openModel(const QString& modelPath);
    // Imports into the current workspace (the caller named it).
    void importModel(QString modelPath);
    void reimportModel();
    void exportModel(const QString& sourceFolder, const QString& outFilePath);
    void loaderDidFinish(bool modelWritten, const LoadedModel& model);
    void exporterDidFinish(const QString& exportedFileName);
    void loadModel();

private:
    void startNewImport();
    void digestTaken(quint64 opening, const QString& modelPath, const FileDigest::Snapshot& digest);
    void importContainer();
    void importWithEncoder();
    void reportContainerFailure(const QString& versionErrorText, const QString& importErrorText);
    void reportConversionFailure(const EncoderOutputLogs& records);
    void announceContainer(const QString& modelPath, const QString& version, int format);

    WorkspaceService& m_workspaces;
    ImportOptions m_importOptions;
    QString m_currentModelPath;
    QString m_containerModelPath;

    quint64 m_importGeneration = 0;
    quint64 m_openGeneration = 0; // of openModel(), whose digest is being taken
    Loader::CancelFlag m_runningImportCancel;
};

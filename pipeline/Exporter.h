#pragma once

#include <QObject>
#include <QRunnable>
#include <QString>

#include <atomic>

class WorkspaceService;

// Packs a model folder into a vm3 file on a pool thread (auto-delete on).
//
// The archive is written to a temporary file beside the target and renamed
// over it only when complete, so a failed export leaves an existing target
// untouched. Exactly one queued signal reports the outcome:
// exporterDidFinish on success, exporterDidFail (with a reason) otherwise.
class Exporter : public QObject, public QRunnable {
    Q_OBJECT
public:
    struct Result {
        bool ok = false;
        QString errorText;
        int fileCount = 0;
    };

    // Holds the source folder in `workspaces` (when given) until the exporter
    // is destroyed: opening another model or closing the window then puts off
    // deleting the workspace until the export has read it.
    Exporter(const QString& sourceFolder, const QString& outFilePath, WorkspaceService* workspaces);
    ~Exporter() override;

    // The container the folder was unpacked from: files still as they were
    // unpacked are copied from it as they are, not deflated again.
    void setUnpackedFrom(const QString& containerPath) { m_unpackedFrom = containerPath; }

    void run() override;

    // The export itself, synchronous; also used by the command line, whose
    // stop flag fails it and leaves the target untouched. unpackedFrom as
    // for setUnpackedFrom (empty: none).
    static Result exportFolder(const QString& sourceFolder, const QString& outFilePath,
                               const std::atomic<bool>* stopFlag = nullptr, const QString& unpackedFrom = QString());

    // Why sourceFolder cannot be exported (no folder, no version file, no
    // model, too many files for the container); empty when it can.
    static QString refusalOf(const QString& sourceFolder);

    // Whether outFilePath can be written, without creating or truncating it.
    static bool checkTargetWritable(const QString& outFilePath, QString* errorText);

signals:
    void exporterDidFinish(const QString& exportedFileName);
    void exporterDidFail(const QString& outFilePath, const QString& errorText);

private:
    static int countFiles(const QString& folder, int stopAt);

    QString m_sourceFolder;
    QString m_outFilePath;
    QString m_unpackedFrom;
    WorkspaceService* m_service;
};

#pragma once

#include <QObject>
#include <QRunnable>
#include <QString>

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

    Exporter(const QString& sourceFolder, const QString& outFilePath);

    void run() override;

    // The export itself, synchronous; also used by the command line.
    static Result exportFolder(const QString& sourceFolder, const QString& outFilePath);

    // Whether outFilePath can be written, without creating or truncating it.
    static bool checkTargetWritable(const QString& outFilePath, QString* errorText);

signals:
    void exporterDidFinish(const QString& exportedFileName);
    void exporterDidFail(const QString& outFilePath, const QString& errorText);

private:
    QString m_sourceFolder;
    QString m_outFilePath;
};

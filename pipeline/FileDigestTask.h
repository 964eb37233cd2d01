#pragma once

#include "FileDigest.h"

#include <QObject>
#include <QRunnable>
#include <QString>

Q_DECLARE_METATYPE(FileDigest::Snapshot)

// Takes a file's digest on the thread pool: a model of a gigabyte takes
// seconds to read, which the window must not spend frozen. The result
// arrives as a signal, queued to whoever listens on the main thread.
class FileDigestTask : public QObject, public QRunnable {
    Q_OBJECT
public:
    explicit FileDigestTask(const QString& filePath);
    void run() override;

    static void registerTypes();

signals:
    // An empty md5 when the file cannot be read.
    void digestTaken(const QString& filePath, const FileDigest::Snapshot& digest);

private:
    QString m_filePath;
};

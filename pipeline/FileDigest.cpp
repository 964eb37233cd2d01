#include "FileDigest.h"

#include "RegularFile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace FileDigest {

QByteArray md5Hex(const QString& filePath)
{
    QFile file(filePath);
    if (!RegularFile::openForReading(&file, QIODevice::Unbuffered))
        return QByteArray();
    // Large blocks: models reach hundreds of megabytes, and the digest is
    // taken before every conversion. (Hashing the device itself reads it a
    // kilobyte at a time.)
    QCryptographicHash hash(QCryptographicHash::Md5);
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(block.data(), block.size());
        if (n < 0)
            return QByteArray();
        if (n == 0)
            break;
        hash.addData(block.constData(), int(n));
    }
    return hash.result().toHex();
}

namespace {

qint64 modificationMs(const QFileInfo& file) { return file.lastModified().toMSecsSinceEpoch(); }

qint64 metadataChangeMs(const QFileInfo& file) { return file.metadataChangeTime().toMSecsSinceEpoch(); }

} // namespace

bool Snapshot::describes(const QFileInfo& file) const
{
    return !md5.isEmpty() && file.absoluteFilePath() == path && file.isFile() && file.size() == size
        && modificationMs(file) == modifiedMs && metadataChangeMs(file) == changedMs;
}

Snapshot take(const QString& filePath)
{
    const QFileInfo file(filePath);
    Snapshot snapshot;
    snapshot.path = file.absoluteFilePath();
    snapshot.size = file.size();
    snapshot.modifiedMs = modificationMs(file);
    snapshot.changedMs = metadataChangeMs(file);
    snapshot.md5 = md5Hex(filePath);
    return snapshot;
}

} // namespace FileDigest

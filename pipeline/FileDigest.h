#pragma once

#include <QByteArray>
#include <QString>

class QFileInfo;

namespace FileDigest {

// The MD5 of a regular file's content as 32 lower-case hex digits; empty
// when the file cannot be read. Anything but a regular file is refused
// unread: a FIFO or a device would block or never end.
QByteArray md5Hex(const QString& filePath);

// A file's digest with what the file looked like when it was taken: the
// digest still stands for the file while size and times are unchanged, so
// the same file opened and converted is read for hashing once.
struct Snapshot {
    QString path; // absolute
    QByteArray md5;
    qint64 size = -1;
    qint64 modifiedMs = -1;
    qint64 changedMs = -1; // metadata change: a save that renames a file into place moves it
    // Whether the digest still stands for that file as it is now.
    bool describes(const QFileInfo& file) const;
};

// Size and times are taken before the content, so a write meanwhile makes
// the snapshot describe nothing later.
Snapshot take(const QString& filePath);

} // namespace FileDigest

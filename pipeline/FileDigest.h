#pragma once

#include <QByteArray>
#include <QString>

namespace FileDigest {

// The MD5 of a regular file's content as 32 lower-case hex digits; empty
// when the file cannot be read. Anything but a regular file is refused
// unread: a FIFO or a device would block or never end.
QByteArray md5Hex(const QString& filePath);

} // namespace FileDigest

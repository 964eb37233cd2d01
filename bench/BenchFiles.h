// Scratch files shared by the benchmark programs that pack and unpack
// containers.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QString>

namespace bench {

// Writes the bytes, making the folders on the way.
inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Random data does not compress, so an archive of it is as large as its files.
inline QByteArray randomBytes(qint64 size, quint64 seed)
{
    QByteArray bytes(int(size), '\0');
    QRandomGenerator64(seed).fillRange(reinterpret_cast<quint32*>(bytes.data()), int(size / 4));
    return bytes;
}

} // namespace bench

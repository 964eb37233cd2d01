#pragma once

#include <QByteArray>
#include <QString>

// Reads one entry of a zip archive through its central directory, nothing
// else, so a large container costs no more than a small one.
class ZipEntryReader {
public:
    enum class Status {
        Read,
        CannotOpen, // the file cannot be read at all
        NotZip,
        Missing, // no entry of that name
        Damaged // too large, unreadable or failing its CRC
    };

    // maxBytes bounds the allocation: a damaged or hostile size field must
    // not claim gigabytes. fileError receives the system's reason for CannotOpen.
    static Status read(const QString& archivePath, const char* entryName, qint64 maxBytes, QByteArray* bytes,
                       QString* fileError = nullptr);
};

#pragma once

#include <QFile>
#include <QHash>
#include <QSet>
#include <QString>

#include <functional>

// An existing archive whose deflated entries a new archive may take over as
// they are: a container unpacked, looked at and packed again then costs a
// copy, not a fresh deflate of every file.
//
// An entry is taken over only when it inflates intact (its CRC checked) to
// exactly the bytes of the file that is being packed in its place, so a file
// changed since unpacking, or an archive changed or damaged since, is simply
// compressed anew.
class ZipRawSource {
public:
    struct Entry {
        quint64 directoryOffset = 0, index = 0; // minizip's position of the entry
        quint32 crc = 0;
        quint64 compressedSize = 0;
        quint64 uncompressedSize = 0;
    };

    ZipRawSource();
    ~ZipRawSource();
    ZipRawSource(const ZipRawSource&) = delete;
    ZipRawSource& operator=(const ZipRawSource&) = delete;

    // false when the file is not a readable zip; it then offers nothing.
    bool open(const QString& archivePath);

    // Whether the deflated entry entryName holds exactly the bytes of filePath.
    bool findSame(const QString& entryName, const QString& filePath, Entry* entry);

    // Hands the entry's deflated bytes to write, block by block; false when
    // reading fails, write refuses, or fewer bytes came than recorded.
    bool copyDeflated(const Entry& entry, const std::function<bool(const char*, unsigned)>& write);

private:
    bool indexEntries();
    bool goTo(const Entry& entry);
    bool inflatesTo(QFile& file, const Entry& entry);

    QFile m_file;
    void* m_zip = nullptr; // unzFile
    QHash<QString, Entry> m_entries; // deflated entries by name; names found twice are left out
};

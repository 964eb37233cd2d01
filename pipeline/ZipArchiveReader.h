#pragma once

#include <QFile>
#include <QString>

// Unpacks a zip archive (a vm3 container) into a folder.
//
// The archive is untrusted: entry names that would land outside the
// destination (absolute paths, drive letters, ".." components, backslash
// variants of these) refuse the whole archive, and damage (not a zip,
// truncated, CRC mismatch, undecodable data) fails it. Entries are unpacked
// into a hidden staging folder inside the destination and moved into place
// only when every entry was read intact, so a failed unpack leaves nothing
// behind.
class ZipArchiveReader {
public:
    enum Status {
        Ok,
        CannotOpen, // the file could not be read at all
        Damaged, // not a zip, truncated, corrupt or unsupported data
        UnsafeEntry, // an entry name points outside the destination
        WriteFailed // the destination could not be written
    };

    ZipArchiveReader();
    ~ZipArchiveReader();
    ZipArchiveReader(const ZipArchiveReader&) = delete;
    ZipArchiveReader& operator=(const ZipArchiveReader&) = delete;

    bool open(const QString& archivePath);
    // Unpacks every entry below destinationFolder and closes the archive.
    bool extractAll(const QString& destinationFolder);
    void close();

    Status status() const { return m_status; }
    QString errorString() const { return m_error; } // what failed, for logs and messages

    // The relative path an entry name unpacks to ("/"-separated, "." and
    // empty components dropped, backslashes taken as separators); false when
    // the name is unsafe. isFolder is set for names that end in a separator.
    static bool safeRelativePath(const QString& entryName, QString* relative, bool* isFolder = nullptr);

private:
    bool fail(Status status, const QString& message);
    bool extractEntries(const QString& stagingFolder);
    bool extractCurrentEntry(const QString& stagingFolder);
    bool copyEntryData(const QString& targetPath, const QString& entryName);
    bool isEmptyArchive();
    bool readCurrentEntryInfo(QString* name, bool* encrypted, int* method);

    QFile m_file;
    void* m_zip = nullptr; // unzFile
    bool m_emptyArchive = false; // valid, without entries (minizip refuses those)
    Status m_status = Ok;
    QString m_error;
};

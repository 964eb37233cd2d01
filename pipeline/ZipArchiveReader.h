#pragma once

#include <QFile>
#include <QString>

// Unpacks a zip archive (a vm3 container) into a folder.
//
// The archive is untrusted: entry names that would land outside the
// destination (absolute paths, drive letters, ".." components, backslash
// variants of these) refuse the whole archive, and damage (not a zip,
// truncated, CRC mismatch, undecodable data) fails it. Before anything is
// written, the archive is refused when its declared sizes add up to more
// than the limit or the free space allows, when two entries share data, or
// when a large entry claims an implausible compression ratio; while
// unpacking, an entry that yields more than it declared fails. Entries are unpacked
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
        WriteFailed, // the destination could not be written
        TooLarge // it would unpack to more than the limit, or looks like a zip bomb
    };

    // What an archive may unpack to at most, whatever room there is.
    static const qint64 defaultSizeLimit = qint64(4) << 30;
    // Room kept free on the destination's disk.
    static const qint64 freeSpaceMargin = qint64(64) << 20;
    // Entries at least this large may not shrink by more than maximumRatio.
    static const qint64 ratioCheckedSize = qint64(32) << 20;
    static const qint64 maximumRatio = 200;

    ZipArchiveReader();
    ~ZipArchiveReader();
    ZipArchiveReader(const ZipArchiveReader&) = delete;
    ZipArchiveReader& operator=(const ZipArchiveReader&) = delete;

    bool open(const QString& archivePath);
    void setSizeLimit(qint64 bytes) { m_sizeLimit = bytes; }
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
    bool checkBounds(const QString& destinationFolder);
    bool extractEntries(const QString& stagingFolder);
    bool extractCurrentEntry(const QString& stagingFolder);
    bool copyEntryData(const QString& targetPath, const QString& entryName, quint64 declaredSize);
    bool isEmptyArchive();
    bool readCurrentEntryInfo(QString* name, bool* encrypted, int* method);

    QFile m_file;
    void* m_zip = nullptr; // unzFile
    bool m_emptyArchive = false; // valid, without entries (minizip refuses those)
    Status m_status = Ok;
    QString m_error;
    qint64 m_sizeLimit = defaultSizeLimit;
    quint64 m_currentSize = 0; // declared size of the entry being read
};

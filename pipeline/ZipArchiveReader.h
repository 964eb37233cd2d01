#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include <atomic>
#include <vector>

// Unpacks a zip archive (a vm3 container) into a folder.
//
// The archive is untrusted: entry names that would land outside the
// destination (absolute paths, drive letters, ".." components, backslash
// variants of these) refuse the whole archive, and damage (not a zip,
// truncated, CRC mismatch, undecodable data, two entries of one name) fails
// it. Before anything is written, the archive is refused when its declared
// sizes add up to more than the limit or the free space allows, when two
// entries share data, or when it claims an implausible compression ratio
// (see UnpackBudget); while unpacking, an entry that yields more or less
// than it declared fails. ZIP64 sizes are read from their extra field, so a
// refusal names the true size. Entries are unpacked
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
        TooLarge, // it would unpack to more than the limit, or looks like a zip bomb
        NoSpace, // the destination's disk has too little room for it
        Unsupported, // intact, but in a form this reader cannot unpack
        Stopped // the stop flag was set
    };

    // What an archive may unpack to at most, whatever room there is.
    static const qint64 kDefaultSizeLimit = qint64(4) << 30;

    ZipArchiveReader();
    ~ZipArchiveReader();
    ZipArchiveReader(const ZipArchiveReader&) = delete;
    ZipArchiveReader& operator=(const ZipArchiveReader&) = delete;

    bool open(const QString& archivePath);
    void setSizeLimit(qint64 bytes) { m_sizeLimit = bytes; }
    // A flag that, once set, fails the unpack between blocks (nothing is
    // left behind, as on any failure).
    void setStopFlag(const std::atomic<bool>* flag) { m_stopFlag = flag; }
    // Unpacks every entry below destinationFolder and closes the archive.
    bool extractAll(const QString& destinationFolder);
    // Reads every entry as extractAll() does, with the same checks and
    // verdicts (directory, entry count, names, duplicates, bounds, sizes,
    // CRCs), but writes nothing, so the room on a disk plays no part; then
    // closes the archive. entryPaths() names the files it holds.
    bool verifyAll();
    QStringList entryPaths() const { return m_entryPaths; }
    void close();

    Status status() const { return m_status; }
    QString errorString() const { return m_error; } // what failed, for logs and messages

    // The relative path an entry name unpacks to ("/"-separated, "." and
    // empty components dropped, backslashes taken as separators); false when
    // the name is unsafe. isFolder is set for names that end in a separator.
    static bool safeRelativePath(const QString& entryName, QString* relative, bool* isFolder = nullptr);

private:
    bool fail(Status status, const QString& message);
    bool stopped();
    struct EntryFacts {
        QString name;
        QString relativePath; // empty for unsafe names
        bool isFolder = false;
        quint64 uncompressedSize = 0;
        quint64 compressedSize = 0;
        bool hasZip64Sizes = false; // read from the ZIP64 extra field
        bool locatable = false; // stored or deflated, not encrypted, not empty
        quint64 dataStart = 0; // 0: not located
        quint64 directoryOffset = 0, index = 0; // minizip's position of the entry
    };

    bool checkBounds(const QString& destinationFolder);
    bool readDirectory(std::vector<EntryFacts>* entries);
    bool tooManyEntries();
    bool locateData(std::vector<EntryFacts>* entries);
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
    qint64 m_sizeLimit = kDefaultSizeLimit;
    const std::atomic<bool>* m_stopFlag = nullptr;
    // The entry being read.
    quint64 m_currentSize = 0; // declared size
    quint32 m_currentCrc = 0;
    QStringList m_entryPaths; // the files verifyAll() found, as relative paths
};

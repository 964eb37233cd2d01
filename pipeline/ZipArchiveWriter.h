#pragma once

#include "ReplacingFile.h"
#include "ZipRawSource.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class QFile;
struct libdeflate_compressor;

// One piece of a large file, deflated on its own thread.
struct DeflateChunk {
    QByteArray input;
    QByteArray dictionary; // the last 32 KiB of the previous chunk
    QByteArray output;
    bool last = false;
    bool ok = false;
};

// Writes a zip archive (a vm3 container): deflate at the default level, UTF-8
// entry names flagged as such, no directory entries, no extra fields or
// comments, 64-bit extensions only for files of 2 GiB or more. The archive
// is reproducible: entries in the order of their names, all with one time
// (SOURCE_DATE_EPOCH when set, else 1980-01-01), fixed attributes, so the
// same files give the same bytes on every run and machine.
//
// The archive goes to a new file beside the target (ReplacingFile); close()
// renames it onto the target's name only when every entry was written and is
// on disk, so an existing target survives a failed run untouched and a link
// at the target is replaced, never written through. Destroying an unclosed
// writer discards it.
class ZipArchiveWriter {
public:
    ZipArchiveWriter();
    ~ZipArchiveWriter();
    ZipArchiveWriter(const ZipArchiveWriter&) = delete;
    ZipArchiveWriter& operator=(const ZipArchiveWriter&) = delete;

    bool open(const QString& archivePath);
    // A flag that, once set, fails the archive between blocks: close() then
    // discards it and the target stays as it was.
    void setStopFlag(const std::atomic<bool>* flag) { m_stopFlag = flag; }
    // Entries of archivePath whose files are added again unchanged are
    // copied from it as they are, not deflated anew. An archive that cannot
    // be read is ignored.
    void takeOverFrom(const QString& archivePath);
    // Adds every file below folder as prefix + "/" + relative path.
    bool addFolder(const QString& folder, const QString& prefix);
    bool addFile(const QString& filePath, const QString& entryName);
    // Finishes the archive and puts it in place; false if anything failed.
    bool close();

    bool hasError() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; } // the first failure
    int fileCount() const { return m_fileCount; }

    // Without a ZIP64 end record (which minizip 1.1 does not write for
    // entry counts) an archive holds at most this many entries.
    static const int kMaximumEntryCount = 0xffff;

    // Threads used to deflate one large file.
    static int workerCount();

private:
    bool fail(const QString& message);
    bool stopped();
    bool failWriting(const QString& message);
    bool openDeflatedEntry(const QByteArray& name, bool zip64);
    bool writeDeflated(const char* data, size_t size, const QString& filePath);
    bool copyTakenOver(const ZipRawSource::Entry& entry, const QString& filePath);
    bool writeDeflatedWhole(QFile& in, const QString& filePath, qint64 size, unsigned long* crc, qint64* total);
    bool writeDeflatedInParallel(QFile& in, const QString& filePath, unsigned long* crc, qint64* total);
    static void deflateBatch(std::vector<DeflateChunk>& batch, int workers);

    ReplacingFile m_file;
    void* m_zip = nullptr; // zipFile
    QString m_error;
    int m_fileCount = 0;
    unsigned long m_entryTime = 0; // DOS date and time of every entry
    const std::atomic<bool>* m_stopFlag = nullptr;
    std::unique_ptr<ZipRawSource> m_rawSource;
    libdeflate_compressor* m_compressor = nullptr; // made on first use
};

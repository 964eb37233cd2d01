#include "ZipArchiveWriter.h"

#include "ConsoleOutput.h"
#include "RegularFile.h"
#include "ZipDeviceIo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <libdeflate.h>
#include <minizip/zip.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Large blocks keep the per-call overhead of reading and deflating small;
// the file itself is still streamed, never read whole.
const int kCopyBlockSize = 256 * 1024;
const int kDeflateLevel = 6; // zlib's default
const uLong kUtf8NameFlag = 1u << 11;
const qint64 kZip64Threshold = 0x80000000LL; // 2 GiB
// "Made by Unix, zip 2.0": Info-ZIP converts names of archives made by DOS
// from an OEM code page, which garbles UTF-8 names even with their flag set.
const uLong kVersionMadeBy = (3u << 8) | 20u;
const uLong kRegularFileAttributes = 0100644u << 16; // rw-r--r--
const uLong kEarliestDosDateTime = (1u << 21) | (1u << 16); // 1980-01-01 00:00:00

zipFile zipOf(void* handle) { return static_cast<zipFile>(handle); }

// DOS date and time of a moment, taken in UTC so that the machine's time
// zone does not change the archive. DOS dates cover 1980 to 2107 only;
// times outside are clamped rather than wrapped.
uLong dosDateTime(const QDateTime& moment)
{
    const QDateTime utc = moment.toUTC();
    const QDate date = utc.date();
    const QTime time = utc.time();
    if (date.year() < 1980)
        return kEarliestDosDateTime;
    if (date.year() > 2107)
        return (uLong(127) << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
    const uLong dosDate = (uLong(date.year() - 1980) << 9) | (uLong(date.month()) << 5) | uLong(date.day());
    const uLong dosTime = (uLong(time.hour()) << 11) | (uLong(time.minute()) << 5) | uLong(time.second() / 2);
    return (dosDate << 16) | dosTime;
}

// Every entry carries one time, so that the same files make the same archive
// whenever and wherever they are packed: SOURCE_DATE_EPOCH (seconds since
// 1970, UTC) when it is set, as reproducible builds define it, otherwise the
// earliest time a zip can hold.
uLong entryDosDateTime()
{
    bool isNumber = false;
    const qint64 seconds = qEnvironmentVariable("SOURCE_DATE_EPOCH").trimmed().toLongLong(&isNumber);
    if (!isNumber || seconds < 0)
        return kEarliestDosDateTime;
    return dosDateTime(QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC));
}

// Files below folder as (entry name, path); links are not followed: a
// linked folder could loop, and a link could pull files from anywhere on
// the disk into the archive.
void listFiles(const QString& folder, const QString& prefix, std::vector<std::pair<QString, QString>>* files)
{
    const QFileInfoList entries
        = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        const QString path = folder + QLatin1Char('/') + entry.fileName();
        const QString name = prefix + QLatin1Char('/') + entry.fileName();
        if (entry.isSymLink())
            ConsoleOutput::print(ConsoleOutput::Kind::Narration, QStringLiteral("skipping link %1").arg(path));
        else if (entry.isDir())
            listFiles(path, name, files);
        else if (entry.isFile())
            files->emplace_back(name, path);
    }
}

QString stripLeadingSeparators(const QString& name)
{
    int start = 0;
    while (start < name.size() && (name.at(start) == QLatin1Char('/') || name.at(start) == QLatin1Char('\\')))
        ++start;
    return name.mid(start);
}

// Parallel deflate: the file is cut into chunks that are compressed
// independently, each primed with the last 32 KiB of the one before so that
// the ratio stays that of a single stream. Every chunk but the last ends with
// a sync flush (byte aligned, not final), so the outputs simply concatenate.
const qint64 kParallelThreshold = 4 * 1024 * 1024;
const int kChunkSize = 1024 * 1024;
const int kDictionarySize = 32 * 1024;

bool deflateChunk(DeflateChunk& chunk)
{
    z_stream stream {};
    if (deflateInit2(&stream, kDeflateLevel, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    bool ok = true;
    if (!chunk.dictionary.isEmpty())
        ok = deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(chunk.dictionary.constData()),
                                  uInt(chunk.dictionary.size()))
            == Z_OK;
    chunk.output.resize(int(deflateBound(&stream, uLong(chunk.input.size()))) + 64);
    stream.next_in = reinterpret_cast<Bytef*>(chunk.input.data());
    stream.avail_in = uInt(chunk.input.size());
    stream.next_out = reinterpret_cast<Bytef*>(chunk.output.data());
    stream.avail_out = uInt(chunk.output.size());
    const int flush = chunk.last ? Z_FINISH : Z_SYNC_FLUSH;
    while (ok) {
        if (stream.avail_out == 0) {
            const int used = int(stream.total_out);
            chunk.output.resize(chunk.output.size() + 64 * 1024);
            stream.next_out = reinterpret_cast<Bytef*>(chunk.output.data()) + used;
            stream.avail_out = uInt(chunk.output.size() - used);
        }
        const int result = deflate(&stream, flush);
        if (chunk.last && result == Z_STREAM_END)
            break;
        if (!chunk.last && result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0)
            break;
        ok = result == Z_OK || result == Z_BUF_ERROR;
    }
    chunk.output.resize(int(stream.total_out));
    deflateEnd(&stream);
    return ok;
}

} // namespace

void ZipArchiveWriter::deflateBatch(std::vector<DeflateChunk>& batch, int workers)
{
    std::atomic<size_t> next {0};
    auto work = [&]() {
        for (size_t i = next++; i < batch.size(); i = next++)
            batch[i].ok = deflateChunk(batch[i]);
    };
    std::vector<std::thread> threads;
    const int extra = std::min(workers, int(batch.size())) - 1;
    for (int i = 0; i < extra; ++i)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
}

int ZipArchiveWriter::workerCount() { return std::max(1, std::min(QThread::idealThreadCount(), 4)); }

ZipArchiveWriter::ZipArchiveWriter() = default;

ZipArchiveWriter::~ZipArchiveWriter()
{
    if (m_zip) {
        zipClose(zipOf(m_zip), nullptr);
        m_zip = nullptr;
    }
    libdeflate_free_compressor(m_compressor);
    // An uncommitted ReplacingFile discards its temporary file when destroyed.
}

bool ZipArchiveWriter::fail(const QString& message)
{
    if (m_error.isEmpty())
        m_error = message;
    ConsoleOutput::print(ConsoleOutput::Kind::Narration, message);
    return false;
}

// The archive's own device knows why a write failed (a full disk, a file
// size limit); minizip only knows that it did.
bool ZipArchiveWriter::failWriting(const QString& message)
{
    if (!m_file.hasFailed())
        return fail(message);
    return fail(message + QStringLiteral(": ") + m_file.errorString());
}

bool ZipArchiveWriter::open(const QString& archivePath)
{
    m_error.clear();
    m_fileCount = 0;
    m_entryTime = entryDosDateTime();
    m_file.setFileName(archivePath);
    if (!m_file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1: %2").arg(archivePath, m_file.errorString()));

    zlib_filefunc64_def io = ZipDeviceIo::functionsFor(&m_file);
    m_zip = zipOpen2_64("", APPEND_STATUS_CREATE, nullptr, &io);
    if (!m_zip) {
        m_file.discard();
        return fail(QStringLiteral("cannot start the archive %1").arg(archivePath));
    }
    return true;
}

void ZipArchiveWriter::takeOverFrom(const QString& archivePath)
{
    m_rawSource = std::make_unique<ZipRawSource>();
    // An archive that cannot be read offers nothing: every file is deflated.
    if (!m_rawSource->open(archivePath))
        m_rawSource.reset();
}

bool ZipArchiveWriter::addFolder(const QString& folder, const QString& prefix)
{
    if (!QDir(folder).exists())
        return fail(QStringLiteral("folder %1 does not exist").arg(folder));
    // In the order of their names, not the order the disk lists them in, so
    // that the same files make the same archive.
    std::vector<std::pair<QString, QString>> files;
    listFiles(folder, prefix, &files);
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        if (!addFile(file.second, file.first))
            return false;
    }
    return true;
}

bool ZipArchiveWriter::stopped()
{
    if (!m_stopFlag || !m_stopFlag->load())
        return false;
    return fail(QStringLiteral("stopped before the archive was complete"));
}

bool ZipArchiveWriter::addFile(const QString& filePath, const QString& entryName)
{
    if (stopped())
        return false;
    if (!m_zip)
        return fail(QStringLiteral("error in opening %1 in zipfile").arg(filePath));
    if (m_fileCount >= kMaximumEntryCount)
        return fail(
            QStringLiteral("cannot add %1: an archive holds at most %2 files").arg(filePath).arg(kMaximumEntryCount));

    QFile in(filePath);
    QString reason;
    if (!RegularFile::openForReading(&in, QIODevice::Unbuffered, &reason))
        return fail(QStringLiteral("error in opening %1 for reading: %2").arg(filePath, reason));
    const qint64 size = in.size();
    ConsoleOutput::print(ConsoleOutput::Kind::Narration,
                         QStringLiteral("File : %1 is %2 bytes").arg(filePath).arg(size));

    const QByteArray name = stripLeadingSeparators(entryName).toUtf8();
    ZipRawSource::Entry same;
    const bool takenOver = m_rawSource && m_rawSource->findSame(QString::fromUtf8(name), filePath, &same);
    if (!openDeflatedEntry(name, size >= kZip64Threshold))
        return failWriting(QStringLiteral("error in opening %1 in zipfile").arg(filePath));

    // Every entry reaches minizip already deflated: taken over from the
    // archive the folder came from, deflated whole, or, for large files,
    // deflated in chunks on several threads. The chunks do not depend on the
    // number of threads, so every machine writes the same bytes.
    uLong crc = 0;
    qint64 total = 0;
    bool ok = false;
    if (takenOver) {
        ok = copyTakenOver(same, filePath);
        crc = same.crc;
        total = qint64(same.uncompressedSize);
    } else if (size >= kParallelThreshold) {
        ok = writeDeflatedInParallel(in, filePath, &crc, &total);
    } else {
        ok = writeDeflatedWhole(in, filePath, size, &crc, &total);
    }
    const int closed = zipCloseFileInZipRaw64(zipOf(m_zip), ZPOS64_T(total), crc);
    if (!ok)
        return false;
    if (closed != ZIP_OK)
        return failWriting(QStringLiteral("error in closing %1 in the zipfile").arg(filePath));
    ++m_fileCount;
    return true;
}

bool ZipArchiveWriter::openDeflatedEntry(const QByteArray& name, bool zip64)
{
    zip_fileinfo info {};
    info.dosDate = m_entryTime;
    info.external_fa = kRegularFileAttributes;
    const int raw = 1;
    return zipOpenNewFileInZip4_64(zipOf(m_zip), name.constData(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                   Z_DEFAULT_COMPRESSION, raw, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr,
                                   0, kVersionMadeBy, kUtf8NameFlag, zip64 ? 1 : 0)
        == ZIP_OK;
}

bool ZipArchiveWriter::writeDeflated(const char* data, size_t size, const QString& filePath)
{
    for (size_t done = 0; done < size;) {
        const unsigned block = unsigned(std::min<size_t>(size - done, kCopyBlockSize));
        if (zipWriteInFileInZip(zipOf(m_zip), data + done, block) != ZIP_OK)
            return failWriting(QStringLiteral("error in writing %1 in the zipfile").arg(filePath));
        done += block;
    }
    return true;
}

bool ZipArchiveWriter::copyTakenOver(const ZipRawSource::Entry& entry, const QString& filePath)
{
    bool writeFailed = false;
    const bool copied = m_rawSource->copyDeflated(entry, [&](const char* data, unsigned size) {
        writeFailed = stopped() || !writeDeflated(data, size, filePath);
        return !writeFailed;
    });
    if (!copied && !writeFailed)
        return fail(QStringLiteral("error in copying %1 from the archive it was unpacked from").arg(filePath));
    return copied;
}

// Small files only, so holding one whole costs little memory; libdeflate
// deflates a whole buffer at the same level in about half zlib's time.
bool ZipArchiveWriter::writeDeflatedWhole(QFile& in, const QString& filePath, qint64 size, uLong* crc, qint64* total)
{
    QByteArray data(int(size) + 1, Qt::Uninitialized);
    const qint64 n = in.read(data.data(), data.size());
    if (n < 0)
        return fail(QStringLiteral("error in reading %1: %2").arg(filePath, in.errorString()));
    if (n > size)
        return fail(QStringLiteral("error in reading %1: it grew while being packed").arg(filePath));
    if (!m_compressor)
        m_compressor = libdeflate_alloc_compressor(kDeflateLevel);
    if (!m_compressor)
        return fail(QStringLiteral("error in compressing %1: out of memory").arg(filePath));
    std::vector<char> deflated(libdeflate_deflate_compress_bound(m_compressor, size_t(n)));
    const size_t written
        = libdeflate_deflate_compress(m_compressor, data.constData(), size_t(n), deflated.data(), deflated.size());
    if (written == 0)
        return fail(QStringLiteral("error in compressing %1").arg(filePath));
    *crc = libdeflate_crc32(0, data.constData(), size_t(n));
    *total = n;
    return !stopped() && writeDeflated(deflated.data(), written, filePath);
}

bool ZipArchiveWriter::writeDeflatedInParallel(QFile& in, const QString& filePath, uLong* crc, qint64* total)
{
    const int workers = workerCount();
    const int batchSize = workers * 2;
    *crc = crc32(0L, Z_NULL, 0);
    *total = 0;
    QByteArray previousTail;
    bool finished = false;
    while (!finished) {
        // Read a batch in order; the checksum is taken on the way.
        std::vector<DeflateChunk> batch;
        while (int(batch.size()) < batchSize && !finished) {
            DeflateChunk chunk;
            chunk.input.resize(kChunkSize);
            const qint64 n = in.read(chunk.input.data(), kChunkSize);
            if (n < 0)
                return fail(QStringLiteral("error in reading %1: %2").arg(filePath, in.errorString()));
            chunk.input.resize(int(n));
            finished = n < kChunkSize || in.atEnd();
            chunk.last = finished;
            chunk.dictionary = previousTail;
            previousTail = chunk.input.right(kDictionarySize);
            *crc = crc32_z(*crc, reinterpret_cast<const Bytef*>(chunk.input.constData()), z_size_t(n));
            *total += n;
            batch.push_back(std::move(chunk));
        }

        if (stopped())
            return false;
        deflateBatch(batch, workers);

        for (const DeflateChunk& chunk : batch) {
            if (!chunk.ok)
                return fail(QStringLiteral("error in compressing %1").arg(filePath));
            if (!chunk.output.isEmpty()
                && zipWriteInFileInZip(zipOf(m_zip), chunk.output.constData(), unsigned(chunk.output.size())) != ZIP_OK)
                return failWriting(QStringLiteral("error in writing %1 in the zipfile").arg(filePath));
        }
    }
    return true;
}

bool ZipArchiveWriter::close()
{
    if (!m_zip) {
        m_file.discard();
        return fail(QStringLiteral("the archive was not open"));
    }
    const int closed = zipClose(zipOf(m_zip), nullptr);
    m_zip = nullptr;
    if (closed != ZIP_OK)
        failWriting(QStringLiteral("error in closing %1").arg(m_file.fileName()));
    if (!hasError())
        stopped();
    if (hasError()) {
        // Discards the temporary file; the previous target stays as it was.
        m_file.discard();
        return false;
    }
    if (!m_file.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
    return true;
}

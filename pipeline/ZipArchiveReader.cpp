#include "ZipArchiveReader.h"

#include "ConsoleOutput.h"
#include "RegularFile.h"
#include "UnpackBudget.h"
#include "ZipArchiveWriter.h"
#include "ZipDeviceIo.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTextCodec>

#include <minizip/unzip.h>

#include <algorithm>
#include <vector>

namespace {

// As many entries as a container written back may hold.
const int kMaxEntries = ZipArchiveWriter::kMaximumEntryCount;

const int kReadBlockSize = 256 * 1024;
const unsigned long kUtf8NameFlag = 1u << 11;
const unsigned long kEncryptedFlag = 1u << 0;

unzFile zipOf(void* handle) { return static_cast<unzFile>(handle); }

// Names without the UTF-8 flag are usually UTF-8 anyway (Info-ZIP on Unix
// stores the bytes as they are on disk); only undecodable ones fall back to
// Latin-1.
QString decodeEntryName(const QByteArray& raw, bool utf8Flag)
{
    if (utf8Flag)
        return QString::fromUtf8(raw);
    QTextCodec* utf8 = QTextCodec::codecForName("UTF-8");
    QTextCodec::ConverterState state;
    const QString decoded = utf8->toUnicode(raw.constData(), raw.size(), &state);
    return state.invalidChars == 0 ? decoded : QString::fromLatin1(raw);
}

bool isDriveLetterPrefix(const QString& name)
{
    return name.size() >= 2 && name.at(1) == QLatin1Char(':') && name.at(0).isLetter();
}

bool hasControlCharacter(const QString& component)
{
    for (const QChar c : component) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// minizip 1.1 leaves 0xffffffff in a size whose true value lies in the
// ZIP64 extra field (id 1); the values there come in a fixed order, each
// present only when its 32-bit field is 0xffffffff.
bool readTrueSizes(const unz_file_info64& info, const QByteArray& extra, quint64* uncompressed, quint64* compressed,
                   bool* fromExtra)
{
    const quint64 escaped = 0xffffffffu;
    *uncompressed = info.uncompressed_size;
    *compressed = info.compressed_size;
    *fromExtra = false;
    if (*uncompressed != escaped && *compressed != escaped)
        return true;
    const auto u16 = [&](int at) { return quint16(uchar(extra[at]) | (uchar(extra[at + 1]) << 8)); };
    const auto u64 = [&](int at) {
        quint64 value = 0;
        for (int i = 7; i >= 0; --i)
            value = (value << 8) | uchar(extra[at + i]);
        return value;
    };
    for (int at = 0; at + 4 <= extra.size();) {
        const int id = u16(at);
        const int size = u16(at + 2);
        const int end = at + 4 + size;
        if (end > extra.size())
            return false;
        if (id == 1) {
            int field = at + 4;
            for (quint64* value : {uncompressed, compressed}) {
                if (*value != escaped)
                    continue;
                if (field + 8 > end)
                    return false;
                *value = u64(field);
                field += 8;
            }
            *fromExtra = true;
            return true;
        }
        at = end;
    }
    return false;
}

// Moves everything below fromFolder into toFolder, merging with folders that
// already exist there (the workspace's shader copy) and replacing files.
bool moveTree(const QString& fromFolder, const QString& toFolder, QString* error)
{
    const QFileInfoList entries
        = QDir(fromFolder)
              .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        const QString target = toFolder + QLatin1Char('/') + entry.fileName();
        const QFileInfo targetInfo(target);
        const bool targetExists = targetInfo.exists() || targetInfo.isSymLink();
        if (entry.isDir() && targetExists && targetInfo.isDir() && !targetInfo.isSymLink()) {
            if (!moveTree(entry.filePath(), target, error))
                return false;
            continue;
        }
        if (targetExists) {
            if (targetInfo.isDir() && !targetInfo.isSymLink()) {
                *error = QStringLiteral("a file of the archive would replace the folder %1").arg(target);
                return false;
            }
            if (!QFile::remove(target)) {
                *error = QStringLiteral("cannot replace %1").arg(target);
                return false;
            }
        }
        if (!QDir().rename(entry.filePath(), target)) {
            *error = QStringLiteral("cannot move %1 into place").arg(target);
            return false;
        }
    }
    return true;
}

} // namespace

ZipArchiveReader::ZipArchiveReader() = default;

ZipArchiveReader::~ZipArchiveReader() { close(); }

bool ZipArchiveReader::safeRelativePath(const QString& entryName, QString* relative, bool* isFolder)
{
    relative->clear();
    QString name = entryName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (isFolder)
        *isFolder = name.endsWith(QLatin1Char('/'));
    if (name.startsWith(QLatin1Char('/')) || isDriveLetterPrefix(name))
        return false;

    QStringList kept;
    for (const QString& component : name.split(QLatin1Char('/'))) {
        if (component.isEmpty() || component == QLatin1String("."))
            continue;
        // ':' would name a drive or an alternate data stream on Windows.
        if (component == QLatin1String("..") || component.contains(QLatin1Char(':')) || hasControlCharacter(component))
            return false;
        kept.append(component);
    }
    *relative = kept.join(QLatin1Char('/'));
    return true;
}

bool ZipArchiveReader::fail(Status status, const QString& message)
{
    if (m_status == Ok) {
        m_status = status;
        m_error = message;
    }
    ConsoleOutput::print(ConsoleOutput::Kind::Narration, message);
    return false;
}

bool ZipArchiveReader::stopped()
{
    if (!m_stopFlag || !m_stopFlag->load())
        return false;
    return fail(Stopped, QStringLiteral("stopped while unpacking"));
}

bool ZipArchiveReader::open(const QString& archivePath)
{
    close();
    m_status = Ok;
    m_error.clear();

    qDebug() << "unpack from: " << archivePath;
    m_file.setFileName(archivePath);
    // Buffered: minizip reads a directory record a few bytes at a time, which
    // unbuffered would be a system call each, some 160 per entry.
    QString reason;
    if (!RegularFile::openForReading(&m_file, QIODevice::NotOpen, &reason))
        return fail(CannotOpen, QStringLiteral("cannot read %1: %2").arg(archivePath, reason));

    zlib_filefunc64_def io = ZipDeviceIo::functionsFor(&m_file);
    m_zip = unzOpen2_64("", &io);
    if (!m_zip && isEmptyArchive()) {
        m_emptyArchive = true;
        return true;
    }
    if (!m_zip) {
        m_file.close();
        return fail(Damaged, QStringLiteral("%1 is not a zip archive or it is truncated").arg(archivePath));
    }
    return true;
}

// An archive without entries is only its end record, at offset 0, which
// minizip mistakes for a missing one. Our own writer produces such archives
// for an empty model folder.
bool ZipArchiveReader::isEmptyArchive()
{
    const qint64 size = m_file.size();
    if (size < 22 || size > 22 + 0xffff || !m_file.seek(0))
        return false;
    const QByteArray record = m_file.read(22);
    if (record.size() != 22 || !record.startsWith("PK\x05\x06"))
        return false;
    const auto u16 = [&](int at) { return int(uchar(record[at])) | (int(uchar(record[at + 1])) << 8); };
    for (int at = 4; at < 20; at += 2) {
        if (u16(at) != 0)
            return false; // disk numbers, entry counts, directory size and offset
    }
    return u16(20) == size - 22;
}

void ZipArchiveReader::close()
{
    m_emptyArchive = false;
    if (m_zip) {
        unzClose(zipOf(m_zip));
        m_zip = nullptr;
    }
    if (m_file.isOpen())
        m_file.close();
}

bool ZipArchiveReader::extractAll(const QString& destinationFolder)
{
    qDebug() << "unpack to  : " << destinationFolder;
    if (m_emptyArchive) {
        close();
        if (!QDir().mkpath(destinationFolder))
            return fail(WriteFailed, QStringLiteral("cannot create %1").arg(destinationFolder));
        return true;
    }
    if (!m_zip) {
        if (m_status == Ok)
            fail(CannotOpen, QStringLiteral("no archive is open"));
        return false;
    }
    if (!QDir().mkpath(destinationFolder)) {
        close();
        return fail(WriteFailed, QStringLiteral("cannot create %1").arg(destinationFolder));
    }

    // The staging folder sits inside the destination, on the same file
    // system, so that moving the result into place is a rename per entry.
    QTemporaryDir staging(destinationFolder + QStringLiteral("/.vm3-unpack-XXXXXX"));
    if (!staging.isValid()) {
        close();
        return fail(WriteFailed, QStringLiteral("cannot write into %1").arg(destinationFolder));
    }

    const bool extracted = checkBounds(destinationFolder) && extractEntries(staging.path());
    close();
    if (!extracted)
        return false;

    QString moveError;
    if (!moveTree(staging.path(), destinationFolder, &moveError))
        return fail(WriteFailed, moveError);
    return true;
}

bool ZipArchiveReader::verifyAll()
{
    m_entryPaths.clear();
    if (m_emptyArchive) {
        close();
        return true;
    }
    if (!m_zip) {
        if (m_status == Ok)
            fail(CannotOpen, QStringLiteral("no archive is open"));
        return false;
    }
    const bool verified = checkBounds(QString()) && extractEntries(QString());
    close();
    return verified;
}

// Reads the directory only (and each entry's local header, to learn where
// its data lies); nothing is decompressed or written. Without a destination
// folder the room on a disk is not judged. The cost grows with the
// number of entries and no faster.
bool ZipArchiveReader::checkBounds(const QString& destinationFolder)
{
    std::vector<EntryFacts> entries;
    if (!readDirectory(&entries))
        return false;

    UnpackBudget budget;
    QSet<QString> targets;
    for (const EntryFacts& entry : entries) {
        budget.add(entry.name, entry.uncompressedSize, entry.compressedSize);
        if (entry.relativePath.isEmpty() || entry.isFolder)
            continue;
        // A later entry of the same name would silently replace the first,
        // so what is checked would not be what is loaded.
        if (targets.contains(entry.relativePath))
            return fail(Damaged, QStringLiteral("the entry \"%1\" appears more than once").arg(entry.name));
        targets.insert(entry.relativePath);
    }

    const QStorageInfo storage(destinationFolder);
    const qint64 bytesFree = !destinationFolder.isEmpty() && storage.isValid() ? storage.bytesAvailable() : -1;
    const UnpackBudget::Verdict verdict = budget.verdict(m_sizeLimit, bytesFree);
    switch (verdict.refusal) {
    case UnpackBudget::Refusal::None:
        break;
    case UnpackBudget::Refusal::NoSpace:
        return fail(NoSpace, verdict.reason);
    case UnpackBudget::Refusal::TooLarge:
    case UnpackBudget::Refusal::ImplausibleRatio:
        return fail(TooLarge, verdict.reason);
    }

    // minizip 1.1 reads data by the 32-bit fields, so an entry whose sizes
    // only its ZIP64 field holds cannot be unpacked, however small it is.
    for (const EntryFacts& entry : entries) {
        if (entry.hasZip64Sizes)
            return fail(Unsupported,
                        QStringLiteral("entry \"%1\" keeps its sizes (%2 bytes) in a ZIP64 field, which cannot be "
                                       "unpacked here")
                            .arg(entry.name)
                            .arg(entry.uncompressedSize));
    }
    if (!locateData(&entries))
        return false;
    // Entries that share compressed data multiply what a small archive
    // unpacks to; an archive we wrote never has them.
    std::sort(entries.begin(), entries.end(),
              [](const EntryFacts& a, const EntryFacts& b) { return a.dataStart < b.dataStart; });
    const EntryFacts* previous = nullptr;
    for (const EntryFacts& entry : entries) {
        if (entry.compressedSize == 0 || entry.dataStart == 0)
            continue;
        if (previous && entry.dataStart < previous->dataStart + previous->compressedSize)
            return fail(TooLarge,
                        QStringLiteral("entries \"%1\" and \"%2\" share their data").arg(previous->name, entry.name));
        previous = &entry;
    }
    return true;
}

// Every entry's name and true sizes, from the directory alone. Other methods
// and encrypted entries are refused while unpacking, so their data is not
// located.
bool ZipArchiveReader::readDirectory(std::vector<EntryFacts>* entries)
{
    // The end record's count first, then the entries as they are walked: a
    // count that does not fit its 16 bits wraps, but the walk stops anyway.
    unz_global_info64 global;
    if (unzGetGlobalInfo64(zipOf(m_zip), &global) != UNZ_OK)
        return fail(Damaged, QStringLiteral("the archive's directory is damaged"));
    if (global.number_entry > quint64(kMaxEntries))
        return tooManyEntries();
    std::vector<char> name(0x10000);
    std::vector<char> extra(0x10000);
    for (int result = unzGoToFirstFile(zipOf(m_zip)); result != UNZ_END_OF_LIST_OF_FILE;
         result = unzGoToNextFile(zipOf(m_zip))) {
        if (entries->size() >= size_t(kMaxEntries))
            return tooManyEntries();
        unz_file_info64 info;
        if (result != UNZ_OK
            || unzGetCurrentFileInfo64(zipOf(m_zip), &info, name.data(), uLong(name.size()), extra.data(),
                                       uLong(extra.size()), nullptr, 0)
                != UNZ_OK)
            return fail(Damaged, QStringLiteral("the archive's directory is damaged"));
        EntryFacts facts;
        facts.name = decodeEntryName(QByteArray(name.data(), int(qMin<uLong>(info.size_filename, name.size()))),
                                     (info.flag & kUtf8NameFlag) != 0);
        if (!safeRelativePath(facts.name, &facts.relativePath, &facts.isFolder))
            facts.relativePath.clear(); // refused with its name while unpacking
        const QByteArray extraField(extra.data(), int(qMin<uLong>(info.size_file_extra, extra.size())));
        if (!readTrueSizes(info, extraField, &facts.uncompressedSize, &facts.compressedSize, &facts.hasZip64Sizes))
            return fail(Damaged,
                        QStringLiteral("entry \"%1\" has 64-bit sizes without their extra field").arg(facts.name));
        facts.locatable = (info.flag & kEncryptedFlag) == 0
            && (info.compression_method == 0 || info.compression_method == Z_DEFLATED) && facts.compressedSize > 0;
        unz64_file_pos position;
        if (unzGetFilePos64(zipOf(m_zip), &position) != UNZ_OK)
            return fail(Damaged, QStringLiteral("the archive's directory is damaged"));
        facts.directoryOffset = position.pos_in_zip_directory;
        facts.index = position.num_of_file;
        entries->push_back(facts);
    }
    return true;
}

bool ZipArchiveReader::tooManyEntries()
{
    return fail(TooLarge,
                QStringLiteral("it holds more than %1 entries, the most a container may hold").arg(kMaxEntries));
}

// Where each entry's data starts, from its local header.
bool ZipArchiveReader::locateData(std::vector<EntryFacts>* entries)
{
    for (EntryFacts& entry : *entries) {
        if (!entry.locatable)
            continue;
        unz64_file_pos position {entry.directoryOffset, entry.index};
        if (unzGoToFilePos64(zipOf(m_zip), &position) != UNZ_OK || unzOpenCurrentFile(zipOf(m_zip)) != UNZ_OK)
            return fail(Damaged, QStringLiteral("entry \"%1\" cannot be decoded").arg(entry.name));
        entry.dataStart = quint64(unzGetCurrentFileZStreamPos64(zipOf(m_zip)));
        unzCloseCurrentFile(zipOf(m_zip));
    }
    return true;
}

bool ZipArchiveReader::extractEntries(const QString& stagingFolder)
{
    int result = unzGoToFirstFile(zipOf(m_zip));
    if (result == UNZ_END_OF_LIST_OF_FILE)
        return true; // an archive without entries
    if (result != UNZ_OK)
        return fail(Damaged, QStringLiteral("the archive's directory is damaged"));

    while (result == UNZ_OK) {
        if (stopped() || !extractCurrentEntry(stagingFolder))
            return false;
        result = unzGoToNextFile(zipOf(m_zip));
    }
    if (result != UNZ_END_OF_LIST_OF_FILE)
        return fail(Damaged, QStringLiteral("the archive's directory is damaged"));
    return true;
}

bool ZipArchiveReader::readCurrentEntryInfo(QString* name, bool* encrypted, int* method)
{
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(zipOf(m_zip), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    std::vector<char> raw(info.size_filename + 1, '\0');
    if (unzGetCurrentFileInfo64(zipOf(m_zip), &info, raw.data(), uLong(raw.size()), nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    *name = decodeEntryName(QByteArray(raw.data(), int(info.size_filename)), (info.flag & kUtf8NameFlag) != 0);
    *encrypted = (info.flag & kEncryptedFlag) != 0;
    *method = int(info.compression_method);
    m_currentSize = info.uncompressed_size;
    m_currentCrc = quint32(info.crc);
    return !name->isEmpty();
}

bool ZipArchiveReader::extractCurrentEntry(const QString& stagingFolder)
{
    QString entryName;
    bool encrypted = false;
    int method = 0;
    if (!readCurrentEntryInfo(&entryName, &encrypted, &method))
        return fail(Damaged, QStringLiteral("Error occurs while getting file info"));

    bool isFolder = false;
    QString relative;
    if (!safeRelativePath(entryName, &relative, &isFolder))
        return fail(UnsafeEntry,
                    QStringLiteral("refused entry \"%1\": it points outside the destination").arg(entryName));
    if (relative.isEmpty() && isFolder)
        return true; // "./" and the like: nothing to create
    if (relative.isEmpty())
        return fail(Damaged, QStringLiteral("entry \"%1\" has no file name").arg(entryName));

    // Without a staging folder the entry is only read and checked.
    const bool verifying = stagingFolder.isEmpty();
    const QString target = verifying ? QString() : stagingFolder + QLatin1Char('/') + relative;
    if (isFolder && verifying)
        return true;
    if (isFolder) {
        if (!QDir().mkpath(target))
            return fail(WriteFailed, QStringLiteral("cannot create %1").arg(target));
        return true;
    }
    if (encrypted)
        return fail(Damaged, QStringLiteral("entry \"%1\" is encrypted").arg(entryName));
    // minizip hands out other methods' data undecoded and unchecked.
    if (method != 0 && method != Z_DEFLATED)
        return fail(
            Damaged,
            QStringLiteral("entry \"%1\" uses the unsupported compression method %2").arg(entryName).arg(method));

    // Every missing level is created: archives need no directory entries.
    const QString parent = QFileInfo(target).path();
    if (!verifying && !QDir().mkpath(parent))
        return fail(WriteFailed, QStringLiteral("cannot create %1").arg(parent));

    if (unzOpenCurrentFile(zipOf(m_zip)) != UNZ_OK)
        return fail(Damaged, QStringLiteral("entry \"%1\" cannot be decoded").arg(entryName));
    const bool copied = copyEntryData(target, entryName, m_currentSize);
    const int closeResult = unzCloseCurrentFile(zipOf(m_zip));
    if (!copied)
        return false;
    if (closeResult == UNZ_CRCERROR)
        return fail(Damaged, QStringLiteral("entry \"%1\" fails its CRC check").arg(entryName));
    if (closeResult != UNZ_OK)
        return fail(Damaged, QStringLiteral("entry \"%1\" is damaged").arg(entryName));
    if (verifying)
        m_entryPaths.append(relative);
    return true;
}

// At most the declared size is copied, then one more read must find the end.
// The CRC is checked here too: minizip checks it only when its own count of
// the bytes left agrees. An empty target path only reads the data.
bool ZipArchiveReader::copyEntryData(const QString& targetPath, const QString& entryName, quint64 declaredSize)
{
    QFile out(targetPath);
    if (!targetPath.isEmpty()
        && (QFileInfo(targetPath).isDir()
            || !out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)))
        return fail(WriteFailed, QStringLiteral("cannot write %1").arg(targetPath));

    std::vector<char> buffer(kReadBlockSize);
    quint64 written = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (;;) {
        const quint64 wanted = qMin<quint64>(buffer.size(), qMax<quint64>(1, declaredSize - written));
        const int n = unzReadCurrentFile(zipOf(m_zip), buffer.data(), unsigned(wanted));
        if (n < 0)
            return fail(Damaged, QStringLiteral("entry \"%1\" is damaged (error %2)").arg(entryName).arg(n));
        if (n == 0)
            break;
        if (stopped())
            return false;
        if (written + quint64(n) > declaredSize)
            return fail(TooLarge,
                        QStringLiteral("entry \"%1\" holds more than the %2 bytes it declares")
                            .arg(entryName)
                            .arg(declaredSize));
        written += quint64(n);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), uInt(n));
        if (out.isOpen() && !ZipDeviceIo::writeFully(&out, buffer.data(), n))
            return fail(WriteFailed, QStringLiteral("cannot write %1: %2").arg(targetPath, out.errorString()));
    }
    if (written != declaredSize)
        return fail(
            Damaged,
            QStringLiteral("entry \"%1\" is shorter than the %2 bytes it declares").arg(entryName).arg(declaredSize));
    if (quint32(crc) != m_currentCrc)
        return fail(Damaged, QStringLiteral("entry \"%1\" fails its CRC check").arg(entryName));
    return true;
}

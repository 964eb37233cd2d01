#include "ZipArchiveReader.h"

#include "ConsoleOutput.h"
#include "ZipDeviceIo.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTextCodec>

#include <minizip/unzip.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

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
    ConsoleOutput::printLine(message);
    return false;
}

bool ZipArchiveReader::open(const QString& archivePath)
{
    close();
    m_status = Ok;
    m_error.clear();

    qDebug() << "unpack from: " << archivePath;
    m_file.setFileName(archivePath);
    if (QFileInfo(archivePath).isDir() || !m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(CannotOpen, QStringLiteral("cannot read %1").arg(archivePath));

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

// Reads the directory only (and each entry's local header, to learn where
// its data lies); nothing is decompressed or written.
bool ZipArchiveReader::checkBounds(const QString& destinationFolder)
{
    qint64 limit = m_sizeLimit;
    const QStorageInfo storage(destinationFolder);
    if (storage.isValid() && storage.bytesAvailable() >= 0)
        limit = qMin(limit, qMax<qint64>(0, storage.bytesAvailable() - freeSpaceMargin));

    struct Range {
        quint64 start, end;
        QString name;
    };
    quint64 total = 0;
    QString implausible; // the first large entry with too high a ratio
    std::vector<Range> ranges;
    const auto forEachEntry = [this](const std::function<bool(const unz_file_info64&, const QString&)>& visit) {
        for (int result = unzGoToFirstFile(zipOf(m_zip)); result != UNZ_END_OF_LIST_OF_FILE;
             result = unzGoToNextFile(zipOf(m_zip))) {
            unz_file_info64 info;
            char name[512] = {};
            if (result != UNZ_OK
                || unzGetCurrentFileInfo64(zipOf(m_zip), &info, name, sizeof name - 1, nullptr, 0, nullptr, 0)
                    != UNZ_OK)
                return fail(Damaged, QStringLiteral("the archive's directory is damaged"));
            if (!visit(info, QString::fromUtf8(name)))
                return false;
        }
        return true;
    };

    // First the directory alone: declared sizes and ratios.
    const bool listed = forEachEntry([&](const unz_file_info64& info, const QString& entryName) {
        total += info.uncompressed_size;
        const quint64 ratio = info.uncompressed_size / qMax<quint64>(1, info.compressed_size);
        if (implausible.isEmpty() && info.uncompressed_size >= quint64(ratioCheckedSize)
            && ratio > quint64(maximumRatio))
            implausible
                = QStringLiteral("entry \"%1\" claims to grow %2 times when unpacked").arg(entryName).arg(ratio);
        return true;
    });
    if (!listed)
        return false;
    if (total > quint64(limit))
        return fail(TooLarge,
                    QStringLiteral("it would unpack to %1 bytes, more than the %2 allowed").arg(total).arg(limit));
    if (!implausible.isEmpty())
        return fail(TooLarge, implausible);

    // Then where each entry's data lies, from its local header. Other
    // methods and encrypted entries are refused while unpacking.
    const bool located = forEachEntry([&](const unz_file_info64& info, const QString& entryName) {
        const bool readable = (info.flag & kEncryptedFlag) == 0
            && (info.compression_method == 0 || info.compression_method == Z_DEFLATED);
        if (!readable || info.compressed_size == 0)
            return true;
        if (unzOpenCurrentFile(zipOf(m_zip)) != UNZ_OK)
            return fail(Damaged, QStringLiteral("entry \"%1\" cannot be decoded").arg(entryName));
        const quint64 start = quint64(unzGetCurrentFileZStreamPos64(zipOf(m_zip)));
        unzCloseCurrentFile(zipOf(m_zip));
        ranges.push_back({start, start + info.compressed_size, entryName});
        return true;
    });
    if (!located)
        return false;

    // Entries that share compressed data multiply what a small archive
    // unpacks to; an archive we wrote never has them.
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.start < b.start; });
    for (size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].start < ranges[i - 1].end)
            return fail(
                TooLarge,
                QStringLiteral("entries \"%1\" and \"%2\" share their data").arg(ranges[i - 1].name, ranges[i].name));
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
        if (!extractCurrentEntry(stagingFolder))
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
    m_currentSize = info.uncompressed_size;
    *method = int(info.compression_method);
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

    const QString target = stagingFolder + QLatin1Char('/') + relative;
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
    if (!QDir().mkpath(parent))
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
    return true;
}

bool ZipArchiveReader::copyEntryData(const QString& targetPath, const QString& entryName, quint64 declaredSize)
{
    quint64 written = 0;
    QFile out(targetPath);
    if (QFileInfo(targetPath).isDir() || !out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return fail(WriteFailed, QStringLiteral("cannot write %1").arg(targetPath));

    std::vector<char> buffer(kReadBlockSize);
    for (;;) {
        const int n = unzReadCurrentFile(zipOf(m_zip), buffer.data(), unsigned(buffer.size()));
        if (n < 0)
            return fail(Damaged, QStringLiteral("entry \"%1\" is damaged (error %2)").arg(entryName).arg(n));
        if (n == 0)
            return true;
        written += quint64(n);
        if (written > declaredSize)
            return fail(TooLarge,
                        QStringLiteral("entry \"%1\" holds more than the %2 bytes it declares")
                            .arg(entryName)
                            .arg(declaredSize));
        if (!ZipDeviceIo::writeFully(&out, buffer.data(), n))
            return fail(WriteFailed, QStringLiteral("cannot write %1: %2").arg(targetPath, out.errorString()));
    }
}

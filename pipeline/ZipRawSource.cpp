#include "ZipRawSource.h"

#include "RegularFile.h"
#include "ZipDeviceIo.h"

#include <minizip/unzip.h>

#include <cstring>
#include <vector>

namespace {

const int kBlockSize = 256 * 1024;
const uLong kEncryptedFlag = 1u;
const uLong kUtf8NameFlag = 1u << 11;

unzFile zipOf(void* handle) { return static_cast<unzFile>(handle); }

} // namespace

ZipRawSource::ZipRawSource() = default;

ZipRawSource::~ZipRawSource()
{
    if (m_zip)
        unzClose(zipOf(m_zip));
}

bool ZipRawSource::open(const QString& archivePath)
{
    m_file.setFileName(archivePath);
    if (!RegularFile::openForReading(&m_file))
        return false;
    zlib_filefunc64_def io = ZipDeviceIo::functionsFor(&m_file);
    m_zip = unzOpen2_64("", &io);
    if (!m_zip || !indexEntries()) {
        m_entries.clear();
        return false;
    }
    return true;
}

bool ZipRawSource::indexEntries()
{
    std::vector<char> name(0x10000);
    QSet<QString> seen;
    QSet<QString> seenTwice;
    for (int result = unzGoToFirstFile(zipOf(m_zip)); result != UNZ_END_OF_LIST_OF_FILE;
         result = unzGoToNextFile(zipOf(m_zip))) {
        unz_file_info64 info;
        unz64_file_pos position;
        if (result != UNZ_OK
            || unzGetCurrentFileInfo64(zipOf(m_zip), &info, name.data(), uLong(name.size()), nullptr, 0, nullptr, 0)
                != UNZ_OK
            || unzGetFilePos64(zipOf(m_zip), &position) != UNZ_OK)
            return false;
        // Names of other encodings cannot be matched reliably; they are packed anew.
        const QByteArray bytes(name.data(), int(qMin<uLong>(info.size_filename, uLong(name.size()))));
        const QString entryName = QString::fromUtf8(bytes);
        const bool readable = (info.flag & kUtf8NameFlag) != 0 || entryName.toLatin1() == bytes;
        if (seen.contains(entryName))
            seenTwice.insert(entryName);
        seen.insert(entryName);
        if (!readable || info.compression_method != Z_DEFLATED || (info.flag & kEncryptedFlag) != 0)
            continue;
        m_entries.insert(entryName,
                         Entry {position.pos_in_zip_directory, position.num_of_file, quint32(info.crc),
                                quint64(info.compressed_size), quint64(info.uncompressed_size)});
    }
    for (const QString& name : seenTwice)
        m_entries.remove(name);
    return true;
}

bool ZipRawSource::goTo(const Entry& entry)
{
    unz64_file_pos position {entry.directoryOffset, entry.index};
    return unzGoToFilePos64(zipOf(m_zip), &position) == UNZ_OK;
}

bool ZipRawSource::findSame(const QString& entryName, const QString& filePath, Entry* entry)
{
    const auto found = m_entries.constFind(entryName);
    if (found == m_entries.constEnd())
        return false;
    QFile file(filePath);
    if (!RegularFile::openForReading(&file, QIODevice::Unbuffered) || quint64(file.size()) != found->uncompressedSize)
        return false;
    if (!goTo(*found) || unzOpenCurrentFile(zipOf(m_zip)) != UNZ_OK)
        return false;
    const bool same = inflatesTo(file, *found);
    // Closing checks the CRC, as the whole entry was read.
    const bool intact = unzCloseCurrentFile(zipOf(m_zip)) == UNZ_OK;
    if (!same || !intact)
        return false;
    *entry = *found;
    return true;
}

bool ZipRawSource::inflatesTo(QFile& file, const Entry& entry)
{
    std::vector<char> inflated(kBlockSize);
    std::vector<char> onDisk(kBlockSize);
    quint64 compared = 0;
    while (compared < entry.uncompressedSize) {
        const int got = unzReadCurrentFile(zipOf(m_zip), inflated.data(), unsigned(inflated.size()));
        if (got <= 0 || file.read(onDisk.data(), got) != got
            || std::memcmp(inflated.data(), onDisk.data(), size_t(got)))
            return false;
        compared += quint64(got);
    }
    char extra;
    return compared == entry.uncompressedSize && file.read(&extra, 1) == 0;
}

bool ZipRawSource::copyDeflated(const Entry& entry, const std::function<bool(const char*, unsigned)>& write)
{
    int method = 0;
    int level = 0;
    if (!goTo(entry) || unzOpenCurrentFile2(zipOf(m_zip), &method, &level, 1) != UNZ_OK)
        return false;
    std::vector<char> block(kBlockSize);
    quint64 copied = 0;
    bool ok = true;
    while (ok) {
        const int got = unzReadCurrentFile(zipOf(m_zip), block.data(), unsigned(block.size()));
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        copied += quint64(got);
        ok = write(block.data(), unsigned(got));
    }
    unzCloseCurrentFile(zipOf(m_zip));
    return ok && copied == entry.compressedSize;
}

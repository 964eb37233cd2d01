#include "ZipEntryReader.h"

#include "RegularFile.h"
#include "ZipDeviceIo.h"

#include <QFile>

#include <minizip/unzip.h>

namespace {

// Closes what minizip opened, whichever way reading ends.
struct OpenArchive {
    unzFile zip = nullptr;
    bool entryOpen = false;
    ~OpenArchive()
    {
        if (entryOpen)
            unzCloseCurrentFile(zip);
        if (zip)
            unzClose(zip);
    }
};

} // namespace

ZipEntryReader::Status ZipEntryReader::read(const QString& archivePath, const char* entryName, qint64 maxBytes,
                                            QByteArray* bytes, QString* fileError)
{
    QFile file(archivePath);
    if (!RegularFile::openForReading(&file, QIODevice::NotOpen, fileError))
        return Status::CannotOpen;
    zlib_filefunc64_def io = ZipDeviceIo::functionsFor(&file);
    OpenArchive archive;
    archive.zip = unzOpen2_64("", &io);
    if (!archive.zip)
        return Status::NotZip;
    if (unzLocateFile(archive.zip, entryName, 1) != UNZ_OK)
        return Status::Missing;
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(archive.zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK
        || info.uncompressed_size > quint64(maxBytes) || unzOpenCurrentFile(archive.zip) != UNZ_OK)
        return Status::Damaged;
    archive.entryOpen = true;
    bytes->resize(int(info.uncompressed_size));
    const int got = bytes->isEmpty() ? 0 : unzReadCurrentFile(archive.zip, bytes->data(), unsigned(bytes->size()));
    // Closing checks the CRC once the whole entry was read.
    archive.entryOpen = false;
    const bool intact = unzCloseCurrentFile(archive.zip) == UNZ_OK;
    return got == bytes->size() && intact ? Status::Read : Status::Damaged;
}

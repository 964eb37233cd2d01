#include "ContainerThumbnail.h"

#include "ZipDeviceIo.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <minizip/unzip.h>

namespace {

const char kPreviewEntry[] = "model/.meta/perspective.png";

QString tr(const char* text) { return QCoreApplication::translate("ContainerThumbnail", text); }

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

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

bool readPreviewBytes(const QString& containerPath, QByteArray* bytes, QString* error)
{
    QFile file(containerPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, tr("Cannot read %1: %2").arg(containerPath, file.errorString()));
    zlib_filefunc64_def io = ZipDeviceIo::functionsFor(&file);
    OpenArchive archive;
    archive.zip = unzOpen2_64("", &io);
    if (!archive.zip)
        return fail(error, tr("%1 is not a vm3 file (no zip archive).").arg(containerPath));
    if (unzLocateFile(archive.zip, kPreviewEntry, 1) != UNZ_OK)
        return fail(error, tr("%1 holds no preview image.").arg(containerPath));
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(archive.zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK
        || info.uncompressed_size > quint64(ContainerThumbnail::kMaxPreviewBytes))
        return fail(error, tr("The preview image of %1 is damaged.").arg(containerPath));
    if (unzOpenCurrentFile(archive.zip) != UNZ_OK)
        return fail(error, tr("The preview image of %1 is damaged.").arg(containerPath));
    archive.entryOpen = true;
    bytes->resize(int(info.uncompressed_size));
    const int got = bytes->isEmpty() ? 0 : unzReadCurrentFile(archive.zip, bytes->data(), unsigned(bytes->size()));
    // Closing checks the CRC once the whole entry was read.
    archive.entryOpen = false;
    const bool intact = unzCloseCurrentFile(archive.zip) == UNZ_OK;
    if (got != bytes->size() || !intact)
        return fail(error, tr("The preview image of %1 is damaged.").arg(containerPath));
    return true;
}

} // namespace

QImage ContainerThumbnail::readPreview(const QString& containerPath, QString* error)
{
    QByteArray bytes;
    if (!readPreviewBytes(containerPath, &bytes, error))
        return QImage();
    QImage image;
    if (!image.loadFromData(bytes, "PNG")) {
        fail(error, tr("The preview image of %1 is damaged.").arg(containerPath));
        return QImage();
    }
    return image;
}

bool ContainerThumbnail::write(const QString& containerPath, const QString& outputPath, int size, QString* error)
{
    if (size < 1 || size > kMaxSize)
        return fail(error, tr("The size must be a number from 1 to %1.").arg(kMaxSize));
    const QImage preview = readPreview(containerPath, error);
    if (preview.isNull())
        return false;
    const QImage scaled = preview.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QSaveFile file(outputPath);
    if (!file.open(QIODevice::WriteOnly) || !scaled.save(&file, "PNG") || !file.commit())
        return fail(error, tr("Cannot write %1: %2").arg(outputPath, file.errorString()));
    return true;
}

#include "ContainerThumbnail.h"

#include "ZipEntryReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

namespace {

const char kPreviewEntry[] = "model/.meta/perspective.png";

QString tr(const char* text) { return QCoreApplication::translate("ContainerThumbnail", text); }

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

bool readPreviewBytes(const QString& containerPath, QByteArray* bytes, QString* error)
{
    QString fileError;
    switch (
        ZipEntryReader::read(containerPath, kPreviewEntry, ContainerThumbnail::kMaxPreviewBytes, bytes, &fileError)) {
    case ZipEntryReader::Status::Read:
        return true;
    case ZipEntryReader::Status::CannotOpen:
        return fail(error, tr("Cannot read %1: %2").arg(containerPath, fileError));
    case ZipEntryReader::Status::NotZip:
        return fail(error, tr("%1 is not a vm3 file (no zip archive).").arg(containerPath));
    case ZipEntryReader::Status::Missing:
        return fail(error, tr("%1 holds no preview image.").arg(containerPath));
    case ZipEntryReader::Status::Damaged:
        break;
    }
    return fail(error, tr("The preview image of %1 is damaged.").arg(containerPath));
}

// A model that drew nothing leaves a preview of one colour: the empty
// background, which tells a file manager nothing about the model.
bool isPlaceholder(const QImage& image)
{
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb first = pixels.pixel(0, 0);
    for (int y = 0; y < pixels.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            if (line[x] != first)
                return false;
        }
    }
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
    if (isPlaceholder(preview))
        return fail(error, tr("%1 holds only a placeholder preview: the model drew nothing.").arg(containerPath));
    const QImage scaled = preview.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QSaveFile file(outputPath);
    if (!file.open(QIODevice::WriteOnly) || !scaled.save(&file, "PNG") || !file.commit())
        return fail(error, tr("Cannot write %1: %2").arg(outputPath, file.errorString()));
    return true;
}

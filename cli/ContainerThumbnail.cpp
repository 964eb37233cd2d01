#include "ContainerThumbnail.h"

#include "ReplacingFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("ContainerThumbnail", text); }

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
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

QImage ContainerThumbnail::readPreview(const QString& previewPath, QString* error)
{
    if (!QFileInfo(previewPath).isFile()) {
        fail(error, tr("it holds no preview image"));
        return QImage();
    }
    QImageReader reader(previewPath, "PNG");
    const QSize size = reader.size();
    if (size.width() > kMaxSize || size.height() > kMaxSize) {
        fail(error,
             tr("the preview image is %1 x %2 pixels, more than %3 x %3")
                 .arg(size.width())
                 .arg(size.height())
                 .arg(kMaxSize));
        return QImage();
    }
    const QImage image = reader.read();
    if (image.isNull())
        fail(error, tr("the preview image is damaged"));
    return image;
}

bool ContainerThumbnail::write(const QString& previewPath, const QString& outputPath, int size, QString* error)
{
    if (size < 1 || size > kMaxSize)
        return fail(error, tr("The size must be a number from 1 to %1.").arg(kMaxSize));
    const QImage preview = readPreview(previewPath, error);
    if (preview.isNull())
        return false;
    if (isPlaceholder(preview))
        return fail(error, tr("it holds only a placeholder preview: the model drew nothing"));
    const QImage scaled = preview.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    ReplacingFile file(outputPath);
    if (!file.open(QIODevice::WriteOnly) || !scaled.save(&file, "PNG") || !file.commit())
        return fail(error, tr("Cannot write %1: %2").arg(outputPath, file.errorString()));
    return true;
}

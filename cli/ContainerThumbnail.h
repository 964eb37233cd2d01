#pragma once

#include <QImage>
#include <QString>

// The preview of a vm3 container for file managers:
//   Velmora3dEncoder --thumbnail INPUT OUTPUT SIZE
// The container is unpacked and judged as --convert judges it; this class
// then scales its preview image. Needs no display: QImage scales without a
// GUI application.
class ContainerThumbnail {
public:
    // Largest edge accepted for SIZE and for the stored preview (a hostile
    // header must not make the decoder allocate gigabytes).
    static constexpr int kMaxSize = 4096;

    // The image at previewPath, decoded only once its header shows it fits
    // kMaxSize x kMaxSize; a null image and an error text otherwise.
    static QImage readPreview(const QString& previewPath, QString* error);

    // Scales the preview into a SIZE x SIZE box (keeping its proportions)
    // and writes it as PNG. Nothing is left at outputPath on failure.
    static bool write(const QString& previewPath, const QString& outputPath, int size, QString* error);
};

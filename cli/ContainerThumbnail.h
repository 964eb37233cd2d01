#pragma once

#include <QImage>
#include <QString>

// The preview image --thumbnail writes (Velmora3dEncoder --thumbnail INPUT
// OUTPUT SIZE): the container's stored preview, or one drawn at SIZE, read
// with its size checked and scaled into the box. Needs no display: QImage scales without a
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

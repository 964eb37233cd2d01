#pragma once

#include <QImage>
#include <QString>

// The preview of a vm3 container for file managers:
//   Velmora3dEncoder --thumbnail INPUT OUTPUT SIZE
// reads the central directory and the one entry model/.meta/perspective.png,
// nothing else, so a large container costs no more than a small one. Needs no
// display: QImage scales without a GUI application.
class ContainerThumbnail {
public:
    // Largest edge accepted for SIZE, and the largest preview entry read
    // (a damaged or hostile size field must not allocate gigabytes).
    static constexpr int kMaxSize = 4096;
    static constexpr qint64 kMaxPreviewBytes = 64 * 1024 * 1024;

    // The preview as stored; a null image and an error text when the file is
    // no zip, has no preview, or the preview is damaged.
    static QImage readPreview(const QString& containerPath, QString* error);

    // Scales the preview into a SIZE x SIZE box (keeping its proportions)
    // and writes it as PNG. Nothing is left at outputPath on failure.
    static bool write(const QString& containerPath, const QString& outputPath, int size, QString* error);
};

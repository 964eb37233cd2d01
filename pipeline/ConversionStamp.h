#pragma once

#include "FileDigest.h"
#include "ImportOptions.h"

#include <QByteArray>
#include <QFileInfoList>
#include <QString>

// What a container was made from: the input's size, modification time and
// content digest, the options and the encoder's version. --convert stores it
// in the model folder's ".meta", so that a later batch can tell an output
// that is up to date without converting again.
struct ConversionStamp {
    qint64 size = -1;
    qint64 modifiedMs = 0; // milliseconds since the epoch, UTC
    QByteArray md5; // 32 lower-case hexadecimal digits
    // MD5 of the names, sizes and times of the files a model reads beside
    // it (textures, material libraries, buffers) in its folder and two levels
    // below: a texture saved again makes the container out of date.
    QByteArray companions;
    ImportOptions options;
    QString encoderVersion;

    static const char* fileName(); // "source.json" in the model folder's .meta
    static const char* entryName(); // the same file inside a vm3 file

    // The files a model may read beside it, in a stable order.
    static QFileInfoList companionFiles(const QString& inputPath);

    // false when the input cannot be read.
    static bool ofInput(const QString& inputPath, const ImportOptions& options, ConversionStamp* stamp);
    // The same, taking the digest from a snapshot that still describes the
    // input instead of reading the input again.
    static bool ofInput(const QString& inputPath, const ImportOptions& options, const FileDigest::Snapshot& known,
                        ConversionStamp* stamp);
    QByteArray toJson() const;
    static bool fromJson(const QByteArray& json, ConversionStamp* stamp);

    // The same content and companions, converted with the same options by
    // the same encoder version.
    bool sameSource(const ConversionStamp& other) const;

    // Whether outputPath holds a container made from inputPath as it is now
    // (the same content, options and encoder version). The input is read only
    // when its size and the options match what the container recorded. The
    // modification time is recorded for people, not compared: a file that
    // was only touched converts to the same container.
    static bool isUpToDate(const QString& inputPath, const QString& outputPath, const ImportOptions& options);
};

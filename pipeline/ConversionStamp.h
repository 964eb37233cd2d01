#pragma once

#include "FileDigest.h"
#include "ImportOptions.h"

#include <QByteArray>
#include <QFileInfoList>
#include <QMap>
#include <QString>

// What a model was converted from: the input's size and content digest, the
// options and the encoder's version. Nothing in it depends on when, where or
// on which machine the conversion ran, so that one input converts to the same
// bytes everywhere. --convert stores it
// in the model folder's ".meta" with the digest of every file the encoder
// read, so that a later batch can tell an output that is up to date without
// converting again; the window's conversion cache keys on it with the
// companions' digest instead, known before converting.
struct ConversionStamp {
    qint64 size = -1;
    QByteArray md5; // 32 lower-case hexadecimal digits
    // MD5 of the names, sizes and times of the files a model may read beside
    // it (textures, material libraries, buffers) in its folder and two levels
    // below: a texture saved again makes a cached conversion out of date.
    QByteArray companions;
    // Path relative to the model's folder -> MD5 of every file the encoder
    // read (the model, its material libraries, buffers and textures,
    // wherever they are); empty for a file the model names that was missing.
    QMap<QString, QByteArray> filesRead;
    bool recordsFilesRead = false; // false for records written before it was kept
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
    // The record of a finished conversion: the input, each file the encoder
    // read with the digest the encoder took of the content it converted
    // (absolute path -> MD5), and the files it missed. false when the input
    // cannot be read.
    static bool ofConversion(const QString& inputPath, const ImportOptions& options,
                             const QMap<QString, QByteArray>& filesRead, const QStringList& filesMissing,
                             ConversionStamp* stamp);
    QByteArray toJson() const;
    static bool fromJson(const QByteArray& json, ConversionStamp* stamp);

    // The same content and companions, converted with the same options by
    // the same encoder version.
    bool sameSource(const ConversionStamp& other) const;

    // Whether outputPath records a conversion of inputPath as it is now: the
    // same options and encoder version, and every file the encoder read
    // (the input among them) with the same content. Files are read only
    // when the input's size and the options match the record, each once.
    // Times are neither recorded nor compared: a file that was only touched
    // converts to the same container. Whether the
    // container itself is intact is for its reader to say.
    static bool isUpToDate(const QString& inputPath, const QString& outputPath, const ImportOptions& options);
};

#pragma once

#include <minizip/ioapi.h>

#include <QtGlobal>

class QIODevice;

// minizip file functions that work on an already opened QIODevice. Paths
// thus go through Qt's own file name handling (full Unicode), and the writer
// can target the file a ReplacingFile writes. The device stays owned and closed by the caller;
// minizip's open and close calls do not touch it.
class ZipDeviceIo {
public:
    static zlib_filefunc64_def functionsFor(QIODevice* device);

    // Writes all of data. A write cut short by a full disk or a file size
    // limit reports no reason; the retry of the rest fails with it, so the
    // device's error string names the cause.
    static bool writeFully(QIODevice* device, const char* data, qint64 size);
};

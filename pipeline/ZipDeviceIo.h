#pragma once

#include <minizip/ioapi.h>

class QIODevice;

// minizip file functions that work on an already opened QIODevice. Paths
// thus go through Qt's own file name handling (full Unicode), and the writer
// can target a QSaveFile. The device stays owned and closed by the caller;
// minizip's open and close calls do not touch it.
class ZipDeviceIo {
public:
    static zlib_filefunc64_def functionsFor(QIODevice* device);
};

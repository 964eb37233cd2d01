#include "ZipDeviceIo.h"

#include <QIODevice>

namespace {

QIODevice* deviceOf(voidpf opaque) { return static_cast<QIODevice*>(opaque); }

voidpf ZCALLBACK openDevice(voidpf opaque, const void*, int) { return deviceOf(opaque)->isOpen() ? opaque : nullptr; }

uLong ZCALLBACK readDevice(voidpf opaque, voidpf, void* buffer, uLong size)
{
    const qint64 n = deviceOf(opaque)->read(static_cast<char*>(buffer), qint64(size));
    return n < 0 ? 0 : uLong(n);
}

uLong ZCALLBACK writeDevice(voidpf opaque, voidpf, const void* buffer, uLong size)
{
    return ZipDeviceIo::writeFully(deviceOf(opaque), static_cast<const char*>(buffer), qint64(size)) ? size : 0;
}

ZPOS64_T ZCALLBACK tellDevice(voidpf opaque, voidpf) { return ZPOS64_T(deviceOf(opaque)->pos()); }

long ZCALLBACK seekDevice(voidpf opaque, voidpf, ZPOS64_T offset, int origin)
{
    QIODevice* device = deviceOf(opaque);
    qint64 target = 0;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
        target = qint64(offset);
        break;
    case ZLIB_FILEFUNC_SEEK_CUR:
        target = device->pos() + qint64(offset);
        break;
    case ZLIB_FILEFUNC_SEEK_END:
        target = device->size() + qint64(offset);
        break;
    default:
        return -1;
    }
    return device->seek(target) ? 0 : -1;
}

int ZCALLBACK closeDevice(voidpf, voidpf) { return 0; }

int ZCALLBACK deviceError(voidpf, voidpf) { return 0; }

} // namespace

bool ZipDeviceIo::writeFully(QIODevice* device, const char* data, qint64 size)
{
    while (size > 0) {
        const qint64 written = device->write(data, size);
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

zlib_filefunc64_def ZipDeviceIo::functionsFor(QIODevice* device)
{
    zlib_filefunc64_def functions;
    functions.zopen64_file = openDevice;
    functions.zread_file = readDevice;
    functions.zwrite_file = writeDevice;
    functions.ztell64_file = tellDevice;
    functions.zseek64_file = seekDevice;
    functions.zclose_file = closeDevice;
    functions.zerror_file = deviceError;
    functions.opaque = device;
    return functions;
}

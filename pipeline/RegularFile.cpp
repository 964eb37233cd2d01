#include "RegularFile.h"

#include <QCoreApplication>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFileInfo>
#endif

namespace RegularFile {

namespace {

bool refuse(const QString& reason, QString* error)
{
    if (error)
        *error = reason;
    return false;
}

#ifdef Q_OS_UNIX
// O_NONBLOCK makes the open itself return for a FIFO without a writer; it
// is cleared once the descriptor is known to be a plain file, so reads
// behave as usual.
int openRegularDescriptor(const QString& path, QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        refuse(QString::fromLocal8Bit(std::strerror(errno)), error);
        return -1;
    }
    struct stat info;
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0
        || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        refuse(notRegularText(), error);
        return -1;
    }
    return fd;
}
#endif

} // namespace

QString notRegularText()
{
    return QCoreApplication::translate("RegularFile", "not a regular file (a FIFO, device, socket or folder)");
}

bool openForReading(QFile* file, QIODevice::OpenMode extraMode, QString* error)
{
#ifdef Q_OS_UNIX
    const int fd = openRegularDescriptor(file->fileName(), error);
    if (fd < 0)
        return false;
    if (!file->open(fd, QIODevice::ReadOnly | extraMode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refuse(file->errorString(), error);
    }
    return true;
#else
    if (!QFileInfo(file->fileName()).isFile())
        return refuse(notRegularText(), error);
    return file->open(QIODevice::ReadOnly | extraMode) || refuse(file->errorString(), error);
#endif
}

} // namespace RegularFile

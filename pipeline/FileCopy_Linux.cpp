#include "FileCopy_Linux.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Transfer { Done, Failed, NotByKernel };

Transfer transfer(int in, int out, off_t size)
{
    for (off_t left = size; left > 0;) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, size_t(left), 0);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied < 0) {
            const bool kernelCannot = errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP;
            return kernelCannot ? Transfer::NotByKernel : Transfer::Failed;
        }
        if (copied == 0)
            break; // the source got shorter meanwhile: what there is was copied
        left -= copied;
    }
    return Transfer::Done;
}

} // namespace

bool FileCopy_Linux::copy(const QString& from, const QString& to)
{
    const QByteArray target = QFile::encodeName(to);
    // Without waiting: a FIFO in place of the source is refused, not waited on.
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat source;
    const int flags = ::fcntl(in, F_GETFL);
    if (::fstat(in, &source) != 0 || !S_ISREG(source.st_mode) || flags < 0
        || ::fcntl(in, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(in);
        return false;
    }
    const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    Transfer result = transfer(in, out, source.st_size);
    if (result == Transfer::Done && ::fchmod(out, source.st_mode & 07777) != 0)
        result = Transfer::Failed;
    ::close(in);
    if (::close(out) != 0 && result == Transfer::Done)
        result = Transfer::Failed;
    if (result == Transfer::Done)
        return true;
    ::unlink(target.constData());
    return result == Transfer::NotByKernel && QFile::copy(from, to);
}

#include "ReplacingFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("ReplacingFile", text); }

pid_t s_requiredParent = 0;

const int kNameAttempts = 100;

// Bytes gathered before they go to the system: the archive writer hands over
// headers a field at a time.
const int kPendingLimit = 64 << 10;

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The kernel's protected-links rule: in a folder that is sticky and writable
// by all, a link is followed only by its owner or when the folder's owner made it.
bool isForeignLinkInSharedFolder(const struct stat& entry, const struct stat& folder)
{
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return S_ISLNK(entry.st_mode) && shared && entry.st_uid != ::geteuid() && entry.st_uid != folder.st_uid;
}

// Why the entry name in folder cannot be replaced; empty when it can or is absent.
QString refusalAt(int folder, const QByteArray& name, const QString& shownPath)
{
    struct stat entry;
    struct stat folderInfo;
    if (::fstatat(folder, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0 || ::fstat(folder, &folderInfo) != 0)
        return QString();
    if (S_ISDIR(entry.st_mode))
        return tr("%1 is a folder.").arg(shownPath);
    if (isForeignLinkInSharedFolder(entry, folderInfo))
        return tr("%1 is a link another user made in a folder shared by all users; it is left alone.").arg(shownPath);
    return QString();
}

} // namespace

ReplacingFile::ReplacingFile(const QString& targetPath)
    : m_target(targetPath)
{
}

ReplacingFile::~ReplacingFile() { discard(); }

void ReplacingFile::setFileName(const QString& targetPath)
{
    discard();
    m_target = targetPath;
}

bool ReplacingFile::open(OpenMode mode)
{
    discard();
    m_failed = false;
    setErrorString(QString());
    if (mode != WriteOnly)
        return fail(tr("A replacing file is written only."));
    const QFileInfo target(m_target);
    m_name = QFile::encodeName(target.fileName());
    m_folder = ::open(QFile::encodeName(target.absolutePath()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0)
        return failWithSystemError();
    const QString refusal = refusalAt(m_folder, m_name, QDir::toNativeSeparators(m_target));
    if (!refusal.isEmpty())
        return fail(refusal);
    if (!createTemporary())
        return false;
    m_pending.clear();
    m_pendingOffset = 0;
    return QIODevice::open(WriteOnly | Unbuffered);
}

bool ReplacingFile::createTemporary()
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        m_temporaryName = '.' + m_name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        m_descriptor = ::openat(m_folder, m_temporaryName.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_descriptor >= 0)
            break;
        if (errno != EEXIST)
            return failWithSystemError();
    }
    if (m_descriptor < 0)
        return fail(systemError(EEXIST));
    // An existing file keeps its permissions, as an editor's save keeps them.
    struct stat previous;
    if (::fstatat(m_folder, m_name.constData(), &previous, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(previous.st_mode))
        ::fchmod(m_descriptor, previous.st_mode & 0777);
    return true;
}

qint64 ReplacingFile::writeData(const char* data, qint64 length)
{
    if (m_failed || m_descriptor < 0)
        return -1;
    m_pending.append(data, int(length));
    if (m_pending.size() >= kPendingLimit && !writePending())
        return -1;
    return length;
}

bool ReplacingFile::writePending()
{
    for (qint64 done = 0; done < m_pending.size();) {
        const ssize_t written = ::pwrite(m_descriptor, m_pending.constData() + done, size_t(m_pending.size() - done),
                                         off_t(m_pendingOffset + done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return failWithSystemError();
        done += written;
    }
    m_pendingOffset += m_pending.size();
    m_pending.clear();
    return true;
}

bool ReplacingFile::seek(qint64 position)
{
    if (m_failed || m_descriptor < 0 || !writePending())
        return false;
    m_pendingOffset = position;
    return QIODevice::seek(position);
}

qint64 ReplacingFile::size() const
{
    struct stat info;
    const qint64 written = m_descriptor >= 0 && ::fstat(m_descriptor, &info) == 0 ? qint64(info.st_size) : 0;
    return qMax(written, m_pendingOffset + m_pending.size());
}

bool ReplacingFile::commit()
{
    if (m_failed)
        return false;
    if (m_descriptor < 0)
        return fail(tr("The file was not open."));
    if (!writePending() || ::fsync(m_descriptor) != 0)
        return failWithSystemError();
    const int descriptor = m_descriptor;
    m_descriptor = -1;
    if (::close(descriptor) != 0)
        return failWithSystemError();
    if (s_requiredParent != 0 && ::getppid() != s_requiredParent)
        return fail(tr("The batch that started this conversion has ended."));
    if (::renameat(m_folder, m_temporaryName.constData(), m_folder, m_name.constData()) != 0)
        return failWithSystemError();
    m_temporaryName.clear();
    discard();
    return true;
}

void ReplacingFile::discard()
{
    removeTemporary();
    if (isOpen())
        QIODevice::close();
}

void ReplacingFile::removeTemporary()
{
    if (m_folder >= 0 && !m_temporaryName.isEmpty())
        ::unlinkat(m_folder, m_temporaryName.constData(), 0);
    m_temporaryName.clear();
    m_pending.clear();
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    if (m_folder >= 0)
        ::close(m_folder);
    m_descriptor = -1;
    m_folder = -1;
}

// The first failure is the one to tell; later ones follow from it. The
// device stays open, so that later writes fail quietly.
bool ReplacingFile::fail(const QString& reason)
{
    if (!m_failed)
        setErrorString(reason);
    m_failed = true;
    removeTemporary();
    return false;
}

bool ReplacingFile::failWithSystemError() { return fail(systemError(errno)); }

QString ReplacingFile::refusalOf(const QString& targetPath)
{
    const QFileInfo target(targetPath);
    const int folder = ::open(QFile::encodeName(target.absolutePath()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return QString();
    const QString refusal
        = refusalAt(folder, QFile::encodeName(target.fileName()), QDir::toNativeSeparators(targetPath));
    ::close(folder);
    return refusal;
}

void ReplacingFile::replaceOnlyWhileParentIs(pid_t parent) { s_requiredParent = parent; }

#include "WorkspaceOwner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool processRuns(qint64 pid)
{
    if (pid <= 0)
        return false;
    // EPERM: it runs, under another user.
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

} // namespace

QString WorkspaceOwner::ownerFile(const QString& root) { return root + QStringLiteral("/owner"); }

WorkspaceOwner::Claim WorkspaceOwner::claim(const QString& root)
{
    if (::mkdir(QFile::encodeName(QDir::cleanPath(root)).constData(), 0700) != 0)
        return errno == EEXIST ? Claim::Taken : Claim::Failed;
    QFile owner(ownerFile(root));
    if (owner.open(QIODevice::WriteOnly))
        owner.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n');
    return Claim::Claimed;
}

bool WorkspaceOwner::isAbandoned(const QString& root)
{
    QFile owner(ownerFile(root));
    if (!owner.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const qint64 pid = owner.read(32).trimmed().toLongLong(&ok);
    return ok && pid != QCoreApplication::applicationPid() && !processRuns(pid);
}

#include "CompanyFolder.h"

#include "WorkspacePaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray nativeName(const QString& folder) { return QFile::encodeName(QDir::cleanPath(folder)); }

// Made here with 0700 (the umask can only narrow it), or already private.
bool makeOrAcceptPrivate(const QString& folder)
{
    if (::mkdir(nativeName(folder).constData(), 0700) == 0)
        return true;
    return errno == EEXIST && CompanyFolder::isPrivate(folder);
}

QString withSlash(const QString& folder) { return folder.endsWith(QLatin1Char('/')) ? folder : folder + '/'; }

} // namespace

bool CompanyFolder::isPrivate(const QString& folder)
{
    struct stat info;
    if (::lstat(nativeName(folder).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

QString CompanyFolder::resolve(const QString& tempFolder, QString* notice)
{
    const QString standard = WorkspacePaths::standardCompanyFolder(tempFolder);
    QDir().mkpath(tempFolder);
    if (makeOrAcceptPrivate(standard))
        return standard;

    // A stable stand-in first, so that deletions left pending by one run are
    // found by the next; a fresh one when even that is taken.
    QString standIn = withSlash(tempFolder + QStringLiteral("/Velmora3dEncoder-") + QString::number(::geteuid()));
    if (!makeOrAcceptPrivate(standIn)) {
        QByteArray pattern = nativeName(tempFolder + QStringLiteral("/Velmora3dEncoder-XXXXXX"));
        if (!::mkdtemp(pattern.data()))
            return standard; // nothing better to offer; writing there fails in its own way
        standIn = withSlash(QFile::decodeName(pattern));
    }
    *notice = QCoreApplication::translate("CompanyFolder",
                                          "The folder %1 belongs to another user or may be written by others; "
                                          "models are unpacked into %2 instead.")
                  .arg(QDir::toNativeSeparators(standard), QDir::toNativeSeparators(standIn));
    return standIn;
}

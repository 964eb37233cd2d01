#include "OutputFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("CommandLineConverter", text); }

} // namespace

QString OutputFolder::refusalOf(const QString& folder)
{
    struct stat info;
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0 || !S_ISLNK(info.st_mode)
        || info.st_uid == ::geteuid() || info.st_uid == 0)
        return QString();
    return tr("The output folder %1 is a link another user made; give the folder it points to instead.")
        .arg(QDir::toNativeSeparators(folder));
}

bool OutputFolder::create(const QString& folder, QString* error)
{
    *error = refusalOf(folder);
    if (!error->isEmpty())
        return false;
    if (QDir().mkpath(folder) && QFileInfo(folder).isDir())
        return true;
    *error = tr("The folder %1 cannot be created.").arg(QDir::toNativeSeparators(folder));
    return false;
}

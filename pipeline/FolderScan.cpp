#include "FolderScan.h"

#include <dirent.h>
#include <sys/stat.h>

QVector<QByteArray> FolderScan::filesBelow(const QByteArray& folder)
{
    QVector<QByteArray> found;
    scan(folder, QByteArray(), &found);
    return found;
}

void FolderScan::scan(const QByteArray& folder, const QByteArray& relative, QVector<QByteArray>* found)
{
    DIR* listing = ::opendir(folder.constData());
    if (!listing)
        return;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = folder + '/' + name;
        const QByteArray below = relative.isEmpty() ? name : relative + '/' + name;
        struct stat own;
        struct stat target;
        if (::lstat(path.constData(), &own) != 0)
            continue;
        if (S_ISDIR(own.st_mode))
            scan(path, below, found);
        else if (::stat(path.constData(), &target) == 0 && S_ISREG(target.st_mode))
            found->append(below);
    }
    ::closedir(listing);
}

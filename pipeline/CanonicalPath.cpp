#include "CanonicalPath.h"

#include <QDir>
#include <QFileInfo>

QString CanonicalPath::of(const QString& path)
{
    const QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    const QString resolved = info.canonicalFilePath();
    if (!resolved.isEmpty())
        return resolved;
    if (info.isRoot() || info.fileName().isEmpty())
        return info.absoluteFilePath();
    const QString parent = of(info.absolutePath());
    return parent.endsWith(QLatin1Char('/')) ? parent + info.fileName() : parent + QLatin1Char('/') + info.fileName();
}

bool CanonicalPath::isAtOrBelow(const QString& path, const QString& folder)
{
    if (path == folder)
        return true;
    return path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

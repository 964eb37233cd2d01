#include "ModelDrop.h"

#include <QDebug>
#include <QFileInfo>

namespace {

bool startsWithSlashedDriveLetter(const QString& path)
{
    return path.size() >= 3 && path.at(0) == QLatin1Char('/') && path.at(1).isLetter()
        && path.at(2) == QLatin1Char(':');
}

} // namespace

QString ModelDrop::pickModelPath(const QList<QUrl>& urls, const QStringList& acceptedSuffixes)
{
    const int count = qMin(urls.size(), kMaximumUrlsLookedAt);
    for (int i = 0; i < count; ++i) {
        const QString path = urls.at(i).path();
        qDebug() << "dropped:" << path;
        if (acceptedSuffixes.contains(QFileInfo(path).suffix().toLower()))
            return localPathFromUrlPath(path);
    }
    return QString();
}

QString ModelDrop::localPathFromUrlPath(const QString& urlPath)
{
    return startsWithSlashedDriveLetter(urlPath) ? urlPath.mid(1) : urlPath;
}

#include "WebLink.h"

#include <QCoreApplication>

namespace WebLink {

bool isReservedHost(const QString& host)
{
    const QString name = host.toLower();
    return name == QLatin1String("invalid") || name.endsWith(QLatin1String(".invalid"));
}

bool isReachable(const QUrl& url) { return url.isValid() && !url.host().isEmpty() && !isReservedHost(url.host()); }

QString unreachableHint()
{
    return QCoreApplication::translate("WebLink", "This build has no web address for this page.");
}

} // namespace WebLink

#pragma once

#include <QString>
#include <QUrl>

// Web links of a build that has no web host of its own point into the
// reserved ".invalid" domain, where nothing ever answers: controls that
// would open such a link are disabled or left out, with a word why.
namespace WebLink {

bool isReservedHost(const QString& host);
bool isReachable(const QUrl& url);
// Shown beside a control whose link is not reachable.
QString unreachableHint();

} // namespace WebLink

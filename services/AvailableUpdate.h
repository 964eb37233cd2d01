#pragma once

#include <QString>
#include <QUrl>

// One release offered by the update feed: what the update window shows and
// what the confirmation opens in the browser.
struct AvailableUpdate {
    QString title;
    QUrl releaseNotesLink;
    QString publicationDate;
    QUrl enclosureUrl;
    QString enclosureVersion;
    QString enclosurePlatform;
    qint64 enclosureLength = 0;
    QString enclosureType;
};

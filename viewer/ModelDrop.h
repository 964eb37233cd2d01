#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// Which of the files dropped onto the viewport gets opened: the first one
// with an accepted suffix, among no more than the first 32 dropped.
class ModelDrop {
public:
    static constexpr int kMaximumUrlsLookedAt = 32;

    // Empty when none of the looked-at URLs names a supported file.
    static QString pickModelPath(const QList<QUrl>& urls, const QStringList& acceptedSuffixes);

    // A drive path arrives as "/C:/models/a.fbx"; the slash before the drive
    // letter goes. Any other path, including every absolute POSIX path,
    // stays as it is.
    static QString localPathFromUrlPath(const QString& urlPath);
};

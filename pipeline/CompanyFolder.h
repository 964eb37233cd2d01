#pragma once

#include <QString>

// Chooses the folder that holds every workspace of this user. The shared
// temporary folder is writable by everyone, so a folder of our name that
// another user made (or may write into) is never used: a private stand-in
// takes its place.
class CompanyFolder {
public:
    // The folder to use, with a trailing slash, created with mode 0700 when
    // it did not exist. notice receives a one-line explanation when the
    // usual folder could not be trusted and a stand-in is used.
    static QString resolve(const QString& tempFolder, QString* notice);

    // A real folder (no link) owned by this user and not writable by group
    // or others.
    static bool isPrivate(const QString& folder);
};

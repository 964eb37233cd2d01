#pragma once

#include <QString>

// A path with every link and "." or ".." resolved, also for a file or folder
// that does not exist yet: its nearest existing folder is resolved and the
// rest appended. Two paths that name the same place, through links or not,
// compare equal.
class CanonicalPath {
public:
    static QString of(const QString& path);
    // Whether path is folder itself or lies below it, both canonical.
    static bool isAtOrBelow(const QString& path, const QString& folder);
};

#pragma once

#include <QByteArray>

// Orders release versions the way the update feed writes them ("1.7.521",
// "1.8", "1.8b", "2.0 rc1"). Each version is cut into parts: runs of digits,
// runs of letters, runs of separators (white space and punctuation), and each
// period on its own. Digit runs compare as numbers, letter runs as text; a
// letter part marks a pre-release, so "1.8b" comes before "1.8".
class VersionComparator {
public:
    enum class Order { Older, Same, Newer };

    // How `version` stands against `other`.
    static Order compare(const QByteArray& version, const QByteArray& other);
};

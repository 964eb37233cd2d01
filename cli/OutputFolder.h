#pragma once

#include <QString>

// A folder the converter writes into (--output-dir, the folder of --report):
// created where it is missing, and refused when it is a link another user
// made, which could send the files anywhere and be turned elsewhere while the
// batch runs; links of the system's own (root) are kept.
class OutputFolder {
public:
    // Why folder must not be written into; empty when it may. Creates nothing.
    static QString refusalOf(const QString& folder);
    // Creates folder and its missing parents; false with the reason when it
    // is refused or cannot be created.
    static bool create(const QString& folder, QString* error);
};

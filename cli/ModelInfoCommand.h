#pragma once

#include <QString>

// Prints what a model holds without a window or drawing:
//   Velmora3dEncoder --info FILE [--json] [--tree]
// FILE is a vm3 file (judged and unpacked as --convert does), any other model
// file (converted first, with the default options), a model folder or a
// ".gpb" bundle. A vm3 file or a model file is brought into a claimed
// workspace that is removed afterwards.
class ModelInfoCommand {
public:
    enum ExitCode {
        Success = 0,
        UsageError = 1, // --info without a file, or an argument it does not know
        LoadFailed = 2, // missing, unreadable, damaged or refused model
        PartsLeftOut = 3 // the model loads, but without what its problems list
    }; // a model file that fails to convert exits as --convert would

    // tree adds the node hierarchy to the summary.
    static int run(const QString& file, bool json, bool tree);
};

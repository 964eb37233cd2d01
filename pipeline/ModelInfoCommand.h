#pragma once

#include <QString>

// Prints what a model holds without a window or drawing:
//   Velmora3dEncoder --info FILE [--json]
// FILE is a vm3 file (unpacked into a temporary folder first), any other
// model file (converted first, with the default options), a model folder or
// a ".gpb" bundle.
class ModelInfoCommand {
public:
    enum ExitCode {
        Success = 0,
        LoadFailed = 2 // missing, unreadable, damaged or refused model
    }; // a model file that fails to convert exits as --convert would

    static int run(const QString& file, bool json);
};

#pragma once

#include <QString>

// Prints what a model holds without a window or drawing:
//   Velmora3dEncoder --info FILE [--json]
// FILE is a vm3 file (judged and unpacked as --convert does, into a claimed
// workspace that is removed afterwards), a model folder or a ".gpb" bundle.
class ModelInfoCommand {
public:
    enum ExitCode {
        Success = 0,
        UsageError = 1, // --info without a file, or an argument it does not know
        LoadFailed = 2, // missing, unreadable, damaged or refused model
        PartsLeftOut = 3 // the model loads, but without what its problems list
    };

    // True when the command line holds --info (before any "--").
    static bool wantsInfo(int argc, char** argv);
    static int run(int argc, char** argv);

    struct Request {
        QString file;
        bool json = false;
        bool valid = false;
    };

private:
    static int describe(const Request& request);
};

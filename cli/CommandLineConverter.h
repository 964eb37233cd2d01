#pragma once

#include <QString>

// Converts a model without a window, for scripts and build pipelines:
//   Velmora3dEncoder --convert INPUT OUTPUT.vm3
//   Velmora3dEncoder --thumbnail INPUT.vm3 OUTPUT.png SIZE
// The first runs the same import (model encoder for FBX, unpack and version check for
// vm3) and the same exporter as the window does.
class CommandLineConverter {
public:
    // Exit codes of run().
    enum ExitCode {
        Success = 0,
        UsageError = 1, // unknown option, missing or extra argument
        InputError = 2, // input missing, unreadable or of an unsupported type
        EncoderFailed = 3, // encoder missing, failed to start, crashed, failed or wrote no model
        ContainerRefused = 4, // damaged vm3 file, unsafe entries, version file missing/broken/too new, no preview
        OutputError = 5 // output not writable or the export failed
    };

    // True when the command line asks for console mode (--convert,
    // --thumbnail, --help or --version); main() then calls run() instead of starting the window.
    static bool wantsConsoleMode(int argc, char** argv);

    // Creates its own QCoreApplication (unless one exists), converts and
    // returns the process exit code. The previews are drawn off screen after
    // the import and go into the container.
    static int run(int argc, char** argv);
};

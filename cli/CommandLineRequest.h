#pragma once

#include "ImportOptions.h"

#include <QString>
#include <QStringList>

// What the command line asks for, decided before anything runs. Every mode
// is a flag and every other word is an argument of it, so options may stand
// before, between or after the arguments in any order:
//   --convert [options] INPUT OUTPUT.vm3
//   --convert [options] --output-dir DIR INPUT...   (files or folders)
//   --thumbnail INPUT.vm3 OUTPUT.png SIZE
//   --info [--json] [--tree] FILE
//   --merge-reports MERGED REPORT...
struct CommandLineRequest {
    enum class Mode { Window, Convert, Thumbnail, Info, MergeReports, Help, Version };
    static constexpr int kDefaultTimeoutSeconds = 1800;

    Mode mode = Mode::Window;
    QStringList arguments; // the words that are not options, in order
    ImportOptions options;
    QString outputFolder; // --output-dir: the batch form of --convert
    QString reportFile;
    int jobs = 0; // conversions at once; 0: one per processor this process may use
    int timeoutSeconds = kDefaultTimeoutSeconds; // --timeout: wall-clock limit of one conversion of a batch
    int shardIndex = 1; // --shard K/N, K from 1
    int shardCount = 1;
    bool json = false;
    bool tree = false; // --info --tree
    bool verbose = false;
    bool quiet = false;
    bool force = false;
    QString error; // why the command line is wrong; empty when it is not

    bool isBatch() const { return !outputFolder.isEmpty(); }

    // True when the words hold an option other than Qt's own, before any
    // "--"; main() then runs without a window, and a wrong option is a
    // usage error.
    static bool wantsConsoleMode(int argc, char** argv);
    // arguments as QCoreApplication::arguments() gives them, program first.
    static CommandLineRequest parse(QStringList arguments);
    static QString helpText();
};

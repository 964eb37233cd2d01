#pragma once

#include "EncoderOutputLog.h"

#include <QString>
#include <QStringList>

#include <functional>

// Runs the model encoder as a child process and collects what it printed.
// Used by the Loader on a pool thread and by the command-line converter; it
// touches no event loop, so it works on any thread.
class EncoderProcess {
public:
    enum class Outcome { Finished, FailedToStart, Crashed, Cancelled };

    struct Result {
        Outcome outcome = Outcome::Finished;
        int exitCode = 0;
        QString standardOutput;
        QString standardError;
    };

    // The encoder's fixed command line: grouping, culling, materials, verbosity,
    // input file and the bundle to write.
    static QStringList arguments(const QString& grouping, const QString& culling, const QString& inputPath,
                                 const QString& outputPath);

    // Waits without time-out until the encoder ends, draining both pipes while
    // it runs. isCancelled is polled a few times a second; when it returns
    // true the encoder is killed.
    static Result run(const QString& program, const QStringList& arguments, const QString& workingFolder,
                      const std::function<bool()>& isCancelled = {});

    // The record that tells the user why a run left no model: the encoder
    // could not be started, did not end normally, failed with an exit code or
    // wrote nothing. None for a run that wrote its model or was cancelled.
    static EncoderOutputLogs failureRecords(const Result& result, const QString& program, bool modelWritten);
};

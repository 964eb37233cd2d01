#pragma once

#include "EncoderOutputLog.h"
#include "ImportOptions.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

class WorkspaceService;

// Brings one model into a workspace without a window, for --convert and
// --info: the model encoder for a source format, unpacking and the version
// check for a vm3 file. Reasons of failure go to standard error, one line
// each, and the encoder's records with them.
class ConsoleImport {
public:
    struct Outcome {
        int exitCode = 0; // a CommandLineConverter::ExitCode
        EncoderOutputLogs records; // the encoder's warnings and errors, in printed order
        QMap<QString, QByteArray> filesRead; // every file the encoder read, the model included -> its MD5
        QStringList filesMissing; // the files the model names that were not there
    };

    // Success, or InputError after printing why the path cannot be converted
    // (missing, not a regular file, unsupported type).
    static int checkInput(const QString& inputPath);

    // Names a new workspace after the input in service and fills it.
    static Outcome run(const QString& inputPath, WorkspaceService& service, const ImportOptions& options);

    // Whether outputPath records a conversion of inputPath as it is now
    // (ConversionStamp::isUpToDate) and is a whole container of the current
    // format: every entry read and its CRC checked as unpacking would, without
    // writing anything, so corrupt data and duplicate entries fail it, and its
    // version file and model are there. Prints nothing.
    static bool isUpToDate(const QString& inputPath, const QString& outputPath, const ImportOptions& options);

    // Whether a stop signal arrived; prints that the conversion stopped.
    static bool stopped();
};

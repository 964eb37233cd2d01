#include "ConsoleImport.h"

#include "CommandLineConverter.h"
#include "ConsoleOutput.h"
#include "ConsoleStop.h"
#include "ContainerImport.h"
#include "ConversionStamp.h"
#include "EncoderOutputParser.h"
#include "Loader.h"
#include "ModelFileTypes.h"
#include "VersionFile.h"
#include "WorkspaceService.h"
#include "ZipArchiveReader.h"
#include "ZipEntryReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

#include <sys/stat.h>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("CommandLineConverter", text); }

// What a container of the current format holds at least.
const char* const kModelEntry = "model/model.gpb";
const char* const kVersionEntry = "model/version";
const qint64 kMaxVersionBytes = 64 * 1024;

void printError(const QString& text) { ConsoleOutput::print(ConsoleOutput::Kind::Failure, text); }

QString nativePath(const QString& path) { return QDir::toNativeSeparators(path); }

// What an input path is when it is not a regular file.
QString notAFileText(const QString& inputPath)
{
    const QString shown = nativePath(inputPath);
    struct stat info;
    if (::stat(QFile::encodeName(inputPath).constData(), &info) != 0)
        return tr("The input file does not exist: %1").arg(shown);
    if (S_ISDIR(info.st_mode))
        return tr("The input is a folder, not a file: %1").arg(shown);
    if (S_ISFIFO(info.st_mode))
        return tr("The input is a named pipe (FIFO), not a file: %1").arg(shown);
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return tr("The input is a device, not a file: %1").arg(shown);
    if (S_ISSOCK(info.st_mode))
        return tr("The input is a socket, not a file: %1").arg(shown);
    return tr("The input is not a regular file: %1").arg(shown);
}

// The encoder's errors for a bundle or material file it could not write
// into the workspace (its codes OutputFailed and MaterialFileFailed): the
// disk, not the model, is at fault.
bool failedToWriteWorkspace(const EncoderOutputLogs& logs)
{
    static const qint32 kWriteFailures[] = {1005, 1050};
    return std::any_of(logs.begin(), logs.end(), [](const EncoderOutputLog& log) {
        return log.priority == LoggingPriorities::Error
            && std::find(std::begin(kWriteFailures), std::end(kWriteFailures), log.code) != std::end(kWriteFailures);
    });
}

EncoderOutputLogs printEncoderRecords(const QString& standardError, const QString& standardOutput)
{
    const EncoderOutputLogs logs = EncoderOutputParser::parse(standardError, standardOutput);
    for (const EncoderOutputLog& log : logs) {
        if (log.priority == LoggingPriorities::Error)
            printError(describeEncoderOutputLog(log));
        else
            ConsoleOutput::print(ConsoleOutput::Kind::Notice, describeEncoderOutputLog(log));
    }
    return logs;
}

// Why the run left no model, in the words the log window uses, one line.
void printFailure(const EncoderOutputLogs& failures)
{
    for (const EncoderOutputLog& failure : failures)
        printError(QString(failure.message).replace(QLatin1Char('\n'), QLatin1Char(' ')));
}

ConsoleImport::Outcome convertWithEncoder(const QString& inputPath, WorkspaceService& service,
                                          const ImportOptions& options)
{
    ConsoleImport::Outcome outcome;
    outcome.exitCode = CommandLineConverter::EncoderFailed;
    Loader loader(inputPath, service);
    loader.setAutoDelete(false);
    loader.setImportOptions(options);
    // Every conversion of the command line runs the encoder, so that it
    // gives the same container wherever it runs.
    loader.setConversionCacheEnabled(false);
    // Shares the flag the signal handler sets; nothing owns it.
    loader.setCancelFlag(Loader::CancelFlag(std::shared_ptr<void>(), ConsoleStop::flag()));

    const QString encoder = loader.encoderExecutable();
    if (!QFileInfo(encoder).isExecutable()) {
        printError(tr("The model encoder was not found (or may not be executed): %1").arg(nativePath(encoder)));
        return outcome;
    }

    loader.run();
    if (ConsoleImport::stopped())
        return outcome;
    const EncoderProcess::Result& result = loader.encoderResult();
    outcome.records = printEncoderRecords(result.standardError, result.standardOutput);
    outcome.filesRead = EncoderOutputParser::filesRead(result.standardOutput);
    outcome.filesMissing = EncoderOutputParser::filesMissing(result.standardOutput);

    const bool modelWritten = result.outcome == EncoderProcess::Outcome::Finished && result.exitCode == 0
        && QFileInfo(loader.workspace().modelFile).isFile();
    if (!modelWritten) {
        printFailure(EncoderProcess::failureRecords(result, nativePath(encoder), modelWritten));
        if (result.outcome == EncoderProcess::Outcome::Finished && failedToWriteWorkspace(outcome.records)) {
            printError(tr("The converted model could not be written below %1.")
                           .arg(nativePath(QFileInfo(loader.workspace().root).absolutePath())));
            outcome.exitCode = CommandLineConverter::OutputError;
        }
        return outcome;
    }
    outcome.exitCode = CommandLineConverter::Success;
    return outcome;
}

int importContainer(const QString& inputPath, const WorkspaceService& service)
{
    const ContainerImport::Result result
        = ContainerImport::run(inputPath, service.paths(), service, ConsoleStop::flag());
    if (result.status == ContainerImport::Status::Loaded)
        return CommandLineConverter::Success;
    if (ConsoleImport::stopped())
        return CommandLineConverter::OutputError;
    printError(result.errorText);
    // A full disk is no fault of the file.
    return result.status == ContainerImport::Status::WriteFailed ? CommandLineConverter::OutputError
                                                                 : CommandLineConverter::ContainerRefused;
}

} // namespace

int ConsoleImport::checkInput(const QString& inputPath)
{
    const QFileInfo input(inputPath);
    if (!input.isFile()) {
        printError(notAFileText(inputPath));
        return CommandLineConverter::InputError;
    }
    if (!ModelFileTypes::isSupportedSuffix(input.suffix())) {
        printError(tr("Unsupported file type: %1 (supported: %2)")
                       .arg(nativePath(inputPath), ModelFileTypes::suffixListText()));
        return CommandLineConverter::InputError;
    }
    return CommandLineConverter::Success;
}

ConsoleImport::Outcome ConsoleImport::run(const QString& inputPath, WorkspaceService& service,
                                          const ImportOptions& options)
{
    const QString absoluteInput = QFileInfo(inputPath).absoluteFilePath();
    service.cleanPendingWorkspaces();
    service.setModelFile(absoluteInput);
    if (!service.paths().hasModel()) {
        printError(tr("The input file could not be read: %1").arg(nativePath(inputPath)));
        return {CommandLineConverter::InputError, {}, {}, {}};
    }
    if (!ModelFileTypes::isContainerFile(inputPath))
        return convertWithEncoder(absoluteInput, service, options);
    return {importContainer(absoluteInput, service), {}, {}, {}};
}

bool ConsoleImport::isUpToDate(const QString& inputPath, const QString& outputPath, const ImportOptions& options)
{
    // The record is read first: the whole container only when it matches.
    if (!ConversionStamp::isUpToDate(inputPath, outputPath, options))
        return false;
    ZipArchiveReader reader;
    reader.setStopFlag(ConsoleStop::flag());
    if (!reader.open(outputPath) || !reader.verifyAll())
        return false;
    const QStringList files = reader.entryPaths();
    QByteArray version;
    int format = -1;
    return files.contains(QLatin1String(kModelEntry)) && files.contains(QLatin1String(kVersionEntry))
        && ZipEntryReader::read(outputPath, kVersionEntry, kMaxVersionBytes, &version) == ZipEntryReader::Status::Read
        && VersionFile::parse(version, nullptr, &format, nullptr) && format == VersionFile::kCurrentFormat;
}

bool ConsoleImport::stopped()
{
    if (!ConsoleStop::requested())
        return false;
    printError(tr("Stopped: the conversion was interrupted."));
    return true;
}

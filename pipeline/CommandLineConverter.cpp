#include "CommandLineConverter.h"

#include "ConsoleOutput.h"
#include "ConsoleStop.h"
#include "ConsoleWorkspace.h"
#include "ContainerImport.h"
#include "ContainerThumbnail.h"
#include "EncoderOutputParser.h"
#include "Exporter.h"
#include "Loader.h"
#include "ModelFileTypes.h"
#include "VersionFile.h"
#include "WorkspaceService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("CommandLineConverter", text); }

void printError(const QString& text) { ConsoleOutput::printError(text); }

QString nativePath(const QString& path) { return QDir::toNativeSeparators(path); }

bool stopRequested()
{
    if (!ConsoleStop::requested())
        return false;
    printError(tr("Stopped: the conversion was interrupted."));
    return true;
}

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

void printEncoderRecords(const QString& standardError, const QString& standardOutput)
{
    for (const EncoderOutputLog& log : EncoderOutputParser::parse(standardError, standardOutput))
        printError(describeEncoderOutputLog(log));
}

int convertWithEncoder(const QString& inputPath, WorkspaceService& service, const ImportOptions& options)
{
    Loader loader(inputPath, service);
    loader.setAutoDelete(false);
    loader.setImportOptions(options);
    // Shares the flag the signal handler sets; nothing owns it.
    loader.setCancelFlag(Loader::CancelFlag(std::shared_ptr<void>(), ConsoleStop::flag()));

    const QString encoder = loader.encoderExecutable();
    if (!QFileInfo(encoder).isExecutable()) {
        printError(tr("The model encoder was not found (or may not be executed): %1").arg(nativePath(encoder)));
        return CommandLineConverter::EncoderFailed;
    }

    loader.run();
    if (stopRequested())
        return CommandLineConverter::EncoderFailed;
    const EncoderProcess::Result& result = loader.encoderResult();
    printEncoderRecords(result.standardError, result.standardOutput);

    switch (result.outcome) {
    case EncoderProcess::Outcome::FailedToStart:
        printError(tr("The model encoder could not be started: %1").arg(nativePath(encoder)));
        return CommandLineConverter::EncoderFailed;
    case EncoderProcess::Outcome::Crashed:
    case EncoderProcess::Outcome::Cancelled:
        printError(tr("The model encoder crashed: %1").arg(nativePath(encoder)));
        return CommandLineConverter::EncoderFailed;
    case EncoderProcess::Outcome::Finished:
        break;
    }
    if (result.exitCode != 0) {
        printError(tr("The model encoder failed with exit code %1.").arg(result.exitCode));
        return CommandLineConverter::EncoderFailed;
    }
    if (!QFileInfo(loader.workspace().modelFile).isFile()) {
        printError(tr("The model encoder did not write a model."));
        return CommandLineConverter::EncoderFailed;
    }
    return CommandLineConverter::Success;
}

int importContainer(const QString& inputPath, const WorkspaceService& service)
{
    const ContainerImport::Result result
        = ContainerImport::run(inputPath, service.paths(), service, ConsoleStop::flag());
    if (result.status == ContainerImport::Status::Loaded)
        return CommandLineConverter::Success;
    if (stopRequested())
        return CommandLineConverter::OutputError;
    printError(result.errorText);
    // A full disk is no fault of the file.
    return result.status == ContainerImport::Status::WriteFailed ? CommandLineConverter::OutputError
                                                                 : CommandLineConverter::ContainerRefused;
}

int convert(const QString& inputPath, const QString& outputPath, const ImportOptions& options,
            CommandLineConverter::PreviewWriter writePreviews)
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
    if (!outputPath.endsWith(QLatin1String(".vm3"), Qt::CaseInsensitive)) {
        printError(tr("The output file must end in .vm3: %1").arg(nativePath(outputPath)));
        return CommandLineConverter::UsageError;
    }
    const QString absoluteOutput = QFileInfo(outputPath).absoluteFilePath();
    if (QFileInfo(absoluteOutput).isDir()) {
        printError(tr("The output is a folder, not a file: %1").arg(nativePath(outputPath)));
        return CommandLineConverter::OutputError;
    }
    QString writeError;
    if (!Exporter::checkTargetWritable(absoluteOutput, &writeError)) {
        printError(tr("Cannot write the output file %1: %2").arg(nativePath(outputPath), writeError));
        return CommandLineConverter::OutputError;
    }

    ConsoleWorkspace workspace;
    if (!workspace.claimFor(input.absoluteFilePath())) {
        printError(tr("The input file could not be read: %1").arg(nativePath(inputPath)));
        return CommandLineConverter::InputError;
    }

    const int imported = ModelFileTypes::isContainerFile(inputPath)
        ? importContainer(input.absoluteFilePath(), workspace.service())
        : convertWithEncoder(input.absoluteFilePath(), workspace.service(), options);
    if (imported != CommandLineConverter::Success)
        return imported;
    if (stopRequested())
        return CommandLineConverter::OutputError;
    if (writePreviews) {
        const WorkspacePaths paths = workspace.paths();
        ContainerImport::removePreviews(paths.meta);
        const QString problem = writePreviews(workspace.service().applicationParentFolder(), paths.model, paths.meta);
        if (!problem.isEmpty())
            printError(problem);
    }
    if (stopRequested())
        return CommandLineConverter::OutputError;

    const Exporter::Result exported
        = Exporter::exportFolder(workspace.paths().model, absoluteOutput, ConsoleStop::flag());
    if (stopRequested())
        return CommandLineConverter::OutputError;
    if (!exported.ok) {
        printError(tr("Writing %1 failed: %2").arg(nativePath(outputPath), exported.errorText));
        return CommandLineConverter::OutputError;
    }
    return CommandLineConverter::Success;
}

int thumbnail(const QString& inputPath, const QStringList& positional)
{
    bool isNumber = false;
    const int size = positional.size() == 2 ? positional.at(1).toInt(&isNumber) : 0;
    if (!isNumber || size < 1 || size > ContainerThumbnail::kMaxSize) {
        printError(tr("--thumbnail needs an output file and a size from 1 to %1: --thumbnail INPUT OUTPUT SIZE")
                       .arg(ContainerThumbnail::kMaxSize));
        return CommandLineConverter::UsageError;
    }
    if (!QFileInfo(inputPath).isFile()) {
        printError(notAFileText(inputPath));
        return CommandLineConverter::InputError;
    }
    // The container passes the verdict --convert gives it before its preview is read.
    ConsoleWorkspace workspace;
    if (!workspace.claimFor(QFileInfo(inputPath).absoluteFilePath())) {
        printError(tr("The input file could not be read: %1").arg(nativePath(inputPath)));
        return CommandLineConverter::InputError;
    }
    const int imported = importContainer(QFileInfo(inputPath).absoluteFilePath(), workspace.service());
    if (imported != CommandLineConverter::Success)
        return imported;
    if (stopRequested())
        return CommandLineConverter::OutputError;
    QString error;
    if (ContainerThumbnail::write(workspace.paths().meta + QStringLiteral("/perspective.png"), positional.first(), size,
                                  &error))
        return CommandLineConverter::Success;
    if (stopRequested())
        return CommandLineConverter::OutputError;
    printError(tr("%1 has no intact preview: %2").arg(nativePath(inputPath), error));
    return CommandLineConverter::ContainerRefused;
}

// The pipeline's debug lines are diagnostics for developers; on the console
// they would drown the encoder's records. Warnings still get through.
QtMessageHandler s_previousHandler = nullptr;

void consoleMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (s_previousHandler)
        s_previousHandler(type, context, message);
}

struct QuietDiagnostics {
    QuietDiagnostics() { s_previousHandler = qInstallMessageHandler(consoleMessageHandler); }
    ~QuietDiagnostics() { qInstallMessageHandler(s_previousHandler); }
};

bool isConsoleOption(const char* argument)
{
    static const char* const kOptions[]
        = {"--convert", "--thumbnail", "--help", "-h", "-?", "--help-all", "--version", "-v"};
    for (const char* option : kOptions) {
        if (std::strcmp(argument, option) == 0)
            return true;
    }
    return std::strncmp(argument, "--convert=", 10) == 0 || std::strncmp(argument, "--thumbnail=", 12) == 0;
}

} // namespace

bool CommandLineConverter::wantsConsoleMode(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (isConsoleOption(argv[i]))
            return true;
    }
    return false;
}

int CommandLineConverter::run(int argc, char** argv, PreviewWriter writePreviews)
{
    std::unique_ptr<QCoreApplication> ownApplication;
    if (QCoreApplication::startingUp())
        ownApplication = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velmora3dEncoder"));
    QCoreApplication::setApplicationVersion(VersionFile::encoderVersion());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Velmora 3D Encoder converts 3D models into vm3 files.\n\n"
           "Without options it opens the window (and the FILE given, if any).\n"
           "With --convert it converts INPUT (%1)\n"
           "into OUTPUT.vm3 without a window, prints the model encoder's warnings\n"
           "and errors to standard error and exits with\n"
           "0 on success, 1 for wrong arguments, 2 for a missing or unsupported input,\n"
           "3 when the model encoder is missing or failed, 4 for a refused vm3 file,\n"
           "5 when the output (or the unpacked model) cannot be written.\n"
           "Grouping and culling are the built-in defaults unless given, whatever the window's\n"
           "menus say, so the same command gives the same container on every machine.\n"
           "SIGTERM and SIGINT stop the conversion and remove its temporary files.\n"
           "With --thumbnail it writes the preview of the vm3 file INPUT, scaled to fit\n"
           "SIZE x SIZE pixels, as the PNG file OUTPUT (for file managers); it exits\n"
           "non-zero and writes nothing when INPUT has no intact preview.\n"
           "With --info FILE [--json] it prints what a model (.vm3, model folder or .gpb) holds:\n"
           "nodes, meshes, skins, materials, animations, bounds and the active camera, as text or\n"
           "one JSON object; it exits with 2 when the model cannot be loaded.")
            .arg(ModelFileTypes::suffixListText()));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption convertOption(QStringList {QStringLiteral("convert")},
                                           tr("Convert INPUT into OUTPUT.vm3 without a window."), tr("INPUT"));
    parser.addOption(convertOption);
    const ImportOptions defaults;
    const QCommandLineOption groupingOption(
        QStringList {QStringLiteral("grouping")},
        tr("How animations are grouped: none, root or take (default: %1).").arg(defaults.groupingName()), tr("MODE"),
        defaults.groupingName());
    parser.addOption(groupingOption);
    const QCommandLineOption cullingOption(
        QStringList {QStringLiteral("culling")},
        tr("Back-face culling of the materials: off, ccw, cw or material (default: %1).").arg(defaults.cullingName()),
        tr("MODE"), defaults.cullingName());
    parser.addOption(cullingOption);
    const QCommandLineOption thumbnailOption(QStringList {QStringLiteral("thumbnail")},
                                             tr("Write the preview of the vm3 file INPUT as a PNG file."), tr("INPUT"));
    parser.addOption(thumbnailOption);
    parser.addPositionalArgument(QStringLiteral("OUTPUT"),
                                 tr("The vm3 file to write (--convert) or the PNG file (--thumbnail)."));
    parser.addPositionalArgument(QStringLiteral("SIZE"), tr("The edge of the preview in pixels (--thumbnail)."));

    // process() prints help, version or the parse error itself and exits.
    parser.process(QCoreApplication::arguments());

    const QuietDiagnostics quiet;
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(thumbnailOption) && !parser.isSet(convertOption)) {
        int exitCode = UsageError;
        {
            const ConsoleStop stop;
            exitCode = thumbnail(parser.value(thumbnailOption), positional);
        }
        ConsoleStop::endByRecordedSignal();
        return exitCode;
    }
    if (!parser.isSet(convertOption) || parser.isSet(thumbnailOption)) {
        printError(tr("Nothing to do: use --convert INPUT OUTPUT.vm3 or --thumbnail INPUT OUTPUT SIZE (see --help)."));
        return UsageError;
    }
    if (positional.size() != 1) {
        printError(tr("--convert needs exactly one output file: --convert INPUT OUTPUT.vm3"));
        return UsageError;
    }
    // Grouping and culling come from the command line or the built-in defaults,
    // never from the window's menus: one command gives one container everywhere.
    ImportOptions options;
    if (!options.setGroupingName(parser.value(groupingOption))) {
        printError(tr("--grouping must be none, root or take, not \"%1\".").arg(parser.value(groupingOption)));
        return UsageError;
    }
    if (!options.setCullingName(parser.value(cullingOption))) {
        printError(tr("--culling must be off, ccw, cw or material, not \"%1\".").arg(parser.value(cullingOption)));
        return UsageError;
    }
    int exitCode = UsageError;
    {
        const ConsoleStop stop;
        exitCode = convert(parser.value(convertOption), positional.first(), options, writePreviews);
    }
    ConsoleStop::endByRecordedSignal();
    return exitCode;
}

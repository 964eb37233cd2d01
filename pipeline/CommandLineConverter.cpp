#include "CommandLineConverter.h"

#include "ContainerImport.h"
#include "EncoderOutputParser.h"
#include "Exporter.h"
#include "Loader.h"
#include "ModelManager.h"
#include "VersionFile.h"
#include "WorkspaceService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("CommandLineConverter", text); }

void printError(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

QString nativePath(const QString& path) { return QDir::toNativeSeparators(path); }

// One line per record: kind, code, title, message.
QString formatRecord(const EncoderOutputLog& log)
{
    const QString kind = log.priority == LoggingPriorities::Error ? QStringLiteral("error") : QStringLiteral("warning");
    QString message = log.message;
    message.replace(QLatin1Char('\n'), QStringLiteral(" / "));
    return QStringLiteral("%1 GP#%2 [%3] %4").arg(kind).arg(log.code).arg(log.title.trimmed(), message);
}

void printEncoderRecords(const QString& standardError, const QString& standardOutput)
{
    EncoderOutputParser parser;
    parser.parseOutput(standardError);
    parser.parseOutput(standardOutput);
    for (const EncoderOutputLog& log : parser.logs())
        printError(formatRecord(log));
}

// Makes sure the workspace disappears whatever way the conversion ends.
struct WorkspaceScope {
    WorkspaceService service;
    WorkspaceService* previous = WorkspaceService::instance();

    WorkspaceScope() { WorkspaceService::setInstance(&service); }
    ~WorkspaceScope()
    {
        service.deleteCurrentWorkspace();
        WorkspaceService::setInstance(previous);
    }
};

int convertWithEncoder(const QString& inputPath, const WorkspaceService& service)
{
    Loader loader(inputPath, service);
    loader.setAutoDelete(false);

    const QString encoder = loader.encoderExecutable();
    if (!QFileInfo(encoder).isExecutable()) {
        printError(tr("The model encoder was not found (or may not be executed): %1").arg(nativePath(encoder)));
        return CommandLineConverter::EncoderFailed;
    }

    loader.run();
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
    const ContainerImport::Result result = ContainerImport::run(inputPath, service.paths(), service);
    if (result.status == ContainerImport::Status::Loaded)
        return CommandLineConverter::Success;
    printError(result.errorText);
    return CommandLineConverter::ContainerRefused;
}

int convert(const QString& inputPath, const QString& outputPath)
{
    const QFileInfo input(inputPath);
    if (!input.isFile()) {
        printError(tr("The input file does not exist: %1").arg(nativePath(inputPath)));
        return CommandLineConverter::InputError;
    }
    if (!ModelManager::isSupportedSuffix(input.suffix())) {
        printError(tr("Unsupported file type: %1 (supported: .fbx, .vm3)").arg(nativePath(inputPath)));
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

    WorkspaceScope workspace;
    workspace.service.setModelFile(input.absoluteFilePath());
    if (!workspace.service.paths().hasModel()) {
        printError(tr("The input file could not be read: %1").arg(nativePath(inputPath)));
        return CommandLineConverter::InputError;
    }

    const int imported = ModelManager::isContainerFile(inputPath)
        ? importContainer(input.absoluteFilePath(), workspace.service)
        : convertWithEncoder(input.absoluteFilePath(), workspace.service);
    if (imported != CommandLineConverter::Success)
        return imported;

    const Exporter::Result exported = Exporter::exportFolder(workspace.service.paths().model, absoluteOutput);
    if (!exported.ok) {
        printError(tr("Writing %1 failed: %2").arg(nativePath(outputPath), exported.errorText));
        return CommandLineConverter::OutputError;
    }
    return CommandLineConverter::Success;
}

// The pipeline's debug lines are diagnostics for developers; on the console
// they would drown the encoder's records. Warnings still get through.
QtMessageHandler g_previousHandler = nullptr;

void consoleMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

struct QuietDiagnostics {
    QuietDiagnostics() { g_previousHandler = qInstallMessageHandler(consoleMessageHandler); }
    ~QuietDiagnostics() { qInstallMessageHandler(g_previousHandler); }
};

bool isConsoleOption(const char* argument)
{
    static const char* const options[] = {"--convert", "--help", "-h", "-?", "--help-all", "--version", "-v"};
    for (const char* option : options) {
        if (std::strcmp(argument, option) == 0)
            return true;
    }
    return std::strncmp(argument, "--convert=", 10) == 0;
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

int CommandLineConverter::run(int argc, char** argv)
{
    std::unique_ptr<QCoreApplication> ownApplication;
    if (!QCoreApplication::instance())
        ownApplication = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velmora3dEncoder"));
    QCoreApplication::setApplicationVersion(VersionFile::encoderVersion());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Velmora 3D Encoder converts 3D models into vm3 files.\n\n"
           "Without options it opens the window (and the FILE given, if any).\n"
           "With --convert it converts INPUT (.fbx or .vm3) into OUTPUT.vm3 without a window,\n"
           "prints the model encoder's warnings and errors to standard error and exits with\n"
           "0 on success, 1 for wrong arguments, 2 for a missing or unsupported input,\n"
           "3 when the model encoder is missing or failed, 4 for a refused vm3 file,\n"
           "5 when the output cannot be written.\n"
           "With --info FILE [--json] it prints what a model (.vm3, model folder or .gpb) holds:\n"
           "nodes, meshes, skins, materials, animations, bounds and the active camera, as text or\n"
           "one JSON object; it exits with 2 when the model cannot be loaded."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption convertOption(QStringList {QStringLiteral("convert")},
                                           tr("Convert INPUT into OUTPUT.vm3 without a window."), tr("INPUT"));
    parser.addOption(convertOption);
    parser.addPositionalArgument(QStringLiteral("OUTPUT.vm3"), tr("The vm3 file to write (with --convert)."));

    // process() prints help, version or the parse error itself and exits.
    parser.process(QCoreApplication::arguments());

    const QuietDiagnostics quiet;
    if (!parser.isSet(convertOption)) {
        printError(tr("Nothing to do: use --convert INPUT OUTPUT.vm3 (see --help)."));
        return UsageError;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        printError(tr("--convert needs exactly one output file: --convert INPUT OUTPUT.vm3"));
        return UsageError;
    }
    return convert(parser.value(convertOption), positional.first());
}

#include "CommandLineConverter.h"

#include "BatchConverter.h"
#include "BatchPlan.h"
#include "BatchReport.h"
#include "BundleInfo.h"
#include "CommandLineRequest.h"
#include "ConsoleImport.h"
#include "ConsoleOutput.h"
#include "ConsoleStop.h"
#include "ConsoleWorkspace.h"
#include "ContainerImport.h"
#include "ContainerThumbnail.h"
#include "ConversionStamp.h"
#include "Exporter.h"
#include "HeadlessPreview.h"
#include "ModelFileTypes.h"
#include "ModelInfoCommand.h"
#include "ReportMerge.h"
#include "ReportTarget.h"
#include "VersionFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("CommandLineConverter", text); }

void printError(const QString& text) { ConsoleOutput::print(ConsoleOutput::Kind::Failure, text); }

QString nativePath(const QString& path) { return QDir::toNativeSeparators(path); }

int checkOutput(const QString& outputPath)
{
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
    return CommandLineConverter::Success;
}

// Tells a later batch what this container was made from.
void writeStamp(const QString& inputPath, const ImportOptions& options, const ConsoleImport::Outcome& imported,
                const QString& metaFolder)
{
    ConversionStamp stamp;
    QFile file(metaFolder + QLatin1Char('/') + QLatin1String(ConversionStamp::fileName()));
    if (!ConversionStamp::ofConversion(inputPath, options, imported.filesRead, imported.filesMissing, &stamp)
        || !QDir().mkpath(metaFolder) || !file.open(QIODevice::WriteOnly) || file.write(stamp.toJson()) < 0)
        ConsoleOutput::print(
            ConsoleOutput::Kind::Notice,
            tr("The container does not record its source (%1), so it will always count as out of date.")
                .arg(file.errorString()));
}

// The information file and preview images of the model in modelFolder, in
// metaFolder, size x size (0: the size containers keep); one line for the
// console when they could not be made, empty otherwise. A stop while they
// are drawn ends them early; the converter then leaves the target as it was.
QString writePreviews(const WorkspaceService& service, const QString& modelFolder, const QString& metaFolder,
                      int size = 0)
{
    return HeadlessPreview::write(ViewerFolders {service.applicationParentFolder(), modelFolder, metaFolder},
                                  ConsoleStop::flag(), size);
}

void countModel(const QString& modelFolder, BatchRecord* record)
{
    engine::BundleInfo::Summary summary;
    std::string error;
    record->hasCounts = engine::BundleInfo::summarise(QFile::encodeName(modelFolder).toStdString(), &summary, &error);
    record->nodes = summary.nodes;
    record->meshes = summary.meshes;
    record->vertices = summary.vertices;
    record->triangles = summary.triangles;
}

// Converts one input, checked, into one output; record receives what the
// report says of it.
int convertInto(const QString& inputPath, const QString& outputPath, const ImportOptions& options, bool wantsCounts,
                BatchRecord* record)
{
    // Removed whatever way the conversion ends.
    ConsoleWorkspace workspace;
    const ConsoleImport::Outcome imported = ConsoleImport::run(inputPath, workspace.service(), options);
    record->records = imported.records;
    if (imported.exitCode != CommandLineConverter::Success)
        return imported.exitCode;
    if (ConsoleImport::stopped())
        return CommandLineConverter::OutputError;
    const WorkspacePaths paths = workspace.paths();
    // The previews are drawn anew; any that cannot be drawn must not be an
    // earlier model's.
    ContainerImport::removePreviews(paths.meta);
    const QString problem = writePreviews(workspace.service(), paths.model, paths.meta);
    if (!problem.isEmpty())
        ConsoleOutput::print(ConsoleOutput::Kind::Notice, problem);
    if (ConsoleImport::stopped())
        return CommandLineConverter::OutputError;
    writeStamp(inputPath, options, imported, paths.meta);
    if (wantsCounts)
        countModel(paths.model, record);

    const QString unpackedFrom = ModelFileTypes::isContainerFile(inputPath) ? inputPath : QString();
    const Exporter::Result exported = Exporter::exportFolder(paths.model, QFileInfo(outputPath).absoluteFilePath(),
                                                             ConsoleStop::flag(), unpackedFrom);
    if (ConsoleImport::stopped())
        return CommandLineConverter::OutputError;
    if (!exported.ok) {
        printError(tr("Writing %1 failed: %2").arg(nativePath(outputPath), exported.errorText));
        return CommandLineConverter::OutputError;
    }
    return CommandLineConverter::Success;
}

// A stop that arrives once the output is in place leaves it there, whole.
BatchRecord::Status statusOf(int exitCode)
{
    if (exitCode == CommandLineConverter::Success)
        return BatchRecord::Status::Converted;
    return ConsoleStop::requested() ? BatchRecord::Status::Stopped : BatchRecord::Status::Failed;
}

int convertOne(const CommandLineRequest& request)
{
    if (!request.reportFile.isEmpty()) {
        const QString refusal
            = ReportTarget::refusalOf(request.reportFile, {request.arguments.at(0)}, {request.arguments.at(1)});
        if (!refusal.isEmpty()) {
            printError(refusal);
            return CommandLineConverter::UsageError;
        }
        QString error;
        if (!ReportTarget::createFolder(request.reportFile, &error)) {
            printError(error);
            return CommandLineConverter::OutputError;
        }
    }
    BatchConverter::bindToStartingBatch();
    QElapsedTimer clock;
    clock.start();
    BatchRecord record;
    record.input = QFileInfo(request.arguments.at(0)).absoluteFilePath();
    record.output = QFileInfo(request.arguments.at(1)).absoluteFilePath();
    const QString& input = request.arguments.at(0);
    const QString& output = request.arguments.at(1);
    record.exitCode = ConsoleImport::checkInput(input);
    if (record.exitCode == CommandLineConverter::Success)
        record.exitCode = checkOutput(output);
    const bool upToDate = record.exitCode == CommandLineConverter::Success && !request.force
        && ConsoleImport::isUpToDate(input, output, request.options);
    if (upToDate)
        ConsoleOutput::print(
            ConsoleOutput::Kind::Notice,
            tr("Up to date, not converted again (--force converts anyway): %1").arg(nativePath(output)));
    if (record.exitCode == CommandLineConverter::Success && !upToDate)
        record.exitCode = convertInto(input, output, request.options, !request.reportFile.isEmpty(), &record);
    record.seconds = clock.elapsed() / 1000.0;
    record.status = upToDate ? BatchRecord::Status::Skipped : statusOf(record.exitCode);
    if (record.status == BatchRecord::Status::Failed)
        record.reason = record.failureReason(QString());
    QString error;
    if (request.reportFile.isEmpty()
        || BatchReport::write(request.reportFile, {record}, record.seconds,
                              ConsoleStop::exitCodeOr(BatchReport::exitCodeOf({record})),
                              {1, 1, 1, BatchPlan::digestOf({record.input})}, &error))
        return record.exitCode;
    printError(tr("Cannot write the report %1: %2").arg(nativePath(request.reportFile), error));
    return record.exitCode == CommandLineConverter::Success ? int(CommandLineConverter::OutputError) : record.exitCode;
}

// A container's own preview serves when it is at least as large as asked:
// scaled down it is sharp, and a file manager gets it without drawing.
bool storedPreviewServes(const QString& previewPath, int size)
{
    QString ignored;
    const QImage stored = ContainerThumbnail::readPreview(previewPath, &ignored);
    return !stored.isNull() && std::max(stored.width(), stored.height()) >= size;
}

// The model is drawn at the size asked; a container whose model cannot be
// drawn here (no OpenGL) still gives its own preview, scaled.
int thumbnail(const QString& inputPath, const QString& outputPath, const QString& sizeText)
{
    bool isNumber = false;
    const int size = sizeText.toInt(&isNumber);
    if (!isNumber || size < 1 || size > ContainerThumbnail::kMaxSize) {
        printError(tr("--thumbnail needs an output file and a size from 1 to %1: --thumbnail INPUT OUTPUT SIZE")
                       .arg(ContainerThumbnail::kMaxSize));
        return CommandLineConverter::UsageError;
    }
    const int checked = ConsoleImport::checkInput(inputPath);
    if (checked != CommandLineConverter::Success)
        return checked;
    // A container passes the verdict --convert gives it, a model file is
    // converted, before anything is drawn or read.
    ConsoleWorkspace workspace;
    const ConsoleImport::Outcome imported = ConsoleImport::run(inputPath, workspace.service(), ImportOptions());
    if (imported.exitCode != CommandLineConverter::Success)
        return imported.exitCode;
    if (ConsoleImport::stopped())
        return CommandLineConverter::OutputError;
    const bool container = ModelFileTypes::isContainerFile(inputPath);
    QString previewPath = workspace.paths().meta + QStringLiteral("/perspective.png");
    QString problem;
    if (!(container && storedPreviewServes(previewPath, size))) {
        const QString drawnFolder = workspace.paths().meta + QStringLiteral("/thumbnail");
        problem = QDir().mkpath(drawnFolder)
            ? writePreviews(workspace.service(), workspace.paths().model, drawnFolder, size)
            : tr("the folder %1 cannot be made.").arg(nativePath(drawnFolder));
        if (problem.isEmpty())
            previewPath = drawnFolder + QStringLiteral("/perspective.png");
        else if (!container) {
            printError(tr("%1 could not be drawn: %2").arg(nativePath(inputPath), problem));
            return CommandLineConverter::OutputError;
        }
    }
    if (ConsoleImport::stopped())
        return CommandLineConverter::OutputError;
    QString error;
    if (ContainerThumbnail::write(previewPath, outputPath, size, &error))
        return CommandLineConverter::Success;
    if (ConsoleImport::stopped())
        return CommandLineConverter::OutputError;
    printError(tr("%1 has no intact preview: %2").arg(nativePath(inputPath), error));
    if (!problem.isEmpty())
        printError(problem);
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

// The merged report is written whatever is missing, so that it can be
// looked into; the exit code says whether it is complete.
int mergeReports(const QString& mergedPath, const QStringList& reportPaths)
{
    const QString refusal = ReportTarget::refusalOf(mergedPath, reportPaths, {});
    if (!refusal.isEmpty()) {
        printError(refusal);
        return CommandLineConverter::UsageError;
    }
    QString error;
    if (!ReportTarget::createFolder(mergedPath, &error)) {
        printError(error);
        return CommandLineConverter::OutputError;
    }
    const ReportMerge::Result merged = ReportMerge::merge(reportPaths);
    for (const QString& problem : merged.problems)
        printError(problem);
    if (!merged.text.isEmpty() && !BatchReport::writeBytes(mergedPath, merged.text, &error)) {
        printError(tr("Cannot write the report %1: %2").arg(nativePath(mergedPath), error));
        return CommandLineConverter::OutputError;
    }
    return merged.problems.isEmpty() ? merged.exitCode : int(CommandLineConverter::InputError);
}

int convert(const CommandLineRequest& request)
{
    return request.isBatch() ? BatchConverter(request).run() : convertOne(request);
}

// Runs one console mode with SIGTERM and SIGINT caught: the work stops and
// cleans up, then the process ends the way the signal would have, so that
// the caller sees what stopped it.
int runStoppable(const std::function<int()>& work)
{
    int exitCode = CommandLineConverter::UsageError;
    {
        const ConsoleStop stop;
        exitCode = work();
    }
    ConsoleStop::endByRecordedSignal();
    return exitCode;
}

} // namespace

bool CommandLineConverter::wantsConsoleMode(int argc, char** argv)
{
    return CommandLineRequest::wantsConsoleMode(argc, argv);
}

int CommandLineConverter::run(int argc, char** argv)
{
    std::unique_ptr<QCoreApplication> ownApplication;
    if (!QCoreApplication::instance())
        ownApplication = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velmora3dEncoder"));
    QCoreApplication::setApplicationVersion(VersionFile::encoderVersion());

    const CommandLineRequest request = CommandLineRequest::parse(QCoreApplication::arguments());
    if (!request.error.isEmpty()) {
        printError(request.error + QLatin1Char('\n') + tr("See Velmora3dEncoder --help."));
        return UsageError;
    }
    switch (request.mode) {
    case CommandLineRequest::Mode::Help:
        ConsoleOutput::print(ConsoleOutput::Kind::Answer, CommandLineRequest::helpText());
        return Success;
    case CommandLineRequest::Mode::Version:
        ConsoleOutput::print(ConsoleOutput::Kind::Answer,
                             QStringLiteral("Velmora3dEncoder ") + VersionFile::encoderVersion());
        return Success;
    case CommandLineRequest::Mode::MergeReports:
        return mergeReports(request.arguments.at(0), request.arguments.mid(1));
    case CommandLineRequest::Mode::Info:
    case CommandLineRequest::Mode::Thumbnail:
    case CommandLineRequest::Mode::Convert:
        break;
    case CommandLineRequest::Mode::Window:
        printError(tr("Nothing to do: use --convert, --thumbnail or --info (see --help)."));
        return UsageError;
    }

    ConsoleOutput::setNarrationShown(request.verbose);
    ConsoleOutput::setQuiet(request.quiet);
    const QuietDiagnostics quiet;
    const QStringList& words = request.arguments;
    if (request.mode == CommandLineRequest::Mode::Info)
        return runStoppable([&] { return ModelInfoCommand::run(words.at(0), request.json, request.tree); });
    if (request.mode == CommandLineRequest::Mode::Thumbnail)
        return runStoppable([&] { return thumbnail(words.at(0), words.at(1), words.at(2)); });
    return runStoppable([&] { return convert(request); });
}

#include "ModelInfoCommand.h"

#include "BundleInfo.h"
#include "ConsoleOutput.h"
#include "ConsoleStop.h"
#include "ConsoleWorkspace.h"
#include "ContainerImport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstring>
#include <memory>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("ModelInfoCommand", text); }

// The container code logs its progress at debug level; the console output
// of --info is the summary and the reason of a failure, nothing else.
void dropDebugMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        ConsoleOutput::printError(message);
}

ModelInfoCommand::Request parseArguments(int argc, char** argv)
{
    ModelInfoCommand::Request request;
    bool sawInfo = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--json") == 0) {
            request.json = true;
        } else if (std::strncmp(argument, "--info=", 7) == 0 && !sawInfo) {
            sawInfo = true;
            request.file = QString::fromLocal8Bit(argument + 7);
        } else if (std::strcmp(argument, "--info") == 0 && !sawInfo && i + 1 < argc) {
            sawInfo = true;
            request.file = QString::fromLocal8Bit(argv[++i]);
        } else {
            return request;
        }
    }
    request.valid = sawInfo && !request.file.isEmpty();
    return request;
}

} // namespace

bool ModelInfoCommand::wantsInfo(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (std::strcmp(argv[i], "--info") == 0 || std::strncmp(argv[i], "--info=", 7) == 0)
            return true;
    }
    return false;
}

int ModelInfoCommand::run(int argc, char** argv)
{
    const ModelInfoCommand::Request request = parseArguments(argc, argv);
    if (!request.valid) {
        ConsoleOutput::printError(
            tr("Usage: Velmora3dEncoder --info FILE [--json]  (FILE: .vm3, model folder or .gpb)"));
        return UsageError;
    }
    qInstallMessageHandler(dropDebugMessages);
    // The workspace finds the application's shaders beside the program.
    std::unique_ptr<QCoreApplication> ownApplication;
    if (!QCoreApplication::instance())
        ownApplication = std::make_unique<QCoreApplication>(argc, argv);
    const ConsoleStop stop;
    const int exitCode = describe(request);
    // After the workspace is gone: ends the way a stop signal would have.
    ConsoleStop::endByRecordedSignal();
    return exitCode;
}

int ModelInfoCommand::describe(const Request& request)
{
    const QFileInfo input(request.file);
    if (!input.exists()) {
        ConsoleOutput::printError(tr("The input does not exist: %1").arg(QDir::toNativeSeparators(request.file)));
        return LoadFailed;
    }
    // A FIFO or a device would block the first read, or never end.
    if (!input.isFile() && !input.isDir()) {
        ConsoleOutput::printError(
            tr("The input is not a regular file: %1").arg(QDir::toNativeSeparators(request.file)));
        return LoadFailed;
    }
    QString modelPath = input.absoluteFilePath();
    ConsoleWorkspace workspace;
    if (input.isFile() && input.suffix().compare(QLatin1String("vm3"), Qt::CaseInsensitive) == 0) {
        // The verdict --convert gives, unpacked into a claimed workspace.
        ContainerImport::Result imported;
        if (workspace.claimFor(modelPath))
            imported = ContainerImport::run(modelPath, workspace.paths(), workspace.service(), ConsoleStop::flag());
        else
            imported.errorText = tr("The input file could not be read: %1").arg(input.fileName());
        if (imported.status != ContainerImport::Status::Loaded) {
            if (!ConsoleStop::requested())
                ConsoleOutput::printError(imported.errorText);
            return LoadFailed;
        }
        modelPath = workspace.paths().model;
    } else if (input.isFile() && input.suffix().compare(QLatin1String("gpb"), Qt::CaseInsensitive) != 0) {
        ConsoleOutput::printError(tr("Unsupported file type: %1 (supported: .vm3, .gpb or a model folder)")
                                      .arg(QDir::toNativeSeparators(request.file)));
        return LoadFailed;
    }

    engine::BundleInfo::Summary summary;
    std::string error;
    if (!engine::BundleInfo::summarise(modelPath.toStdString(), &summary, &error)) {
        ConsoleOutput::printError(tr("The model cannot be loaded: %1").arg(QString::fromStdString(error)));
        return LoadFailed;
    }
    const std::string text = request.json ? engine::BundleInfo::toJson(summary) : engine::BundleInfo::toText(summary);
    // The summary's own bytes: names are UTF-8 whatever the console's locale.
    ConsoleOutput::printText(QByteArray::fromStdString(request.json ? text + '\n' : text));
    const std::string problems = engine::BundleInfo::problemsText(summary);
    if (!problems.empty())
        ConsoleOutput::printError(QString::fromStdString(problems).trimmed());
    return summary.problems.empty() ? Success : PartsLeftOut;
}

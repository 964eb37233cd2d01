#include "ModelInfoCommand.h"

#include "BundleInfo.h"
#include "CommandLineConverter.h"
#include "ConsoleImport.h"
#include "ModelFileTypes.h"
#include "WorkspaceService.h"
#include "ZipArchiveReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("ModelInfoCommand", text); }

// The container code logs its progress at debug level; the console output
// of --info is the summary and the reason of a failure, nothing else.
void dropDebugMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

void printLine(FILE* stream, const QString& text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

// A source format becomes a model folder the way --convert makes one.
struct ConvertedModel {
    WorkspaceService service;
    ConsoleImport::Outcome outcome;

    explicit ConvertedModel(const QString& inputPath)
        : outcome(ConsoleImport::run(inputPath, service, ConversionOptions()))
    {
    }
    ~ConvertedModel() { service.deleteCurrentWorkspace(); }
};

} // namespace

int ModelInfoCommand::run(const QString& file, bool json)
{
    qInstallMessageHandler(dropDebugMessages);
    const QFileInfo input(file);
    if (!input.exists()) {
        printLine(stderr, tr("The input does not exist: %1").arg(QDir::toNativeSeparators(file)));
        return LoadFailed;
    }
    QString modelPath = input.absoluteFilePath();
    QTemporaryDir unpacked;
    if (input.isFile() && input.suffix().compare(QLatin1String("vm3"), Qt::CaseInsensitive) == 0) {
        ZipArchiveReader reader;
        if (!unpacked.isValid() || !reader.open(modelPath) || !reader.extractAll(unpacked.path())) {
            printLine(stderr, tr("The file %1 cannot be unpacked: %2").arg(input.fileName(), reader.errorString()));
            return LoadFailed;
        }
        modelPath = unpacked.path() + QStringLiteral("/model");
    }
    std::unique_ptr<ConvertedModel> converted;
    if (input.isFile() && input.suffix().compare(QLatin1String("gpb"), Qt::CaseInsensitive) != 0
        && !ModelFileTypes::isContainerFile(file)) {
        if (ConsoleImport::checkInput(file) != CommandLineConverter::Success)
            return LoadFailed;
        converted = std::make_unique<ConvertedModel>(file);
        if (converted->outcome.exitCode != CommandLineConverter::Success)
            return converted->outcome.exitCode;
        modelPath = converted->service.modelFolder();
    }

    engine::BundleInfo::Summary summary;
    std::string error;
    if (!engine::BundleInfo::summarise(modelPath.toStdString(), &summary, &error)) {
        printLine(stderr,
                  tr("The model cannot be loaded: %1")
                      .arg(QString::fromStdString(error).replace(modelPath, QDir::toNativeSeparators(file))));
        return LoadFailed;
    }
    // The model was read from a temporary folder that is gone after exit;
    // the user knows it by the name they gave.
    if (modelPath != input.absoluteFilePath())
        summary.bundlePath = QDir::toNativeSeparators(file).toStdString();
    const std::string text = json ? engine::BundleInfo::toJson(summary) : engine::BundleInfo::toText(summary);
    std::fputs(text.c_str(), stdout);
    if (json)
        std::fputs("\n", stdout);
    return Success;
}

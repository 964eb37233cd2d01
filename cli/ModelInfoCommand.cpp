#include "ModelInfoCommand.h"

#include "BatchRecord.h"
#include "BundleInfo.h"
#include "CommandLineConverter.h"
#include "ConsoleImport.h"
#include "ConsoleOutput.h"
#include "ConsoleWorkspace.h"
#include "ImportOptions.h"
#include "ModelFileTypes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("ModelInfoCommand", text); }

// The container code logs its progress at debug level; the console output
// of --info is the summary and the reason of a failure, nothing else.
void dropDebugMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        ConsoleOutput::print(ConsoleOutput::Kind::Failure, message);
}

// The conversion's warnings and errors join the document as a batch report
// lists them; the summary's own keys keep their order.
std::string withConversionRecords(const std::string& json, const EncoderOutputLogs& records)
{
    BatchRecord record;
    record.records = records;
    const QJsonObject listed = record.toJson();
    std::string joined = json.substr(0, json.rfind('}'));
    for (const char* key : {"errors", "warnings"})
        joined += std::string(",\"") + key + "\":"
            + QJsonDocument(listed.value(QLatin1String(key)).toArray()).toJson(QJsonDocument::Compact).toStdString();
    return joined + "}";
}

} // namespace

int ModelInfoCommand::run(const QString& file, bool json, bool tree)
{
    qInstallMessageHandler(dropDebugMessages);
    const QFileInfo input(file);
    const QString shown = QDir::toNativeSeparators(file);
    if (!input.exists()) {
        ConsoleOutput::print(ConsoleOutput::Kind::Failure, tr("The input does not exist: %1").arg(shown));
        return LoadFailed;
    }
    // A FIFO or a device would block the first read, or never end.
    if (!input.isFile() && !input.isDir()) {
        ConsoleOutput::print(ConsoleOutput::Kind::Failure, tr("The input is not a regular file: %1").arg(shown));
        return LoadFailed;
    }
    QString modelPath = input.absoluteFilePath();
    ConsoleWorkspace workspace;
    EncoderOutputLogs conversionRecords;
    if (input.isFile() && input.suffix().compare(QLatin1String("gpb"), Qt::CaseInsensitive) != 0) {
        if (ConsoleImport::checkInput(file) != CommandLineConverter::Success)
            return LoadFailed;
        const ConsoleImport::Outcome imported = ConsoleImport::run(file, workspace.service(), ImportOptions());
        if (imported.exitCode != CommandLineConverter::Success)
            return ModelFileTypes::isContainerFile(file) ? int(LoadFailed) : imported.exitCode;
        modelPath = workspace.paths().model;
        conversionRecords = imported.records;
    }

    engine::BundleInfo::Summary summary;
    std::string error;
    if (!engine::BundleInfo::summarise(modelPath.toStdString(), &summary, &error)) {
        ConsoleOutput::print(
            ConsoleOutput::Kind::Failure,
            tr("The model cannot be loaded: %1").arg(QString::fromStdString(error).replace(modelPath, shown)));
        return LoadFailed;
    }
    // The model was read from a workspace that is gone after exit; the user
    // knows it by the name they gave.
    if (modelPath != input.absoluteFilePath())
        summary.bundlePath = shown.toStdString();
    const std::string text = json ? withConversionRecords(engine::BundleInfo::toJson(summary, tree), conversionRecords)
                                  : engine::BundleInfo::toText(summary, tree);
    // The summary's own bytes: names are UTF-8 whatever the console's locale.
    ConsoleOutput::printBytes(ConsoleOutput::Kind::Answer, QByteArray::fromStdString(json ? text + '\n' : text));
    const std::string problems = engine::BundleInfo::problemsText(summary);
    if (!problems.empty())
        ConsoleOutput::print(ConsoleOutput::Kind::Failure, QString::fromStdString(problems).trimmed());
    return summary.problems.empty() ? Success : PartsLeftOut;
}

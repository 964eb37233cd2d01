#include "EncoderProcess.h"

#include "EncoderChildProcess.h"

#include <QByteArray>
#include <QProcess>

namespace {

const int kPollMilliseconds = 100;

// The encoder's console text ends at the first zero byte, should it print one.
QString decodeConsoleText(const QByteArray& bytes) { return QString::fromUtf8(bytes.constData()); }

} // namespace

QStringList EncoderProcess::arguments(const QString& grouping, const QString& culling, const QString& inputPath,
                                      const QString& outputPath)
{
    return {QStringLiteral("-group:") + grouping,
            QStringLiteral("-cull:") + culling,
            QStringLiteral("-m"),
            QStringLiteral("-v"),
            QStringLiteral("2"),
            QStringLiteral("-options"),
            inputPath,
            outputPath};
}

EncoderProcess::Result EncoderProcess::run(const QString& program, const QStringList& arguments,
                                           const QString& workingFolder, const std::function<bool()>& isCancelled)
{
    Result result;
    QByteArray standardOutput;
    QByteArray standardError;

    EncoderChildProcess process;
    process.setWorkingDirectory(workingFolder);
    process.start(program, arguments, QIODevice::ReadWrite);
    if (!process.waitForStarted(-1)) {
        result.outcome = Outcome::FailedToStart;
        return result;
    }
    // The encoder never gets input; an encoder that asks for some sees the
    // end of the stream instead of waiting for ever.
    process.closeWriteChannel();

    // Reading while the encoder runs keeps a chatty encoder from stalling on a
    // full pipe and lets a superseded import stop it early.
    bool cancelled = false;
    while (!process.waitForFinished(kPollMilliseconds)) {
        if (process.state() == QProcess::NotRunning)
            break;
        standardOutput += process.readAllStandardOutput();
        standardError += process.readAllStandardError();
        if (isCancelled && isCancelled()) {
            cancelled = true;
            process.kill();
            process.waitForFinished(-1);
            break;
        }
    }
    standardOutput += process.readAllStandardOutput();
    standardError += process.readAllStandardError();

    result.standardOutput = decodeConsoleText(standardOutput);
    result.standardError = decodeConsoleText(standardError);
    result.exitCode = process.exitCode();
    if (cancelled)
        result.outcome = Outcome::Cancelled;
    else if (process.exitStatus() == QProcess::CrashExit)
        result.outcome = Outcome::Crashed;
    return result;
}

EncoderOutputLogs EncoderProcess::failureRecords(const Result& result, const QString& program, bool modelWritten)
{
    // Code 0 keeps these records out of the encoder's error statistics.
    auto record = [](const QString& title, const QString& message) {
        return EncoderOutputLogs {EncoderOutputLog {LoggingPriorities::Error, 0, title, message}};
    };
    switch (result.outcome) {
    case Outcome::FailedToStart:
        return record(QStringLiteral("The model encoder could not be started"),
                      QStringLiteral("The model encoder could not be started. Check that it exists and may be "
                                     "executed:\n")
                          + program);
    case Outcome::Crashed:
        return record(QStringLiteral("The model encoder crashed"),
                      QStringLiteral("The model encoder crashed while converting the model:\n") + program);
    case Outcome::Cancelled:
        return {};
    case Outcome::Finished:
        break;
    }
    if (modelWritten)
        return {};
    const QString title = QStringLiteral("The model could not be converted");
    if (result.exitCode != 0)
        return record(title, QStringLiteral("The model encoder failed with exit code %1.").arg(result.exitCode));
    return record(title, QStringLiteral("The model encoder ended without writing a model."));
}

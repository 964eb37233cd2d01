#include "BatchConverter.h"

#include "BatchProgressFile.h"
#include "BatchReport.h"
#include "CommandLineConverter.h"
#include "ConsoleImport.h"
#include "ConsoleOutput.h"
#include "ConsoleStop.h"
#include "CpuAllowance.h"
#include "Exporter.h"
#include "OutputFolder.h"
#include "ParentBoundProcess.h"
#include "ReplacingFile.h"
#include "ReportTarget.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTextCodec>

#include <algorithm>
#include <unistd.h>

namespace {

// Tells a conversion which batch started it (the batch's process id).
const char* const kBatchVariable = "VELMORA_BATCH_PROCESS";
// How long a conversion asked to end may take to clean up before it is killed.
const qint64 kKillGraceMs = 10000;

// What one conversion is given of the memory available: its own process and
// the encoder's, for a model of some hundred MB.
const qint64 kMemoryPerJob = qint64(256) << 20;

QString nativePath(const QString& path) { return QDir::toNativeSeparators(path); }

// The memory the system can give without swapping ("MemAvailable"), or all
// of it where that is not told.
qint64 availableMemory()
{
    QFile info(QStringLiteral("/proc/meminfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (QByteArray line = info.readLine(); !line.isEmpty(); line = info.readLine()) {
            if (line.startsWith("MemAvailable:"))
                return line.mid(13).trimmed().split(' ').first().toLongLong() * 1024;
        }
    }
    return qint64(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
}

// As many conversions at once as asked for (by default one per processor this
// process may use), but no more than the memory holds: each is a process of
// its own.
int jobCount(int requested)
{
    const int wanted = requested > 0 ? requested : CpuAllowance::usable();
    return int(qBound(qint64(1), availableMemory() / kMemoryPerJob, qint64(wanted)));
}

QString clockText(double seconds)
{
    const int whole = qRound(seconds);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

// The child's reasons, indented under the line that names its file.
QString indented(const QString& text)
{
    QStringList lines;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines << QStringLiteral("  ") + line;
    return lines.join(QLatin1Char('\n'));
}

} // namespace

BatchConverter::BatchConverter(const CommandLineRequest& request)
    : m_request(request)
    , m_plan(BatchPlan::make(request.arguments, request.outputFolder, request.shardIndex, request.shardCount))
    , m_records(m_plan.items.size())
    , m_jobs(jobCount(request.jobs))
{
    for (int i = 0; i < m_plan.items.size(); ++i) {
        m_records[i].input = m_plan.items.at(i).input;
        m_records[i].output = m_plan.items.at(i).output;
        m_records[i].status = BatchRecord::Status::Stopped;
    }
    // The largest inputs first: a big model started last would leave the
    // other jobs idle while it converts alone. The report keeps the plan's order.
    for (int i = 0; i < m_plan.items.size(); ++i)
        m_startOrder.append(i);
    QVector<qint64> sizes;
    for (const BatchPlan::Item& item : qAsConst(m_plan.items))
        sizes.append(QFileInfo(item.input).size());
    std::stable_sort(m_startOrder.begin(), m_startOrder.end(), [&sizes](int a, int b) { return sizes[a] > sizes[b]; });
    m_checks.setMaxThreadCount(m_jobs);
    m_stopPoll.setInterval(50);
    connect(&m_stopPoll, &QTimer::timeout, this, &BatchConverter::pollStop);
}

BatchConverter::~BatchConverter() = default;

int BatchConverter::run()
{
    m_clock.start();
    QString error;
    if (m_plan.inputCount == 0) {
        ConsoleOutput::print(ConsoleOutput::Kind::Failure,
                             tr("No model files (%1) among the inputs.").arg(m_request.arguments.join(", ")));
        return CommandLineConverter::InputError;
    }
    const QString folderRefusal = OutputFolder::refusalOf(m_request.outputFolder);
    if (!folderRefusal.isEmpty()) {
        ConsoleOutput::print(ConsoleOutput::Kind::Failure, folderRefusal);
        return CommandLineConverter::OutputError;
    }
    // A refused report leaves no folder behind: it is judged before its folder is made.
    if (!m_request.reportFile.isEmpty()) {
        const QString refusal = reportRefusal();
        if (!refusal.isEmpty()) {
            ConsoleOutput::print(ConsoleOutput::Kind::Failure, refusal);
            return CommandLineConverter::UsageError;
        }
    }
    if (!m_request.reportFile.isEmpty() && !ReportTarget::createFolder(m_request.reportFile, &error)) {
        ConsoleOutput::print(ConsoleOutput::Kind::Failure, error);
        return CommandLineConverter::OutputError;
    }
    if (!m_request.reportFile.isEmpty() && !Exporter::checkTargetWritable(m_request.reportFile, &error)) {
        ConsoleOutput::print(ConsoleOutput::Kind::Failure,
                             tr("Cannot write the report %1: %2").arg(nativePath(m_request.reportFile), error));
        return CommandLineConverter::OutputError;
    }
    if (!m_reports.isValid()) {
        ConsoleOutput::print(ConsoleOutput::Kind::Failure,
                             tr("Cannot create a temporary folder: %1").arg(m_reports.errorString()));
        return CommandLineConverter::OutputError;
    }
    m_stopPoll.start();
    BatchProgressFile::append(0, m_records.size(), nullptr);
    startJobs();
    if (m_settled < m_records.size())
        m_loop.exec();
    return finish();
}

QString BatchConverter::reportRefusal() const
{
    QStringList inputs;
    QStringList outputs;
    for (const BatchPlan::Item& item : m_plan.items) {
        inputs << item.input;
        outputs << item.output;
    }
    return ReportTarget::refusalOf(m_request.reportFile, inputs, outputs);
}

void BatchConverter::startJobs()
{
    while (!m_stopping && m_running.size() + m_checking < m_jobs && m_next < m_plan.items.size()) {
        const int index = m_startOrder.at(m_next++);
        if (!settledWithoutConverting(index))
            checkThenStart(index);
    }
    if (m_running.isEmpty() && m_checking == 0 && (m_stopping || m_next == m_plan.items.size()))
        m_loop.quit();
}

bool BatchConverter::settledWithoutConverting(int index)
{
    const BatchPlan::Item& item = m_plan.items.at(index);
    BatchRecord record = m_records.at(index);
    if (item.undecodableName) {
        record.status = BatchRecord::Status::Failed;
        record.exitCode = CommandLineConverter::InputError;
        settle(index, record,
               tr("Not converted: the file name is not valid text in the system's encoding (%1), so it cannot be "
                  "passed on; rename the file.")
                   .arg(QString::fromLatin1(QTextCodec::codecForLocale()->name())));
        return true;
    }
    if (!item.sameOutputAs.isEmpty()) {
        record.status = BatchRecord::Status::Failed;
        record.exitCode = CommandLineConverter::InputError;
        settle(index, record,
               tr("Not converted: %1 already goes to the same output.").arg(nativePath(item.sameOutputAs)));
        return true;
    }
    return false;
}

void BatchConverter::checkThenStart(int index)
{
    if (m_request.force) {
        startJob(index);
        return;
    }
    ++m_checking;
    const BatchPlan::Item item = m_plan.items.at(index);
    const ImportOptions options = m_request.options;
    m_checks.start([this, index, item, options] {
        const bool upToDate = ConsoleImport::isUpToDate(item.input, item.output, options);
        QMetaObject::invokeMethod(
            this, [this, index, upToDate] { checkFinished(index, upToDate); }, Qt::QueuedConnection);
    });
}

void BatchConverter::checkFinished(int index, bool upToDate)
{
    --m_checking;
    if (upToDate) {
        BatchRecord record = m_records.at(index);
        record.status = BatchRecord::Status::Skipped;
        settle(index, record, QString());
    } else if (!m_stopping) {
        startJob(index);
    }
    startJobs();
}

QStringList BatchConverter::childArguments(const BatchPlan::Item& item, const QString& reportPath) const
{
    // Whether the output is up to date was decided here.
    QStringList arguments {QStringLiteral("--convert"),  QStringLiteral("--force"),
                           QStringLiteral("--grouping"), m_request.options.groupingName(),
                           QStringLiteral("--culling"),  m_request.options.cullingName(),
                           QStringLiteral("--report"),   reportPath};
    if (m_request.verbose)
        arguments << QStringLiteral("--verbose");
    return arguments << item.input << item.output;
}

void BatchConverter::startJob(int index)
{
    const BatchPlan::Item& item = m_plan.items.at(index);
    QDir().mkpath(QFileInfo(item.output).absolutePath());
    Job* job = new Job;
    job->index = index;
    job->reportPath = m_reports.filePath(QString::number(index) + QStringLiteral(".json"));
    job->process = new ParentBoundProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kBatchVariable), QString::number(::getpid()));
    environment.remove(QLatin1String(BatchProgressFile::environmentVariable()));
    job->process->setProcessEnvironment(environment);
    if (!m_request.verbose)
        job->process->setStandardOutputFile(QProcess::nullDevice());
    connect(job->process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            [this, job]() { jobFinished(job); });
    connect(job->process, &QProcess::errorOccurred, this, [this, job](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            jobFinished(job);
    });
    m_running.append(job);
    job->clock.start();
    job->process->start(QCoreApplication::applicationFilePath(), childArguments(item, job->reportPath));
}

void BatchConverter::bindToStartingBatch()
{
    const pid_t parent = ::getppid();
    if (qEnvironmentVariableIntValue(kBatchVariable) == int(parent))
        ReplacingFile::replaceOnlyWhileParentIs(parent);
}

BatchRecord BatchConverter::recordOf(Job* job) const
{
    BatchRecord record = m_records.at(job->index);
    const bool reported = BatchReport::readFirstRecord(job->reportPath, &record);
    record.input = m_records.at(job->index).input;
    record.output = m_records.at(job->index).output;
    record.seconds = job->clock.elapsed() / 1000.0;
    if (job->timedOut) {
        // Whatever it managed to say as it was stopped, it failed.
        record.status = BatchRecord::Status::Failed;
        record.exitCode = CommandLineConverter::EncoderFailed;
    } else if (m_stopping && !reported) {
        record.status = BatchRecord::Status::Stopped;
    } else if (!reported) {
        // The conversion died before it could report: nothing of it is kept.
        record.status = BatchRecord::Status::Failed;
        record.exitCode = CommandLineConverter::EncoderFailed;
    }
    return record;
}

void BatchConverter::jobFinished(Job* job)
{
    if (!m_running.removeOne(job))
        return; // FailedToStart is followed by no finished(), but be sure
    const BatchRecord record = recordOf(job);
    QString detail = QString::fromLocal8Bit(job->process->readAllStandardError());
    if (job->process->error() == QProcess::FailedToStart)
        detail = job->process->errorString();
    if (job->timedOut)
        detail += QLatin1Char('\n')
            + tr("Stopped after %1 s: the conversion took longer than the time limit (--timeout).")
                  .arg(m_request.timeoutSeconds);
    ConsoleOutput::printBytes(ConsoleOutput::Kind::Narration, job->process->readAllStandardOutput());
    job->process->deleteLater();
    settle(job->index, record, detail);
    delete job;
    startJobs();
}

void BatchConverter::settle(int index, const BatchRecord& record, const QString& detail)
{
    m_records[index] = record;
    const QStringList lines = detail.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (record.status == BatchRecord::Status::Failed)
        m_records[index].reason = record.failureReason(lines.isEmpty() ? QString() : lines.last().trimmed());
    ++m_settled;
    if (record.status == BatchRecord::Status::Failed)
        ++m_failures;
    BatchProgressFile::append(m_settled, m_records.size(), &m_records.at(index));
    printOutcome(record, detail);
}

void BatchConverter::printOutcome(const BatchRecord& record, const QString& detail)
{
    const bool failed = record.status == BatchRecord::Status::Failed;
    // On a terminal the status line counts the files that went well; a log
    // gets a line for each.
    if (record.status == BatchRecord::Status::Stopped || (!failed && ConsoleOutput::showsStatusLine())) {
        drawProgress();
        return;
    }
    const QString counter = QStringLiteral("[%1/%2] ").arg(m_settled).arg(m_records.size());
    QString line;
    if (failed)
        line = counter + tr("failed %1 (exit code %2)").arg(nativePath(record.input)).arg(record.exitCode)
            + QLatin1Char('\n') + indented(detail);
    else if (record.status == BatchRecord::Status::Skipped)
        line = counter + tr("up to date %1 -> %2").arg(nativePath(record.input), nativePath(record.output));
    else
        line = counter
            + tr("converted %1 -> %2 (%3 s, %4)")
                  .arg(nativePath(record.input), nativePath(record.output))
                  .arg(record.seconds, 0, 'f', 2)
                  .arg(record.warningCountText());
    ConsoleOutput::print(failed ? ConsoleOutput::Kind::Failure : ConsoleOutput::Kind::Notice, line.trimmed());
    drawProgress();
}

void BatchConverter::drawProgress()
{
    if (!ConsoleOutput::showsStatusLine())
        return;
    const double elapsed = m_clock.elapsed() / 1000.0;
    const int left = m_records.size() - m_settled;
    QString text = tr("[%1/%2] %3 failed").arg(m_settled).arg(m_records.size()).arg(m_failures);
    if (m_settled > 0 && left > 0)
        text += tr(", about %1 left").arg(clockText(elapsed / m_settled * left));
    ConsoleOutput::drawStatusLine(text);
    if (left == 0)
        ConsoleOutput::endStatusLine();
}

// A conversion past the time limit is asked to end like one that is
// stopped, so it leaves nothing behind; one that does not end even then is
// killed.
void BatchConverter::stopOverdueJobs()
{
    const qint64 limitMs = qint64(m_request.timeoutSeconds) * 1000;
    for (Job* job : qAsConst(m_running)) {
        if (!job->timedOut && job->clock.elapsed() > limitMs) {
            job->timedOut = true;
            job->sinceTerminate.start();
            job->process->terminate();
        } else if (job->timedOut && job->sinceTerminate.elapsed() > kKillGraceMs) {
            job->process->kill();
        }
    }
}

void BatchConverter::pollStop()
{
    stopOverdueJobs();
    if (m_stopping || !ConsoleStop::requested())
        return;
    m_stopping = true;
    for (Job* job : qAsConst(m_running))
        job->process->terminate();
    startJobs();
}

QString BatchConverter::closingLine() const
{
    const QVector<int> counts = BatchReport::countsByStatus(m_records);
    return tr("Done: %1 inputs, %2 converted, %3 up to date, %4 failed, %5 stopped (%6 s).")
        .arg(m_records.size())
        .arg(counts[int(BatchRecord::Status::Converted)])
        .arg(counts[int(BatchRecord::Status::Skipped)])
        .arg(counts[int(BatchRecord::Status::Failed)])
        .arg(counts[int(BatchRecord::Status::Stopped)])
        .arg(m_clock.elapsed() / 1000.0, 0, 'f', 1);
}

BatchReport::Scope BatchConverter::scope() const
{
    return {m_request.shardIndex, m_request.shardCount, m_plan.inputCount, m_plan.inputsDigest};
}

int BatchConverter::finish()
{
    m_stopPoll.stop();
    ConsoleOutput::endStatusLine();
    // A log has one line per file but no progress line: the counts close it.
    if (!ConsoleOutput::showsStatusLine())
        ConsoleOutput::print(ConsoleOutput::Kind::Notice, closingLine());
    int exitCode = BatchReport::exitCodeOf(m_records);
    QString error;
    if (!m_request.reportFile.isEmpty()
        && !BatchReport::write(m_request.reportFile, m_records, m_clock.elapsed() / 1000.0,
                               ConsoleStop::exitCodeOr(exitCode), scope(), &error)) {
        ConsoleOutput::print(ConsoleOutput::Kind::Failure,
                             tr("Cannot write the report %1: %2").arg(nativePath(m_request.reportFile), error));
        exitCode = qMax(exitCode, int(CommandLineConverter::OutputError));
    }
    return exitCode;
}

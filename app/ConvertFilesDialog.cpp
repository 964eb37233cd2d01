#include "ConvertFilesDialog.h"

#include "BatchReport.h"
#include "EncoderOutputLog.h"
#include "ModelFileTypes.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

namespace {

enum Column { FileColumn, StatusColumn, WarningsColumn, TimeColumn, DetailColumn, ColumnCount };

const char* const kProgressFileName = "progress.jsonl";

// What a row says of its file up front, and a failure's first error.
struct Outcome {
    QString headline;
    QString message;
};

Outcome outcomeOf(const BatchRecord& record)
{
    switch (record.status) {
    case BatchRecord::Status::Converted:
        return {ConvertFilesDialog::tr("Converted to %1").arg(QDir::toNativeSeparators(record.output)), QString()};
    case BatchRecord::Status::Skipped:
        return {ConvertFilesDialog::tr("Up to date: not converted again"), QString()};
    case BatchRecord::Status::Stopped:
        return {ConvertFilesDialog::tr("Stopped: not converted"), QString()};
    case BatchRecord::Status::Failed:
        break;
    }
    for (const EncoderOutputLog& log : record.records) {
        if (log.priority == LoggingPriorities::Error)
            return {log.title.trimmed(), log.message.trimmed()};
    }
    if (!record.reason.isEmpty())
        return {record.reason, QString()};
    return {ConvertFilesDialog::tr("The conversion failed (exit code %1).").arg(record.exitCode), QString()};
}

QString oneLine(const Outcome& outcome)
{
    QString message = outcome.message;
    message.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return message.isEmpty() ? outcome.headline : outcome.headline + QStringLiteral(": ") + message;
}

QString encoderLog(const BatchRecord& record)
{
    QStringList lines;
    if (!record.reason.isEmpty())
        lines << record.reason;
    for (const EncoderOutputLog& log : record.records)
        lines << describeEncoderOutputLog(log);
    if (lines.isEmpty())
        lines << ConvertFilesDialog::tr("The encoder reported nothing for this file.");
    return lines.join(QLatin1Char('\n'));
}

QString clockText(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QPushButton* button(const QString& text, const char* objectName)
{
    auto* created = new QPushButton(text);
    created->setObjectName(QLatin1String(objectName));
    return created;
}

} // namespace

ConvertFilesDialog::ConvertFilesDialog(const QString& program, QWidget* parent)
    : QDialog(parent)
    , m_program(program)
    , m_progressFile(m_scratch.filePath(QLatin1String(kProgressFileName)))
{
    setWindowTitle(tr("Convert Files"));
    buildLayout();
    updateButtons();
}

ConvertFilesDialog::~ConvertFilesDialog() { cancel(); }

void ConvertFilesDialog::buildLayout()
{
    m_inputs = new QListWidget;
    m_inputs->setObjectName(QStringLiteral("inputList"));
    QPushButton* addFiles = button(tr("Add Files..."), "addFilesButton");
    QPushButton* addFolder = button(tr("Add Folder..."), "addFolderButton");
    connect(addFiles, &QPushButton::clicked, this, &ConvertFilesDialog::addFilesClicked);
    connect(addFolder, &QPushButton::clicked, this, &ConvertFilesDialog::addFolderClicked);
    auto* inputButtons = new QHBoxLayout;
    inputButtons->addWidget(addFiles);
    inputButtons->addWidget(addFolder);
    inputButtons->addStretch();

    m_output = new QLineEdit;
    m_output->setObjectName(QStringLiteral("outputFolder"));
    connect(m_output, &QLineEdit::textChanged, this, &ConvertFilesDialog::updateButtons);
    QPushButton* chooseOutput = button(tr("Choose..."), "chooseOutputButton");
    connect(chooseOutput, &QPushButton::clicked, this, &ConvertFilesDialog::chooseOutputClicked);
    auto* outputRow = new QHBoxLayout;
    outputRow->addWidget(new QLabel(tr("Output folder:")));
    outputRow->addWidget(m_output, 1);
    outputRow->addWidget(chooseOutput);

    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_state = new QLabel;
    m_state->setObjectName(QStringLiteral("stateLabel"));
    m_convertButton = button(tr("Convert"), "convertButton");
    m_cancelButton = button(tr("Cancel"), "cancelButton");
    connect(m_convertButton, &QPushButton::clicked, this, &ConvertFilesDialog::start);
    connect(m_cancelButton, &QPushButton::clicked, this, &ConvertFilesDialog::cancel);
    auto* runRow = new QHBoxLayout;
    runRow->addWidget(m_progress, 1);
    runRow->addWidget(m_convertButton);
    runRow->addWidget(m_cancelButton);
    // Closing only hides the dialog: a running batch goes on and is shown again.
    QPushButton* close = button(tr("Close"), "closeButton");
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    runRow->addWidget(close);

    m_results = new QTableWidget(0, ColumnCount);
    m_results->setObjectName(QStringLiteral("resultsTable"));
    m_results->setHorizontalHeaderLabels({tr("File"), tr("Status"), tr("Warnings"), tr("Time"), tr("Result")});
    // Long paths keep their start and their file name in view, results their
    // title and end; the whole text is the cell's tool tip.
    m_results->setTextElideMode(Qt::ElideMiddle);
    m_results->setWordWrap(false);
    m_results->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_results->horizontalHeader()->setStretchLastSection(true);
    m_results->setColumnWidth(FileColumn, 300);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(m_results, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { showLogOfRow(row); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Models and folders (searched with their sub-folders):")));
    layout->addWidget(m_inputs);
    layout->addLayout(inputButtons);
    layout->addLayout(outputRow);
    layout->addLayout(runRow);
    layout->addWidget(m_state);
    layout->addWidget(m_results, 1);
    resize(900, 600);
}

void ConvertFilesDialog::addInputs(const QStringList& paths)
{
    for (const QString& path : paths) {
        if (m_inputs->findItems(path, Qt::MatchExactly).isEmpty())
            m_inputs->addItem(path);
    }
    updateButtons();
}

void ConvertFilesDialog::setOutputFolder(const QString& folder) { m_output->setText(folder); }

void ConvertFilesDialog::setOptions(const QString& grouping, const QString& culling)
{
    m_grouping = grouping;
    m_culling = culling;
}

void ConvertFilesDialog::addFilesClicked()
{
    addInputs(
        QFileDialog::getOpenFileNames(this, tr("Models to convert"), QString(), ModelFileTypes::openDialogFilter()));
}

void ConvertFilesDialog::addFolderClicked()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Folder of models to convert"));
    if (!folder.isEmpty())
        addInputs({folder});
}

void ConvertFilesDialog::chooseOutputClicked()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Folder for the vm3 files"), m_output->text());
    if (!folder.isEmpty())
        m_output->setText(folder);
}

void ConvertFilesDialog::updateButtons()
{
    const bool running = m_process != nullptr;
    m_convertButton->setEnabled(!running && m_inputs->count() > 0 && !m_output->text().trimmed().isEmpty());
    m_cancelButton->setEnabled(running);
}

void ConvertFilesDialog::start()
{
    if (m_process || m_inputs->count() == 0 || m_output->text().trimmed().isEmpty())
        return;
    QStringList arguments {QStringLiteral("--convert"),
                           QStringLiteral("--grouping"),
                           m_grouping,
                           QStringLiteral("--culling"),
                           m_culling,
                           QStringLiteral("-j"),
                           QString::number(QThread::idealThreadCount()),
                           QStringLiteral("--output-dir"),
                           m_output->text().trimmed(),
                           QStringLiteral("--report"),
                           m_scratch.filePath("report.json")};
    for (int i = 0; i < m_inputs->count(); ++i)
        arguments << m_inputs->item(i)->text();
    QFile::remove(m_scratch.filePath("report.json"));
    const QString progressPath = m_scratch.filePath(QLatin1String(kProgressFileName));
    QFile(progressPath).open(QIODevice::WriteOnly | QIODevice::Truncate);
    m_progressFile = BatchProgressFile(progressPath);
    m_results->setRowCount(0);
    m_records.clear();
    m_failed = 0;
    m_progress->setRange(0, 0);
    m_state->setText(tr("Converting..."));
    m_process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(BatchProgressFile::environmentVariable()), progressPath);
    m_process->setProcessEnvironment(environment);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_progressWatcher = new QFileSystemWatcher({progressPath}, m_process);
    connect(m_progressWatcher, &QFileSystemWatcher::fileChanged, this, &ConvertFilesDialog::readProgress);
    connect(m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &ConvertFilesDialog::conversionEnded);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            conversionEnded();
    });
    m_clock.start();
    m_process->start(m_program, arguments);
    updateButtons();
}

void ConvertFilesDialog::readProgress()
{
    for (const BatchProgressFile::Line& line : m_progressFile.readNewLines()) {
        if (line.hasRecord)
            addResult(line.record);
        showProgress(line.done, line.total);
    }
}

void ConvertFilesDialog::showProgress(int done, int total)
{
    m_progress->setRange(0, total);
    m_progress->setValue(done);
    QString text = tr("%1 of %2 files done, %3 failed").arg(done).arg(total).arg(m_failed);
    if (done > 0 && done < total)
        text += tr(", about %1 left").arg(clockText(m_clock.elapsed() / 1000 * (total - done) / done));
    m_state->setText(text);
}

void ConvertFilesDialog::cancel()
{
    if (!m_process)
        return;
    // The batch stops its conversions on SIGTERM and removes what they made.
    m_state->setText(tr("Stopping..."));
    m_process->terminate();
    if (!isVisible())
        m_process->waitForFinished(30000);
}

void ConvertFilesDialog::conversionEnded()
{
    if (!m_process)
        return;
    readProgress();
    const bool started = m_process->error() != QProcess::FailedToStart;
    const bool stopped = m_process->exitStatus() == QProcess::CrashExit;
    const QStringList said = QString::fromLocal8Bit(m_process->readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    m_process->deleteLater();
    m_process = nullptr;
    m_progressWatcher = nullptr;
    m_progress->setRange(0, 1);
    m_progress->setValue(1);
    addUnsettledResults(BatchReport::readRecords(m_scratch.filePath("report.json")));
    m_state->setText(
        tr("%1 files, %2 failed. Double-click a file to see its log.").arg(m_records.size()).arg(m_failed));
    if (m_records.isEmpty() && !said.isEmpty())
        m_state->setText(said.last()); // refused before anything was converted
    if (!started)
        m_state->setText(tr("The conversion could not be started: %1").arg(QDir::toNativeSeparators(m_program)));
    else if (stopped)
        m_state->setText(tr("Stopped. Files that were not finished were not written."));
    updateButtons();
    emit finished();
}

// Failures go above every other row, each kind in the order it settled.
void ConvertFilesDialog::addResult(const BatchRecord& record)
{
    const bool failed = record.status == BatchRecord::Status::Failed;
    const int row = failed ? m_failed++ : m_records.size();
    m_records.insert(row, record);
    m_results->insertRow(row);
    const bool converted = record.status == BatchRecord::Status::Converted;
    const Outcome outcome = outcomeOf(record);
    // Only a conversion has warnings and a time of its own to show.
    const QStringList cells
        = {QDir::toNativeSeparators(record.input), BatchRecord::statusName(record.status),
           converted ? record.warningCountText() : QString(),
           converted || failed ? tr("%1 s").arg(record.seconds, 0, 'f', 2) : QString(), oneLine(outcome)};
    for (int column = 0; column < ColumnCount; ++column) {
        auto* item = new QTableWidgetItem(cells.at(column));
        item->setToolTip(column == FileColumn ? cells.at(column) : oneLine(outcome));
        m_results->setItem(row, column, item);
    }
    if (failed)
        m_results->item(row, FileColumn)->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
}

// Inputs a stop left unstarted appear only in the final report.
void ConvertFilesDialog::addUnsettledResults(const QVector<BatchRecord>& report)
{
    QStringList shown;
    for (const BatchRecord& record : qAsConst(m_records))
        shown << record.input;
    for (const BatchRecord& record : report) {
        if (!shown.contains(record.input))
            addResult(record);
    }
}

void ConvertFilesDialog::showLogOfRow(int row)
{
    if (row < 0 || row >= m_records.size())
        return;
    const BatchRecord& record = m_records.at(row);
    const Outcome outcome = outcomeOf(record);
    QDialog box(this);
    box.setObjectName(QStringLiteral("fileLogBox"));
    box.setWindowTitle(QDir::toNativeSeparators(record.input));
    const bool failed = record.status == BatchRecord::Status::Failed;
    auto* icon = new QLabel;
    icon->setPixmap(
        style()->standardIcon(failed ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation).pixmap(32));
    auto* headline = new QLabel(QStringLiteral("<b>%1</b>").arg(outcome.headline.toHtmlEscaped()));
    headline->setObjectName(QStringLiteral("headlineLabel"));
    auto* message = new QLabel(outcome.message);
    message->setObjectName(QStringLiteral("messageLabel"));
    for (QLabel* label : {headline, message}) {
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    message->setVisible(!outcome.message.isEmpty());
    auto* log = new QPlainTextEdit(encoderLog(record));
    log->setObjectName(QStringLiteral("encoderLog"));
    log->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    auto* layout = new QGridLayout(&box);
    layout->setColumnStretch(1, 1);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(headline, 0, 1);
    layout->addWidget(message, 1, 1);
    layout->addWidget(new QLabel(tr("Encoder log:")), 2, 0, 1, 2);
    layout->addWidget(log, 3, 0, 1, 2);
    layout->addWidget(buttons, 4, 0, 1, 2);
    box.resize(640, 400);
    box.exec();
}

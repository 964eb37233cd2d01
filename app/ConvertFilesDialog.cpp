#include "ConvertFilesDialog.h"

#include "BatchReport.h"
#include "EncoderOutputLog.h"
#include "ModelFileTypes.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Column { FileColumn, StatusColumn, WarningsColumn, TimeColumn, ColumnCount };

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

    m_results = new QTableWidget(0, ColumnCount);
    m_results->setObjectName(QStringLiteral("resultsTable"));
    m_results->setHorizontalHeaderLabels({tr("File"), tr("Status"), tr("Warnings"), tr("Time")});
    m_results->horizontalHeader()->setSectionResizeMode(FileColumn, QHeaderView::Stretch);
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
    resize(720, 560);
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
    m_results->setRowCount(0);
    m_progress->setRange(0, 0);
    m_state->setText(tr("Converting..."));
    m_process = new QProcess(this);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::readyReadStandardError, this, &ConvertFilesDialog::readProgress);
    connect(m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &ConvertFilesDialog::conversionEnded);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            conversionEnded();
    });
    m_process->start(m_program, arguments);
    updateButtons();
}

// The batch prints "[done/total] ..." for every file it finishes.
void ConvertFilesDialog::readProgress()
{
    static const QRegularExpression kCounter(QStringLiteral("^\\[(\\d+)/(\\d+)\\]"));
    while (m_process && m_process->canReadLine()) {
        const QRegularExpressionMatch match = kCounter.match(QString::fromLocal8Bit(m_process->readLine()));
        if (match.hasMatch()) {
            m_progress->setRange(0, match.captured(2).toInt());
            m_progress->setValue(match.captured(1).toInt());
        }
    }
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
    const bool started = m_process->error() != QProcess::FailedToStart;
    const bool stopped = m_process->exitStatus() == QProcess::CrashExit;
    m_process->deleteLater();
    m_process = nullptr;
    m_progress->setRange(0, 1);
    m_progress->setValue(1);
    showResults(BatchReport::readRecords(m_scratch.filePath("report.json")));
    if (!started)
        m_state->setText(tr("The conversion could not be started: %1").arg(QDir::toNativeSeparators(m_program)));
    else if (stopped)
        m_state->setText(tr("Stopped. Files that were not finished were not written."));
    updateButtons();
    emit finished();
}

void ConvertFilesDialog::showResults(QVector<BatchRecord> records)
{
    // Failures first, then the rest in the order they were given.
    std::stable_sort(records.begin(), records.end(), [](const BatchRecord& a, const BatchRecord& b) {
        return a.status == BatchRecord::Status::Failed && b.status != BatchRecord::Status::Failed;
    });
    m_records = records;
    m_results->setRowCount(records.size());
    int failed = 0;
    for (int row = 0; row < records.size(); ++row) {
        const BatchRecord& record = records.at(row);
        failed += record.status == BatchRecord::Status::Failed ? 1 : 0;
        const QStringList cells = {QDir::toNativeSeparators(record.input), BatchRecord::statusName(record.status),
                                   QString::number(record.warningCount()), tr("%1 s").arg(record.seconds, 0, 'f', 2)};
        for (int column = 0; column < ColumnCount; ++column)
            m_results->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    }
    m_state->setText(tr("%1 files, %2 failed. Double-click a file to see its log.").arg(records.size()).arg(failed));
}

void ConvertFilesDialog::showLogOfRow(int row)
{
    if (row < 0 || row >= m_records.size())
        return;
    const BatchRecord& record = m_records.at(row);
    QStringList lines;
    if (!record.reason.isEmpty())
        lines << record.reason;
    for (const EncoderOutputLog& log : record.records)
        lines << describeEncoderOutputLog(log);
    if (lines.isEmpty())
        lines << tr("The encoder reported nothing for this file.");
    QMessageBox box(QMessageBox::Information, tr("Velmora 3D Encoder"),
                    tr("%1: %2 (exit code %3)")
                        .arg(QDir::toNativeSeparators(record.input), BatchRecord::statusName(record.status))
                        .arg(record.exitCode),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("fileLogBox"));
    box.setDetailedText(lines.join(QLatin1Char('\n')));
    box.exec();
}

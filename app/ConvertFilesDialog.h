#pragma once

#include "BatchProgressFile.h"
#include "BatchRecord.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QVector>

class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QListWidget;
class QProcess;
class QProgressBar;
class QPushButton;
class QTableWidget;

// File > Convert Files...: many models into vm3 files at once. It runs the
// program's own batch conversion (--convert --output-dir) as a child process,
// so a model that crashes the encoder takes nothing else down and Cancel
// stops every conversion without leaving half-written files. A row appears
// as each file settles, failures first; double-clicking one shows its first
// error and its encoder log.
class ConvertFilesDialog : public QDialog {
    Q_OBJECT
public:
    // program: the executable that converts (this application).
    ConvertFilesDialog(const QString& program, QWidget* parent = nullptr);
    ~ConvertFilesDialog() override;

    void addInputs(const QStringList& paths);
    void setOutputFolder(const QString& folder);
    // Grouping and culling of the conversions (the Model menu's choice).
    void setOptions(const QString& grouping, const QString& culling);
    void start();
    void cancel();

signals:
    void finished();

private:
    void buildLayout();
    void addFilesClicked();
    void addFolderClicked();
    void chooseOutputClicked();
    void readProgress();
    void showProgress(int done, int total);
    void conversionEnded();
    void addResult(const BatchRecord& record);
    void addUnsettledResults(const QVector<BatchRecord>& report);
    void showLogOfRow(int row);
    void updateButtons();

    QString m_program;
    QString m_grouping = QStringLiteral("root");
    QString m_culling = QStringLiteral("off");
    QListWidget* m_inputs = nullptr;
    QLineEdit* m_output = nullptr;
    QPushButton* m_convertButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_state = nullptr;
    QTableWidget* m_results = nullptr;
    QProcess* m_process = nullptr;
    QTemporaryDir m_scratch;
    QFileSystemWatcher* m_progressWatcher = nullptr;
    BatchProgressFile m_progressFile;
    QElapsedTimer m_clock; // since the batch started
    int m_failed = 0;
    QVector<BatchRecord> m_records; // in the order of the table
};

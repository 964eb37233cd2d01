#pragma once

#include "BatchPlan.h"
#include "BatchRecord.h"
#include "BatchReport.h"
#include "CommandLineRequest.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QVector>

class QProcess;

// --convert --output-dir DIR INPUT...: runs one conversion per input, up to
// -j at once, each in a process of its own (this program again, so each has
// its own workspace and a crash takes only its own file down), and reports
// on standard error and in the --report file. SIGTERM and SIGINT stop every
// running conversion; each removes its workspace and leaves no output. The
// conversions die with the batch, even when it is killed.
class BatchConverter : public QObject {
    Q_OBJECT
public:
    explicit BatchConverter(const CommandLineRequest& request);
    ~BatchConverter() override;

    // The process exit code: 0 when every input converted or was up to date,
    // otherwise the highest code of those that failed.
    int run();

    // Called by each conversion: one that a batch started puts its output in
    // place only while that batch lives, so nothing changes after the
    // batch's caller saw it end.
    static void bindToStartingBatch();

private:
    struct Job {
        int index = 0;
        QProcess* process = nullptr;
        QElapsedTimer clock;
        QString reportPath;
        bool timedOut = false;
        QElapsedTimer sinceTerminate; // started once the job was asked to end
    };

    QString reportRefusal() const;
    void startJobs();
    bool settledWithoutConverting(int index);
    void checkThenStart(int index);
    void checkFinished(int index, bool upToDate);
    void startJob(int index);
    void jobFinished(Job* job);
    BatchRecord recordOf(Job* job) const;
    void settle(int index, const BatchRecord& record, const QString& detail);
    void pollStop();
    void stopOverdueJobs();
    void printOutcome(const BatchRecord& record, const QString& detail);
    void drawProgress();
    QStringList childArguments(const BatchPlan::Item& item, const QString& reportPath) const;
    QString closingLine() const;
    BatchReport::Scope scope() const;
    int finish();

    CommandLineRequest m_request;
    BatchPlan m_plan;
    QVector<BatchRecord> m_records;
    QVector<Job*> m_running;
    // Up-to-date checks read whole files and containers: they take a job's
    // place each, on threads of their own.
    QThreadPool m_checks;
    int m_checking = 0;
    QVector<int> m_startOrder; // indices into the plan
    int m_next = 0; // into m_startOrder
    int m_settled = 0;
    int m_failures = 0;
    int m_jobs = 1;
    bool m_stopping = false;
    QElapsedTimer m_clock;
    QTemporaryDir m_reports;
    QEventLoop m_loop;
    QTimer m_stopPoll;
};

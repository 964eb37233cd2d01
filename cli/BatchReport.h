#pragma once

#include "BatchRecord.h"

#include <QVector>

// The --report file: one JSON object per line, a record per input and then
// {"summary":{...}}. The summary names its shard and the whole run's inputs
// (their number and digest), so that the reports of all shards can be
// proven complete when they are merged (ReportMerge).
class BatchReport {
public:
    // Which run the records belong to.
    struct Scope {
        int shardIndex = 1; // K of K/N, from 1
        int shardCount = 1;
        int allInputs = 0; // of all shards
        QString inputsDigest; // BatchPlan::digestOf() the inputs of all shards
    };

    // How many records have each status, by int(BatchRecord::Status).
    static QVector<int> countsByStatus(const QVector<BatchRecord>& records);
    // The highest exit code among the inputs that failed; 0 when none did.
    static int exitCodeOf(const QVector<BatchRecord>& records);

    // exitCode is what the process ends with, for the summary: exitCodeOf()
    // unless a signal stopped it.
    static QByteArray text(const QVector<BatchRecord>& records, double seconds, int exitCode, const Scope& scope);
    // Replaces path whole or not at all; the system's reason on failure.
    static bool write(const QString& path, const QVector<BatchRecord>& records, double seconds, int exitCode,
                      const Scope& scope, QString* error);
    // Replaces path with these bytes whole or not at all.
    static bool writeBytes(const QString& path, const QByteArray& bytes, QString* error);
    // The first record of a report file (as one conversion writes it).
    static bool readFirstRecord(const QString& path, BatchRecord* record);
    // Every record of a report file, summaries left out.
    static QVector<BatchRecord> readRecords(const QString& path);
};

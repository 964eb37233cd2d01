#pragma once

#include "BatchRecord.h"

#include <QVector>

// The --report file: one JSON object per line, a record per input and then
// {"summary":{...}}. Reports of several shards merge by concatenation.
class BatchReport {
public:
    // The highest exit code among the inputs that failed; 0 when none did.
    static int exitCodeOf(const QVector<BatchRecord>& records);

    // exitCode is what the process ends with, for the summary: exitCodeOf()
    // unless a signal stopped it.
    static QByteArray text(const QVector<BatchRecord>& records, double seconds, int exitCode);
    // Replaces path whole or not at all; the system's reason on failure.
    static bool write(const QString& path, const QVector<BatchRecord>& records, double seconds, int exitCode,
                      QString* error);
    // The first record of a report file (as one conversion writes it).
    static bool readFirstRecord(const QString& path, BatchRecord* record);
    // Every record of a report file, summaries left out.
    static QVector<BatchRecord> readRecords(const QString& path);
};

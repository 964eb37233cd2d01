#pragma once

#include "BatchRecord.h"

#include <QString>
#include <QVector>

// How a window follows a running --convert batch: the batch appends to the
// file named by the environment variable one JSON line as it starts and one
// for every input as soon as that input has settled (the record as the
// report writes it, with "done" and "total"). The report itself is written
// whole at the end; this file is only ever appended to, so a reader that
// takes complete lines never sees half a record.
class BatchProgressFile {
public:
    struct Line {
        int done = 0;
        int total = 0;
        bool hasRecord = false; // false on the line written at the start
        BatchRecord record;
    };

    static const char* environmentVariable();

    // Batch side: appends when the variable names a file, else does nothing.
    static void append(int done, int total, const BatchRecord* record);

    // Reader side.
    explicit BatchProgressFile(const QString& path);
    // The complete lines written since the last call.
    QVector<Line> readNewLines();

private:
    QString m_path;
    qint64 m_offset = 0;
};

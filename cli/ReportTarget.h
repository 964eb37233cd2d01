#pragma once

#include <QString>
#include <QStringList>

class QIODevice;

// Where --report may write: a path that is no input and no output of the same
// run (compared with links resolved, and as the same file on disk), where
// there is nothing yet, an empty file (as mktemp leaves it) or a report this
// program wrote. Judged before anything is converted, so that a slip on the
// command line cannot replace a model or a container with JSON.
class ReportTarget {
public:
    // Why reportPath must not take the report; empty when it may.
    static QString refusalOf(const QString& reportPath, const QStringList& inputs, const QStringList& outputs);

    // Creates the report's folder where it is missing, as an output folder
    // is created; false with the message to print when it cannot be.
    static bool createFolder(const QString& reportPath, QString* error);

    // Whether the bytes are a report as BatchReport writes them: JSON
    // objects, one a line, each a record or a summary, the last a summary
    // (reports of several shards, concatenated, hold several).
    static bool isReport(QIODevice& device);

private:
    static QString contentRefusal(const QString& reportPath);
    static bool isSameFile(const QString& reportPath, const QString& other);
};

#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

// --merge-reports MERGED REPORT...: the reports of the shards of one run
// become one report with one summary, and the merge proves that nothing is
// missing: every shard 1..N once, all of one run (the same number and digest
// of inputs), each with as many records as its summary counts and all of
// them together as many as the run had inputs. The records keep the run's
// order (shard K holds inputs K, K+N, K+2N...).
class ReportMerge {
public:
    struct Result {
        QByteArray text; // the merged report
        QStringList problems; // what is missing or inconsistent; empty when complete
        int exitCode = 0; // the highest exit code of the shards
    };

    // Each path holds one report (or several concatenated).
    static Result merge(const QStringList& reportPaths);

private:
    struct Part {
        QString path;
        QVector<QJsonObject> records;
        QJsonObject summary;
        int shardIndex = 0;
        int shardCount = 0;
    };
    static QVector<Part> readParts(const QString& path, QStringList* problems);
    static void checkScope(const QVector<Part>& parts, QStringList* problems);
    static QVector<const Part*> partsByShard(const QVector<Part>& parts, QStringList* problems);
    static QByteArray mergedText(const QVector<const Part*>& shards, const QJsonObject& first, int exitCode);
};

#pragma once

#include "EncoderOutputLog.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The outcome of one input of --convert, as one line of the JSON report.
struct BatchRecord {
    enum class Status { Converted, Skipped, Failed, Stopped };

    QString input;
    QString output;
    Status status = Status::Failed;
    int exitCode = 0; // a CommandLineConverter::ExitCode
    double seconds = 0;
    EncoderOutputLogs records; // the encoder's warnings and errors
    QString reason; // why a failed input failed: see failureReason
    bool hasCounts = false; // the model was read after converting
    unsigned nodes = 0, meshes = 0, vertices = 0, triangles = 0;

    QJsonObject toJson() const;
    static BatchRecord fromJson(const QJsonObject& object);
    int warningCount() const;
    // "1 warning", "2 warnings", "0 warnings".
    QString warningCountText() const;
    // The first error record's title and message; without one, what the
    // conversion said last on its console (lastConsoleLine).
    QString failureReason(const QString& lastConsoleLine) const;
    static QString statusName(Status status); // "converted", "skipped", "failed", "stopped"
};

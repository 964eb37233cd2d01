#pragma once

#include <QMetaType>
#include <QString>
#include <QVector>

// The kinds of log record. LoggingManager inherits these, so the rest of the
// application spells them LoggingManager::Error and LoggingManager::Warning;
// they live here because the record type needs them before LoggingManager can
// be declared.
struct LoggingPriorities {
    enum LoggingPriority : qint32 { Error = 0, Warning = 1 };
};

// One warning or error of the model encoder (or of the viewer's own checks).
struct EncoderOutputLog {
    LoggingPriorities::LoggingPriority priority = LoggingPriorities::Error;
    qint32 code = -1;
    QString title;
    QString message;
};

using EncoderOutputLogs = QVector<EncoderOutputLog>;

Q_DECLARE_METATYPE(EncoderOutputLog)
Q_DECLARE_METATYPE(EncoderOutputLogs)

// One line for a console or the clipboard: kind, code, title and message.
QString describeEncoderOutputLog(const EncoderOutputLog& log);

// Registers the record types under the names that queued signals use.
void registerEncoderOutputLogTypes();

#include "EncoderOutputLog.h"

void registerEncoderOutputLogTypes()
{
    qRegisterMetaType<EncoderOutputLog>("EncoderOutputLog");
    qRegisterMetaType<EncoderOutputLogs>("EncoderOutputLogs");
}

QString describeEncoderOutputLog(const EncoderOutputLog& log)
{
    const QString kind = log.priority == LoggingPriorities::Error ? QStringLiteral("error") : QStringLiteral("warning");
    QString message = log.message;
    message.replace(QLatin1Char('\n'), QStringLiteral(" / "));
    return QStringLiteral("%1 GP#%2 [%3] %4").arg(kind).arg(log.code).arg(log.title.trimmed(), message);
}

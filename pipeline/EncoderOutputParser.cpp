#include "EncoderOutputParser.h"

#include <QFile>
#include <QRegularExpression>

namespace {

const QString kWarningPrefix = QStringLiteral("Warning (GP#");
const QString kErrorPrefix = QStringLiteral("Error (GP#");

int codeOf(const QString& line)
{
    const int hash = line.indexOf(QLatin1Char('#'));
    if (hash < 0)
        return -1;
    int end = hash + 1;
    while (end < line.size() && line.at(end) >= QLatin1Char('0') && line.at(end) <= QLatin1Char('9'))
        ++end;
    bool ok = false;
    const int code = line.mid(hash + 1, end - hash - 1).toInt(&ok, 10);
    return ok ? code : -1;
}

// The paths that the lines matching line name in hex (its first capture).
QStringList pathsOf(const QString& consoleText, const QRegularExpression& line)
{
    QStringList paths;
    QRegularExpressionMatchIterator it = line.globalMatch(consoleText);
    while (it.hasNext())
        paths << QFile::decodeName(QByteArray::fromHex(it.next().captured(1).toLatin1()));
    return paths;
}

} // namespace

EncoderOutputLog EncoderOutputParser::recordFromLine(const QString& line, const QString& prefix)
{
    EncoderOutputLog record;
    if (line.isEmpty() || prefix.isEmpty() || !line.startsWith(prefix) || line.size() <= prefix.size() + 4)
        return record;

    record.code = codeOf(line);

    // A title is "|title)" when the line has one; otherwise the long text
    // after ")" stands in for it.
    const int paren = line.indexOf(QLatin1Char(')'));
    const int bar = line.indexOf(QLatin1Char('|'));
    if (paren >= 0 && bar >= 0 && bar <= paren)
        record.title = line.mid(bar + 1, paren - bar - 1);
    else
        record.title = line.mid(paren + 2);

    // The message starts after ")" and its two separator characters (": ").
    if (line.size() > paren + 3) {
        record.message = line.mid(paren + 3);
        record.message.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    }
    return record;
}

EncoderOutputLogs EncoderOutputParser::parse(const QString& consoleText)
{
    static const QRegularExpression kLineEnd(QStringLiteral("\\r?\\n"));
    EncoderOutputLogs records;
    const QStringList lines = consoleText.split(kLineEnd);
    for (const QString& line : lines) {
        if (line.startsWith(kWarningPrefix)) {
            EncoderOutputLog record = recordFromLine(line, kWarningPrefix);
            record.priority = LoggingPriorities::Warning;
            records.append(record);
        } else if (line.startsWith(kErrorPrefix)) {
            EncoderOutputLog record = recordFromLine(line, kErrorPrefix);
            record.priority = LoggingPriorities::Error;
            records.append(record);
        }
    }
    return records;
}

QStringList EncoderOutputParser::filesRead(const QString& consoleText)
{
    static const QRegularExpression kReadLine(QStringLiteral("^Read file: ([0-9a-f]+)\\r?$"),
                                              QRegularExpression::MultilineOption);
    return pathsOf(consoleText, kReadLine);
}

QStringList EncoderOutputParser::filesMissing(const QString& consoleText)
{
    static const QRegularExpression kMissingLine(QStringLiteral("^Missing file: ([0-9a-f]+)\\r?$"),
                                                 QRegularExpression::MultilineOption);
    return pathsOf(consoleText, kMissingLine);
}

EncoderOutputLogs EncoderOutputParser::parse(const QString& first, const QString& second)
{
    return parse(first) + parse(second);
}

#include "EncoderOutputParser.h"

#include "EncoderLine.h"

#include <QFile>
#include <QRegularExpression>

namespace {

std::string bytesOf(const QString& line) { return line.toUtf8().toStdString(); }

QString textOf(const std::string& bytes) { return QString::fromUtf8(bytes.data(), int(bytes.size())); }

QString pathOf(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }

QStringList linesOf(const QString& consoleText)
{
    static const QRegularExpression kLineEnd(QStringLiteral("\\r?\\n"));
    return consoleText.split(kLineEnd);
}

} // namespace

EncoderOutputLog EncoderOutputParser::recordFromLine(const QString& line)
{
    EncoderLine::Record read;
    EncoderOutputLog record;
    if (!EncoderLine::readRecord(bytesOf(line), read))
        return record;
    record.priority
        = read.severity == EncoderLine::Severity::Error ? LoggingPriorities::Error : LoggingPriorities::Warning;
    record.code = read.code;
    record.title = textOf(read.title);
    record.message = textOf(read.text);
    return record;
}

EncoderOutputLogs EncoderOutputParser::parse(const QString& consoleText)
{
    EncoderOutputLogs records;
    for (const QString& line : linesOf(consoleText)) {
        if (line.startsWith(QLatin1String("Warning (GP#")) || line.startsWith(QLatin1String("Error (GP#")))
            records.append(recordFromLine(line));
    }
    return records;
}

QMap<QString, QByteArray> EncoderOutputParser::filesRead(const QString& consoleText)
{
    QMap<QString, QByteArray> files;
    std::string md5Hex, path;
    for (const QString& line : linesOf(consoleText)) {
        if (EncoderLine::readReadFile(bytesOf(line), md5Hex, path))
            files.insert(pathOf(path), QByteArray::fromStdString(md5Hex).toLower());
    }
    return files;
}

QStringList EncoderOutputParser::filesMissing(const QString& consoleText)
{
    QStringList paths;
    std::string path;
    for (const QString& line : linesOf(consoleText)) {
        if (EncoderLine::readMissingFile(bytesOf(line), path))
            paths << pathOf(path);
    }
    return paths;
}

EncoderOutputLogs EncoderOutputParser::parse(const QString& first, const QString& second)
{
    return parse(first) + parse(second);
}

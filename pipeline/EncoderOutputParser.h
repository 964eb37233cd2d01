#pragma once

#include "EncoderOutputLog.h"

#include <QByteArray>
#include <QMap>
#include <QStringList>

// Turns the model encoder's console text into log records. Only lines that
// start with "Warning (GP#" or "Error (GP#" become records; everything else the
// encoder prints is ignored.
class EncoderOutputParser {
public:
    // The records of one text, in the order printed.
    static EncoderOutputLogs parse(const QString& consoleText);
    // The records of both texts, those of the first before those of the second.
    static EncoderOutputLogs parse(const QString& first, const QString& second);

    // The files the encoder read, from its "Read file:" lines: absolute path
    // -> MD5 of the content it read (32 lower-case hex digits).
    static QMap<QString, QByteArray> filesRead(const QString& consoleText);
    // The files a model names that were not there ("Missing file:" lines).
    static QStringList filesMissing(const QString& consoleText);

    // A "Warning (GP#" or "Error (GP#" line as a record; any other line gives an empty error record.
    static EncoderOutputLog recordFromLine(const QString& line);
};

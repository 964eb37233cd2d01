#pragma once

#include "EncoderOutputLog.h"

#include <QObject>

// Turns the model encoder's console text into log records. Only lines that
// start with "Warning (GP#" or "Error (GP#" become records; everything else the
// encoder prints is ignored.
class EncoderOutputParser : public QObject {
    Q_OBJECT
public:
    explicit EncoderOutputParser(QObject* parent = nullptr);

    void clearLogs();
    void parseOutput(const QString& consoleText);
    void finishParsing();
    // Parses both texts in the given order, then emits the records.
    void parseOutputs(const QString& first, const QString& second);

    // Stays valid (and unchanged) until the next clearLogs or parse.
    const EncoderOutputLogs& logs() const { return m_logs; }

    static EncoderOutputLog recordFromLine(const QString& line, const QString& prefix);
    // One line for a console or a dialog: kind, code, title, message.
    static QString describe(const EncoderOutputLog& log);

signals:
    void outputParserDidGenerateOutputMessages(const EncoderOutputLogs& outputMessages);

private:
    EncoderOutputLogs m_logs;
};

#pragma once

#include <QByteArray>
#include <QString>

// The pipeline's one way to the console. Each line is flushed at once, so
// that it keeps its place among the lines of the encoder and of the caller.
class ConsoleOutput {
public:
    static void printLine(const QString& text); // standard output
    static void printError(const QString& text); // standard error
    // Bytes as they are, no line end added, to standard output.
    static void printText(const QByteArray& bytes);
};

#pragma once

#include <QString>

// The pipeline's one way to the console. Each line is flushed at once, so
// that it keeps its place among the lines of the encoder and of the caller.
class ConsoleOutput {
public:
    static void printLine(const QString& text); // standard output
    static void printError(const QString& text); // standard error
};

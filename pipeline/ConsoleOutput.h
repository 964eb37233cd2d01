#pragma once

#include <QByteArray>
#include <QString>

// The pipeline's one way to the console. Each line is flushed at once, so
// that it keeps its place among the lines of the encoder and of the caller.
class ConsoleOutput {
public:
    static void printLine(const QString& text); // standard output, unless muted
    static void printError(const QString& text); // standard error
    static void printWarning(const QString& text); // standard error, unless warnings are muted
    // Bytes as they are, no line end added, to standard output.
    static void printText(const QByteArray& bytes);

    // The zip reader and writer narrate their work on standard output, which
    // the window never shows; the console modes mute it so that a script sees
    // nothing there on success, and --verbose lets it through.
    static void setStandardOutputMuted(bool muted);
    // --quiet: only failures are printed.
    static void setWarningsMuted(bool muted);
};

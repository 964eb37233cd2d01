#pragma once

#include <QByteArray>
#include <QString>

// The application's one way to the console. What a line is decides the
// stream it goes to and the switch that silences it, here and nowhere else.
// Each line is written whole and flushed at once, so that it keeps its place
// among the lines of the encoder, of other threads and of the caller.
class ConsoleOutput {
public:
    enum class Kind {
        // Standard output: what the work does step by step (the zip reader
        // and writer, a batch's conversions). The window never shows it; the
        // console modes let it through only with --verbose.
        Narration,
        // Standard output, always: what was asked for (--info's summary,
        // --help, --version, the mark of the first drawn picture).
        Answer,
        // Standard error, unless --quiet: warnings, a batch's line per file.
        Notice,
        // Standard error, always: why something failed.
        Failure,
    };

    static void print(Kind kind, const QString& line); // adds the line end
    static void printBytes(Kind kind, const QByteArray& bytes); // as they are

    // A line on a terminal that each draw replaces (a batch's progress).
    // Drawn only when standard error is a terminal and --quiet is off; the
    // next line of standard error takes its place.
    static bool showsStatusLine();
    static void drawStatusLine(const QString& text);
    static void endStatusLine(); // leaves the drawn line standing

    static void setNarrationShown(bool shown); // --verbose
    static void setQuiet(bool quiet); // --quiet: only failures and answers
};

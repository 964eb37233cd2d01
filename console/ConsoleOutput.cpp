#include "ConsoleOutput.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include <unistd.h>

namespace {

std::atomic<bool> s_narrationShown {true};
std::atomic<bool> s_quiet {false};

// Guards the streams and whether a status line waits to be replaced.
std::mutex s_mutex;
bool s_statusLineDrawn = false;

const char* const kClearLine = "\r\033[K";

std::FILE* streamOf(ConsoleOutput::Kind kind)
{
    switch (kind) {
    case ConsoleOutput::Kind::Narration:
    case ConsoleOutput::Kind::Answer:
        return stdout;
    case ConsoleOutput::Kind::Notice:
    case ConsoleOutput::Kind::Failure:
        break;
    }
    return stderr;
}

bool isSilenced(ConsoleOutput::Kind kind)
{
    switch (kind) {
    case ConsoleOutput::Kind::Narration:
        return !s_narrationShown.load();
    case ConsoleOutput::Kind::Notice:
        return s_quiet.load();
    case ConsoleOutput::Kind::Answer:
    case ConsoleOutput::Kind::Failure:
        break;
    }
    return false;
}

// Call with s_mutex held.
void write(std::FILE* stream, const QByteArray& bytes)
{
    if (stream == stderr && s_statusLineDrawn) {
        std::fputs(kClearLine, stderr);
        s_statusLineDrawn = false;
    }
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void ConsoleOutput::print(Kind kind, const QString& line) { printBytes(kind, line.toLocal8Bit() + '\n'); }

void ConsoleOutput::printBytes(Kind kind, const QByteArray& bytes)
{
    if (isSilenced(kind))
        return;
    const std::lock_guard<std::mutex> lock(s_mutex);
    write(streamOf(kind), bytes);
}

bool ConsoleOutput::showsStatusLine() { return !s_quiet.load() && ::isatty(STDERR_FILENO) == 1; }

void ConsoleOutput::drawStatusLine(const QString& text)
{
    if (!showsStatusLine())
        return;
    const std::lock_guard<std::mutex> lock(s_mutex);
    s_statusLineDrawn = false; // cleared by the draw itself
    write(stderr, kClearLine + text.toLocal8Bit());
    s_statusLineDrawn = true;
}

void ConsoleOutput::endStatusLine()
{
    const std::lock_guard<std::mutex> lock(s_mutex);
    if (!s_statusLineDrawn)
        return;
    s_statusLineDrawn = false;
    write(stderr, "\n");
}

void ConsoleOutput::setNarrationShown(bool shown) { s_narrationShown.store(shown); }

void ConsoleOutput::setQuiet(bool quiet) { s_quiet.store(quiet); }

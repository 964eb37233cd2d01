#include "ConsoleOutput.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> s_standardOutputMuted {false};
std::atomic<bool> s_warningsMuted {false};

void writeLine(std::FILE* stream, const QString& text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

} // namespace

void ConsoleOutput::printLine(const QString& text)
{
    if (!s_standardOutputMuted.load())
        writeLine(stdout, text);
}

void ConsoleOutput::printError(const QString& text) { writeLine(stderr, text); }

void ConsoleOutput::printWarning(const QString& text)
{
    if (!s_warningsMuted.load())
        writeLine(stderr, text);
}

void ConsoleOutput::printText(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void ConsoleOutput::setStandardOutputMuted(bool muted) { s_standardOutputMuted.store(muted); }

void ConsoleOutput::setWarningsMuted(bool muted) { s_warningsMuted.store(muted); }

#include "ConsoleOutput.h"

#include <cstdio>

namespace {

void writeLine(std::FILE* stream, const QString& text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

} // namespace

void ConsoleOutput::printLine(const QString& text) { writeLine(stdout, text); }

void ConsoleOutput::printError(const QString& text) { writeLine(stderr, text); }

void ConsoleOutput::printText(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// model-encoder: converts a 3D model into the engine's bundle. See --help.

#include "CommandLine.h"
#include "Encoder.h"
#include "MessageCodes.h"
#include "Messages.h"
#include "RegularFileSystem.h"
#include "ResourceGuard.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {
const unsigned kRepeatsShown = 20;
}

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    EncoderOptions options;
    std::string problem;
    Messages messages;
    switch (CommandLine::parse(arguments, options, problem)) {
    case CommandLine::Outcome::Help:
        std::fputs(CommandLine::helpText().c_str(), stdout);
        return ExitConverted;
    case CommandLine::Outcome::Invalid:
        messages.error(MessageCode::InvalidCommandLine, "Invalid command line",
                       problem + " Run \"model-encoder --help\" for the accepted arguments.");
        messages.print(stdout, stderr);
        return ExitInvalidCommandLine;
    case CommandLine::Outcome::PrintMessages:
        if (!messages.readList(options.inputPath)) {
            std::fprintf(stderr, "Cannot read the message list %s\n", options.inputPath.c_str());
            return ExitFailed;
        }
        messages.print(stdout, stderr);
        return ExitConverted;
    case CommandLine::Outcome::Run:
        break;
    }

    ResourceGuard::install(options.inputPath);
    const int exitCode = Encoder(options, messages).run();
    if (exitCode == ExitConverted)
        RegularFileSystem::printFilesUsed(stdout);
    Encoder::limitRepeats(messages, kRepeatsShown).print(stdout, stderr);
    return exitCode;
}

// Stands in for the application's main() in the command-line tests: console
// mode goes to the converter, anything else would open
// the window.
#include "CommandLineConverter.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (!CommandLineConverter::wantsConsoleMode(argc, argv)) {
        std::fprintf(stdout, "window mode\n");
        return 42;
    }
    return CommandLineConverter::run(argc, argv);
}

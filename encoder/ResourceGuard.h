#pragma once

#include <string>

// Limits what one conversion may take, so that a hostile or broken file ends
// in an error line instead of eating the machine's memory, running forever,
// or dying silently: address space in proportion to the input's size, a CPU
// time budget, and handlers that turn fatal signals into an "Error (GP#...)"
// line and exit code 1. Left out in sanitizer builds, which need the address
// space and report crashes themselves.
class ResourceGuard {
public:
    static void install(const std::string& inputPath);

    static constexpr unsigned kCpuSeconds = 600;
};

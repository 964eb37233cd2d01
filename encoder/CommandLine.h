#pragma once

#include "EncoderOptions.h"

#include <string>
#include <vector>

// The argument list the application passes:
//   -group:none|root|take -cull:off|ccw|cw|material -m -v N -options INPUT OUTPUT
// Every option may be left out; INPUT and OUTPUT may not.
// "--print-messages LIST" prints the messages of LIST instead (inputPath names it).
class CommandLine {
public:
    enum class Outcome { Run, Help, Invalid, PrintMessages };

    static Outcome parse(const std::vector<std::string>& arguments, EncoderOptions& options, std::string& problem);
    static std::string helpText();
};

#pragma once

#include "EncoderOptions.h"
#include "Messages.h"

// One conversion: checks the input, imports it with Assimp, writes the
// bundle, then the material file and textures. Every problem ends up in
// `messages`; the result is the process exit code (0 converted, 1 failed).
class Encoder {
public:
    Encoder(const EncoderOptions& options, Messages& messages);
    int run();

private:
    EncoderOptions m_options;
    Messages& m_messages;
};

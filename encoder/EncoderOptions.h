#pragma once

#include <string>

// The process exit code: converted, refused (the messages say why), or a
// command line that could not be understood.
enum EncoderExitCode : int { ExitConverted = 0, ExitFailed = 1, ExitInvalidCommandLine = 2 };

// What the command line asks of one conversion.
enum class AnimationGrouping { None, Root, Take };
enum class BackfaceCulling { Off, Ccw, Cw, Material };

struct EncoderOptions {
    AnimationGrouping grouping = AnimationGrouping::Root;
    BackfaceCulling culling = BackfaceCulling::Off;
    int verbosity = 0; // "-v N"
    std::string inputPath;
    std::string outputPath; // the bundle; its folder is the model folder
};

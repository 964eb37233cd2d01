#pragma once

#include <string>

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

#pragma once

#include <assimp/DefaultIOSystem.h>

#include <cstdio>
#include <string>
#include <vector>

// The importer's way to the files a model reads (the model itself and the
// material libraries, buffers and textures it names): only regular files
// are opened, judged on the opened descriptor. A model that names a FIFO or
// a device (`mtllib pipe.mtl` in an OBJ file) would otherwise stop the
// conversion for good, waiting at no CPU cost for a writer that never comes.
class RegularFileSystem : public Assimp::DefaultIOSystem {
public:
    Assimp::IOStream* Open(const char* path, const char* mode = "rb") override;
    // By the name alone: the default opens the file to find out, which for a FIFO never returns.
    bool Exists(const char* path) const override;

    // The names refused so far, in order, each once.
    const std::vector<std::string>& refusedPaths() const { return m_refused; }

    // fopen(path, "rb") for regular files only; nullptr for anything else
    // or when it cannot be opened.
    static std::FILE* openForReading(const std::string& path);
    // Notes a file the model names that is not there: one saved there later
    // makes the conversion out of date.
    static void noteMissing(const std::string& path);
    // What the conversion depends on, for the application to record: one
    // "Read file:" line (the MD5 of the content and the path) for every file
    // openForReading opened so far, then a "Missing file:" line for every one
    // noted missing (absolute, each once, in order), as EncoderLine writes them.
    static void printFilesUsed(std::FILE* stream);
    // Whether openForReading would refuse an existing path as not regular.
    static bool isPresentButIrregular(const std::string& path);

private:
    std::vector<std::string> m_refused;
};

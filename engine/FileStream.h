#pragma once

#include "Stream.h"

#include <cstdio>

namespace engine {

// Stream over a buffered C file handle.
class FileStream : public Stream {
public:
    // Opens 'path' as it stands with an fopen mode ("rb", "wb", ...). Only
    // regular files are opened: directories and devices give null.
    static FileStream* create(const char* path, const char* mode);
    ~FileStream() override;

    bool canRead() override;
    bool canWrite() override;
    bool canSeek() override;
    void close() override;
    size_t read(void* buffer, size_t elementSize, size_t count) override;
    char* readLine(char* buffer, int capacity) override;
    size_t write(const void* buffer, size_t elementSize, size_t count) override;
    bool eof() override;
    size_t length() override;
    long position() override;
    bool seek(long offset, int origin) override;
    bool rewind() override;

private:
    FileStream(std::FILE* file, bool readable, bool writable);
    static FileStream* openForReading(const char* path);

    std::FILE* m_file;
    bool m_canRead;
    bool m_canWrite;
};

} // namespace engine

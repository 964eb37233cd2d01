#pragma once

#include <cstddef>

namespace engine {

// Sequential byte stream. Owned by whoever opened it; destroying it closes it.
class Stream {
public:
    virtual ~Stream() = default;

    virtual bool canRead() = 0;
    virtual bool canWrite() = 0;
    virtual bool canSeek() = 0;
    virtual void close() = 0;
    // Returns the number of whole elements read.
    virtual size_t read(void* buffer, size_t elementSize, size_t count) = 0;
    // Reads up to capacity - 1 bytes or through the next line break and adds
    // a terminating zero; returns null at the end of the stream.
    virtual char* readLine(char* buffer, int capacity) = 0;
    // Returns the number of whole elements written.
    virtual size_t write(const void* buffer, size_t elementSize, size_t count) = 0;
    virtual bool eof() = 0;
    virtual size_t length() = 0;
    // Bytes from the start, -1 when closed.
    virtual long position() = 0;
    // origin: 0 from the start, 1 from the current position, 2 from the end.
    virtual bool seek(long offset, int origin) = 0;
    virtual bool rewind() = 0;

protected:
    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
};

} // namespace engine

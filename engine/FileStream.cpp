#include "FileStream.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {

FileStream::FileStream(std::FILE* file, bool readable, bool writable)
    : m_file(file)
    , m_canRead(readable)
    , m_canWrite(writable)
{
}

// Judged on the descriptor, opened without waiting: a name that turns into a
// FIFO after any earlier look is refused rather than waited on.
FileStream* FileStream::openForReading(const char* path)
{
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    struct stat info;
    const int flags = fcntl(fd, F_GETFL);
    std::FILE* file = nullptr;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        file = fdopen(fd, "rb");
    if (!file) {
        ::close(fd);
        return nullptr;
    }
    return new FileStream(file, true, false);
}

FileStream* FileStream::create(const char* path, const char* mode)
{
    if (!path || !*path || !mode || !*mode)
        return nullptr;
    const bool plus = std::strchr(mode, '+') != nullptr;
    if (mode[0] == 'r' && !plus)
        return openForReading(path);
    // Opening a FIFO waits for its other end, and a device may never answer:
    // what is there already must be a plain file before it is opened.
    struct stat info;
    if (stat(path, &info) == 0 && !S_ISREG(info.st_mode))
        return nullptr;
    std::FILE* file = std::fopen(path, mode);
    if (!file)
        return nullptr;
    // fopen happily opens a directory for reading on Linux; its length is
    // then meaningless and reads fail. Checked again on what was opened, in
    // case the name changed hands in between.
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    const bool readable = mode[0] == 'r' || plus;
    const bool writable = mode[0] == 'w' || mode[0] == 'a' || plus;
    return new FileStream(file, readable, writable);
}

FileStream::~FileStream() { close(); }

bool FileStream::canRead() { return m_file && m_canRead; }

bool FileStream::canWrite() { return m_file && m_canWrite; }

bool FileStream::canSeek() { return m_file != nullptr; }

void FileStream::close()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

size_t FileStream::read(void* buffer, size_t elementSize, size_t count)
{
    if (!canRead() || !buffer || elementSize == 0)
        return 0;
    return std::fread(buffer, elementSize, count, m_file);
}

char* FileStream::readLine(char* buffer, int capacity)
{
    if (!canRead() || !buffer || capacity <= 0)
        return nullptr;
    return std::fgets(buffer, capacity, m_file);
}

size_t FileStream::write(const void* buffer, size_t elementSize, size_t count)
{
    if (!canWrite() || !buffer || elementSize == 0)
        return 0;
    return std::fwrite(buffer, elementSize, count, m_file);
}

bool FileStream::eof() { return !m_file || std::feof(m_file) != 0 || position() >= static_cast<long>(length()); }

size_t FileStream::length()
{
    if (!m_file)
        return 0;
    std::fflush(m_file);
    struct stat info;
    if (fstat(fileno(m_file), &info) != 0 || info.st_size < 0)
        return 0;
    return static_cast<size_t>(info.st_size);
}

long FileStream::position()
{
    if (!m_file)
        return -1;
    return std::ftell(m_file);
}

bool FileStream::seek(long offset, int origin)
{
    if (!m_file)
        return false;
    int whence;
    switch (origin) {
    case 0:
        whence = SEEK_SET;
        break;
    case 1:
        whence = SEEK_CUR;
        break;
    case 2:
        whence = SEEK_END;
        break;
    default:
        return false;
    }
    return std::fseek(m_file, offset, whence) == 0;
}

bool FileStream::rewind()
{
    if (!m_file)
        return false;
    std::rewind(m_file);
    return true;
}

} // namespace engine

#include "engine/FileStream.h"

#include <cstring>
#include <sys/stat.h>

namespace engine {

FileStream::FileStream(std::FILE* file, bool readable, bool writable)
    : _file(file)
    , _canRead(readable)
    , _canWrite(writable)
{
}

FileStream* FileStream::create(const char* path, const char* mode)
{
    if (!path || !*path || !mode || !*mode)
        return nullptr;
    std::FILE* file = std::fopen(path, mode);
    if (!file)
        return nullptr;
    // fopen happily opens a directory for reading on Linux; its length is
    // then meaningless and reads fail, so refuse anything but a plain file.
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    const bool plus = std::strchr(mode, '+') != nullptr;
    const bool readable = mode[0] == 'r' || plus;
    const bool writable = mode[0] == 'w' || mode[0] == 'a' || plus;
    return new FileStream(file, readable, writable);
}

FileStream::~FileStream()
{
    close();
}

bool FileStream::canRead()
{
    return _file && _canRead;
}

bool FileStream::canWrite()
{
    return _file && _canWrite;
}

bool FileStream::canSeek()
{
    return _file != nullptr;
}

void FileStream::close()
{
    if (_file) {
        std::fclose(_file);
        _file = nullptr;
    }
}

size_t FileStream::read(void* buffer, size_t elementSize, size_t count)
{
    if (!canRead() || !buffer || elementSize == 0)
        return 0;
    return std::fread(buffer, elementSize, count, _file);
}

char* FileStream::readLine(char* buffer, int capacity)
{
    if (!canRead() || !buffer || capacity <= 0)
        return nullptr;
    return std::fgets(buffer, capacity, _file);
}

size_t FileStream::write(const void* buffer, size_t elementSize, size_t count)
{
    if (!canWrite() || !buffer || elementSize == 0)
        return 0;
    return std::fwrite(buffer, elementSize, count, _file);
}

bool FileStream::eof()
{
    return !_file || std::feof(_file) != 0 || position() >= static_cast<long>(length());
}

size_t FileStream::length()
{
    if (!_file)
        return 0;
    std::fflush(_file);
    struct stat info;
    if (fstat(fileno(_file), &info) != 0 || info.st_size < 0)
        return 0;
    return static_cast<size_t>(info.st_size);
}

long FileStream::position()
{
    if (!_file)
        return -1;
    return std::ftell(_file);
}

bool FileStream::seek(long offset, int origin)
{
    if (!_file)
        return false;
    int whence;
    switch (origin) {
    case 0: whence = SEEK_SET; break;
    case 1: whence = SEEK_CUR; break;
    case 2: whence = SEEK_END; break;
    default: return false;
    }
    return std::fseek(_file, offset, whence) == 0;
}

bool FileStream::rewind()
{
    if (!_file)
        return false;
    std::rewind(_file);
    return true;
}

} // namespace engine

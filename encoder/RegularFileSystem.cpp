#include "RegularFileSystem.h"

#include <assimp/DefaultIOStream.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// DefaultIOStream takes an open FILE* only from its friends and heirs.
class OpenedStream : public Assimp::DefaultIOStream {
public:
    OpenedStream(std::FILE* file, const std::string& name)
        : DefaultIOStream(file, name)
    {
    }
};

std::vector<std::string>& opened()
{
    static std::vector<std::string> paths;
    return paths;
}

std::vector<std::string>& missing()
{
    static std::vector<std::string> paths;
    return paths;
}

void recordOnce(std::vector<std::string>& paths, const std::string& path)
{
    std::error_code error;
    const std::string absolute = std::filesystem::absolute(path, error).lexically_normal().string();
    if (!error && std::find(paths.begin(), paths.end(), absolute) == paths.end())
        paths.push_back(absolute);
}

void printPaths(std::FILE* stream, const char* label, const std::vector<std::string>& paths)
{
    for (const std::string& path : paths) {
        std::fputs(label, stream);
        for (const unsigned char byte : path)
            std::fprintf(stream, "%02x", byte);
        std::fputc('\n', stream);
    }
}

bool isReadOnlyMode(const char* mode) { return mode && mode[0] == 'r' && !std::strchr(mode, '+'); }

} // namespace

std::FILE* RegularFileSystem::openForReading(const std::string& path)
{
    // Opened without waiting: the open of a FIFO otherwise blocks until a
    // writer appears. Reads block again once the file is known to be plain.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    struct stat info;
    const int flags = ::fcntl(fd, F_GETFL);
    std::FILE* file = nullptr;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flags >= 0
        && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    else
        recordOnce(opened(), path);
    return file;
}

void RegularFileSystem::noteMissing(const std::string& path) { recordOnce(missing(), path); }

void RegularFileSystem::printFilesUsed(std::FILE* stream)
{
    printPaths(stream, "Read file: ", opened());
    printPaths(stream, "Missing file: ", missing());
}

bool RegularFileSystem::Exists(const char* path) const
{
    struct stat info;
    if (!path || !*path)
        return false;
    if (::stat(path, &info) == 0)
        return true;
    noteMissing(path);
    return false;
}

bool RegularFileSystem::isPresentButIrregular(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

Assimp::IOStream* RegularFileSystem::Open(const char* path, const char* mode)
{
    if (!path || !*path)
        return nullptr;
    if (!isReadOnlyMode(mode))
        return DefaultIOSystem::Open(path, mode);
    if (std::FILE* file = openForReading(path))
        return new OpenedStream(file, path);
    if (!Exists(path))
        return nullptr;
    if (isPresentButIrregular(path) && std::find(m_refused.begin(), m_refused.end(), path) == m_refused.end())
        m_refused.push_back(path);
    return nullptr;
}

#include "RegularFileSystem.h"

#include "ContentDigest.h"
#include "EncoderLine.h"

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

// Absolute path -> MD5 of its content, in the order first opened.
std::vector<std::pair<std::string, std::string>>& opened()
{
    static std::vector<std::pair<std::string, std::string>> files;
    return files;
}

std::vector<std::string>& missing()
{
    static std::vector<std::string> paths;
    return paths;
}

std::string absoluteOf(const std::string& path)
{
    std::error_code error;
    const std::string absolute = std::filesystem::absolute(path, error).lexically_normal().string();
    return error ? std::string() : absolute;
}

void recordOnce(std::vector<std::string>& paths, const std::string& path)
{
    const std::string absolute = absoluteOf(path);
    if (!absolute.empty() && std::find(paths.begin(), paths.end(), absolute) == paths.end())
        paths.push_back(absolute);
}

// Notes a file opened for reading. The first time, its content is hashed
// through the descriptor the conversion then reads from, so the digest is of
// these bytes even if the name is replaced meanwhile; a file opened again
// keeps that digest and is not read twice. False when the content cannot be read.
bool recordRead(const std::string& path, int descriptor)
{
    const std::string absolute = absoluteOf(path);
    auto& files = opened();
    if (absolute.empty()
        || std::any_of(files.begin(), files.end(), [&](const auto& file) { return file.first == absolute; }))
        return true;
    const std::string md5Hex = ContentDigest::md5HexOf(descriptor);
    if (md5Hex.empty())
        return false;
    files.emplace_back(absolute, md5Hex);
    return true;
}

void printLine(std::FILE* stream, const std::string& line)
{
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
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
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0
        && recordRead(path, fd))
        file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    return file;
}

void RegularFileSystem::noteMissing(const std::string& path) { recordOnce(missing(), path); }

void RegularFileSystem::printFilesUsed(std::FILE* stream)
{
    for (const auto& [path, md5Hex] : opened())
        printLine(stream, EncoderLine::readFile(md5Hex, path));
    for (const std::string& path : missing())
        printLine(stream, EncoderLine::missingFile(path));
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

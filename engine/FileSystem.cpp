#include "FileSystem.h"

#include "FileStream.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>

namespace engine {

namespace {

std::string& sharedFolder()
{
    static std::string path;
    return path;
}

// With every link followed; empty when the path does not exist (and on
// Windows, where a name's own check is all).
std::string canonical(const std::string& path)
{
#ifdef _WIN32
    return std::string();
#else
    char* resolved = realpath(path.c_str(), nullptr);
    const std::string result = resolved ? resolved : "";
    std::free(resolved);
    return result;
#endif
}

bool isBelow(const std::string& path, const std::string& folder)
{
    const std::string root = canonical(folder);
    return !root.empty() && path.compare(0, root.size(), root) == 0
        && (path.size() == root.size() || path[root.size()] == '/' || root == "/");
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

} // namespace

bool FileSystem::isAbsolutePath(const char* name)
{
    if (!name || !*name)
        return false;
    if (name[0] == '\\' || name[0] == '/')
        return true;
    return isLetter(name[0]) && name[1] == ':';
}

bool FileSystem::isConfinedPath(const char* name)
{
    if (!name || !*name || isAbsolutePath(name))
        return false;
    const char* step = name;
    for (const char* c = name;; ++c) {
        if (*c != '/' && *c != '\\' && *c != '\0')
            continue;
        if (c - step == 2 && step[0] == '.' && step[1] == '.')
            return false;
        if (!*c)
            return true;
        step = c + 1;
    }
}

void FileSystem::setSharedFolder(const char* folder) { sharedFolder() = folder ? folder : ""; }

bool FileSystem::isConfinedFile(const std::string& folder, const char* name)
{
    if (!isConfinedPath(name))
        return false;
    const std::string file = canonical(resolvePath(folder, name));
    const std::string resources = resolvePath(folder.c_str());
    return file.empty() || isBelow(file, resources.empty() ? "." : resources)
        || (!sharedFolder().empty() && isBelow(file, sharedFolder()));
}

std::string FileSystem::resolvePath(const std::string& folder, const char* name)
{
    if (!name)
        return std::string();
    return resolvePath((isAbsolutePath(name) ? std::string(name) : folder + name).c_str());
}

std::string FileSystem::resolvePath(const char* name)
{
    if (!name)
        return std::string();
    std::string path(name);
#ifndef _WIN32
    // Callers build paths with "\\" as separator (a folder plus "\\"); here the
    // system only understands "/".
    for (char& c : path)
        if (c == '\\')
            c = '/';
#endif
    return path;
}

bool FileSystem::fileExists(const char* name)
{
    if (!name || !*name)
        return false;
    struct stat info;
    return stat(resolvePath(name).c_str(), &info) == 0;
}

Stream* FileSystem::open(const char* name, const char* mode)
{
    if (!name || !*name)
        return nullptr;
    return FileStream::create(resolvePath(name).c_str(), mode ? mode : "rb");
}

char* FileSystem::readAll(const char* name, int* size)
{
    if (size)
        *size = 0;
    std::unique_ptr<Stream> stream(open(name, "rb"));
    if (!stream)
        return nullptr;
    const size_t length = stream->length();
    // The size is reported as an int; larger files are not engine resources.
    if (length >= static_cast<size_t>(INT_MAX))
        return nullptr;
    char* buffer = new char[length + 1];
    if (stream->read(buffer, 1, length) != length) {
        delete[] buffer;
        return nullptr;
    }
    buffer[length] = '\0';
    if (size)
        *size = static_cast<int>(length);
    return buffer;
}

std::string FileSystem::getDirectoryName(const char* path)
{
    if (!path)
        return std::string();
    std::string dir(path);
    for (char& c : dir)
        if (c == '\\')
            c = '/';
    const size_t slash = dir.rfind('/');
    if (slash != std::string::npos)
        return dir.substr(0, slash + 1);
    // A bare drive ("C:name") keeps its drive part.
    if (dir.size() >= 2 && isLetter(dir[0]) && dir[1] == ':')
        return dir.substr(0, 2);
    return std::string();
}

} // namespace engine

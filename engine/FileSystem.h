#pragma once

#include <cstddef>
#include <string>

namespace engine {

class Stream;

// Static service through which the engine opens every file. Relative names
// are looked up below the resource path.
class FileSystem {
public:
    FileSystem() = delete;

    // The caller ends the path with a separator; it is prepended as it stands.
    static void setResourcePath(const char* path);
    static const char* getResourcePath();

    // Maps a whole name to another before the resource path is prepended.
    static void setAlias(const char* name, const char* target);
    static void clearAliases();

    // "\\name", "C:..." and, on this platform, "/name" are absolute.
    static bool isAbsolutePath(const char* name);
    // A name that stays below the folder it is resolved in: relative, and
    // without a ".." step. Names that files of a model give must be.
    static bool isConfinedPath(const char* name);
    // A folder outside the resource path that links in a model folder may
    // lead to: the program's own "res" (empty: none).
    static void setSharedFolder(const char* folder);
    // A confined name whose file, with every link followed, lies below the
    // resource path or the shared folder (or does not exist, and so opens
    // nothing): a link inside a model folder must not reach other files.
    static bool isConfinedFile(const char* name);
    // Full path of a name; on systems other than Windows every "\\" becomes "/".
    static std::string resolvePath(const char* name);

    static bool fileExists(const char* name);
    // Opens for reading in binary mode unless the mode says otherwise.
    // Returns a stream owned by the caller, or null.
    static Stream* open(const char* name, const char* mode = "rb");
    // Whole file plus a terminating zero, allocated with new[] and owned by
    // the caller; null when the file cannot be read completely.
    static char* readAll(const char* name, int* size = nullptr);

    // Drive and folder part including the last separator, with "\\" turned
    // into "/"; empty when the path has no folder part.
    static std::string getDirectoryName(const char* path);
};

} // namespace engine

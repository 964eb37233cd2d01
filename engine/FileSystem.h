#pragma once

#include <cstddef>
#include <string>

namespace engine {

class Stream;

// Static service through which the engine opens every file. Names that
// files of a model give are relative to a resource folder (the model's own,
// or the program's "res"), which whoever reads them hands down; it ends
// with a separator, or is empty for the working folder.
class FileSystem {
public:
    FileSystem() = delete;

    // "\\name", "C:..." and, on this platform, "/name" are absolute.
    static bool isAbsolutePath(const char* name);
    // A name that stays below the folder it is resolved in: relative, and
    // without a ".." step. Names that files of a model give must be.
    static bool isConfinedPath(const char* name);
    // A folder outside the resource folder that links in a model folder may
    // lead to: the program's own "res" (empty: none).
    static void setSharedFolder(const char* folder);
    // A confined name whose file, with every link followed, lies below the
    // resource folder or the shared folder (or does not exist, and so opens
    // nothing): a link inside a model folder must not reach other files.
    static bool isConfinedFile(const std::string& folder, const char* name);
    // The path as the system takes it: on systems other than Windows every
    // "\\" becomes "/".
    static std::string resolvePath(const char* name);
    // A relative name below the folder, an absolute one as it stands.
    static std::string resolvePath(const std::string& folder, const char* name);

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

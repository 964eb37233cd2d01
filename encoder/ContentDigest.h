#pragma once

#include <string>

// The MD5 of a file's content, read through a descriptor the caller already
// holds, so that the digest is of the very file the conversion reads (not of
// whatever a name points at a moment later). The application keeps these
// digests to tell whether a conversion is still up to date.
class ContentDigest {
public:
    // Lower-case hex of the MD5 of everything from offset 0 to the end; the
    // descriptor's own offset is left where it was. Empty when a read fails.
    static std::string md5HexOf(int descriptor);
};

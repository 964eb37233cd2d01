#include "ContentDigest.h"

#include <nettle/md5.h>

#include <cerrno>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {
const size_t kChunkBytes = 1 << 16;
}

std::string ContentDigest::md5HexOf(int descriptor)
{
    md5_ctx context;
    md5_init(&context);
    std::vector<uint8_t> chunk(kChunkBytes);
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(descriptor, chunk.data(), chunk.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::string();
        if (got == 0)
            break;
        md5_update(&context, size_t(got), chunk.data());
        offset += got;
    }
    uint8_t digest[MD5_DIGEST_SIZE];
    md5_digest(&context, sizeof digest, digest);
    std::string hex;
    for (const uint8_t byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

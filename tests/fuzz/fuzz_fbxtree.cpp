// Feeds arbitrary bytes to the FBX node tree reader and, for an old file, to the translation into the
// newer layout. Whatever comes out must survive the binary writer and read back as the same tree: a
// difference aborts, as a crash would.
#include "FbxBinaryWriter.h"
#include "FbxLegacyTranslator.h"
#include "FbxTreeReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FbxDocument document, again;
    std::string bytes, error;
    if (!FbxTreeReader::read(std::string(reinterpret_cast<const char*>(data), size), document, error))
        return 0;
    if (FbxLegacyTranslator::isLegacy(document))
        document = FbxLegacyTranslator::translate(document).document;
    // Names longer than a binary record can hold come only from ASCII files; the writer refuses them.
    if (!FbxBinaryWriter::write(document, bytes, error))
        return 0;
    if (!FbxTreeReader::read(bytes, again, error)
        || !std::equal(document.nodes.begin(), document.nodes.end(), again.nodes.begin(), again.nodes.end(),
                       [](const FbxNode& a, const FbxNode& b) { return a.sameAs(b); }))
        std::abort();
    return 0;
}

#include "FbxTreeReader.h"

#include "FbxAsciiReader.h"
#include "FbxBinaryReader.h"
#include "SourceProbe.h"

#include <algorithm>

namespace {

const char kBinaryMagic[] = "Kaydara FBX Binary";
const size_t kVersionSearchBytes = 64 * 1024;

// ASCII files state their version in FBXHeaderExtension, or only in the comment they start with.
unsigned asciiVersion(const FbxDocument& document, const std::string& text)
{
    const auto extension = std::find_if(document.nodes.begin(), document.nodes.end(),
                                        [](const FbxNode& node) { return node.name == "FBXHeaderExtension"; });
    const FbxNode* version = extension != document.nodes.end() ? extension->child("FBXVersion") : nullptr;
    if (version && !version->properties.empty() && version->properties[0].type == 'L'
        && version->properties[0].integer > 0 && version->properties[0].integer < 100000)
        return unsigned(version->properties[0].integer);
    return SourceProbe::inspect(text.substr(0, kVersionSearchBytes)).version;
}

} // namespace

bool FbxTreeReader::read(const std::string& bytes, FbxDocument& document, std::string& error)
{
    document = FbxDocument();
    if (bytes.compare(0, sizeof(kBinaryMagic) - 1, kBinaryMagic) == 0)
        return FbxBinaryReader(bytes, document).read(error);
    if (!FbxAsciiReader(bytes, document).read(error))
        return false;
    document.version = asciiVersion(document, bytes);
    return true;
}

bool FbxTreeReader::readFile(const std::string& path, FbxDocument& document, std::string& error)
{
    std::string bytes;
    if (!SourceProbe::readWholeFile(path, bytes)) {
        error = "the file cannot be read";
        return false;
    }
    return read(bytes, document, error);
}

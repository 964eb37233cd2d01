#include "SourceProbe.h"

#include "MessageCodes.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

const char kBinaryMagic[] = "Kaydara FBX Binary  "; // followed by a NUL byte: 21 bytes in all
const size_t kBinaryMagicSize = 21;
const size_t kHeadSize = 64 * 1024;

unsigned readDecimal(const std::string& text, size_t at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == ':'))
        ++at;
    unsigned value = 0;
    size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 9) {
        value = value * 10 + unsigned(text[at] - '0');
        ++at;
        ++digits;
    }
    return value;
}

std::string versionText(unsigned version)
{
    // 7400 is shown as 7.4, 6100 as 6.1, the way exporters name them.
    return std::to_string(version / 1000) + "." + std::to_string((version / 100) % 10);
}

bool isBase64(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

bool readWholeFile(const std::string& path, std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char buffer[1 << 16];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
        text.append(buffer, got);
    std::fclose(file);
    return true;
}

bool hasSuffix(const std::string& path, const char* suffix)
{
    const size_t length = std::strlen(suffix);
    if (path.size() < length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(path[path.size() - length + i])) != suffix[i])
            return false;
    }
    return true;
}

// The end of the JSON string that starts at `at` (a quote), or npos.
size_t stringEnd(const std::string& json, size_t at)
{
    for (size_t i = at + 1; i < json.size(); ++i) {
        if (json[i] == '\\')
            ++i;
        else if (json[i] == '"')
            return i;
    }
    return std::string::npos;
}

// The end of the array or object that opens at `at`, or npos.
size_t blockEnd(const std::string& json, size_t at)
{
    int depth = 0;
    for (size_t i = at; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"') {
            i = stringEnd(json, i);
            if (i == std::string::npos)
                return i;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if ((c == ']' || c == '}') && --depth == 0) {
            return i;
        }
    }
    return std::string::npos;
}

std::string percentDecoded(const std::string& uri)
{
    std::string decoded;
    for (size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && std::isxdigit(static_cast<unsigned char>(uri[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(uri[i + 2]))) {
            decoded += char(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += uri[i];
        }
    }
    return decoded;
}

size_t skipSpace(const std::string& json, size_t at, size_t to)
{
    while (at < to && std::isspace(static_cast<unsigned char>(json[at])))
        ++at;
    return at;
}

// The value of the key "uri" inside [from, to) of a JSON text: every string that follows it after a colon.
void collectUris(const std::string& json, size_t from, size_t to, std::vector<std::string>& uris)
{
    for (size_t i = from; i < to; ++i) {
        if (json[i] != '"')
            continue;
        const size_t end = stringEnd(json, i);
        if (end == std::string::npos || end >= to)
            return;
        const bool isUriKey = json.compare(i + 1, end - i - 1, "uri") == 0;
        i = end;
        if (!isUriKey)
            continue;
        size_t value = skipSpace(json, end + 1, to);
        if (value >= to || json[value] != ':')
            continue;
        value = skipSpace(json, value + 1, to);
        if (value >= to || json[value] != '"')
            continue;
        const size_t valueEnd = stringEnd(json, value);
        if (valueEnd == std::string::npos || valueEnd >= to)
            return;
        const std::string uri = json.substr(value + 1, valueEnd - value - 1);
        if (uri.compare(0, 5, "data:") != 0)
            uris.push_back(percentDecoded(uri));
        i = valueEnd;
    }
}

bool fileExists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string folderPrefix(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Binary FBX: a Model record's name property ("Name" "\0\1" "Model") followed by its class property "Mesh".
const std::string kBinaryMeshModel("\0\1ModelS\4\0\0\0Mesh", 16);
// ASCII FBX: Model: 123, "Model::Name", "Mesh" {
const std::string kAsciiModelName("\"Model::");
const std::string kAsciiMeshClass("\", \"Mesh\"");
const size_t kMaxNameBytes = 1024;

uint32_t littleEndian32(const std::string& bytes, size_t at)
{
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 | uint32_t(uint8_t(bytes[at + 2])) << 16
        | uint32_t(uint8_t(bytes[at + 3])) << 24;
}

// The name before the "\0\1Model" at `marker`: a string property ('S', length, bytes) that ends there.
bool binaryNameBefore(const std::string& bytes, size_t marker, std::string& name)
{
    for (size_t length = 0; length <= kMaxNameBytes && length + 5 <= marker; ++length) {
        const size_t start = marker - length;
        if (bytes[start - 5] == 'S' && littleEndian32(bytes, start - 4) == length + 7) {
            name = bytes.substr(start, length);
            return true;
        }
    }
    return false;
}

// Adds the mesh names whose marker starts in [from, limit) of `bytes`.
void collectMeshNames(const std::string& bytes, size_t from, size_t limit, bool binary, std::vector<std::string>& names)
{
    const std::string& needle = binary ? kBinaryMeshModel : kAsciiModelName;
    for (size_t at = bytes.find(needle, from); at != std::string::npos && at < limit; at = bytes.find(needle, at + 1)) {
        std::string name;
        if (binary) {
            if (binaryNameBefore(bytes, at, name))
                names.push_back(name);
            continue;
        }
        const size_t begin = at + needle.size();
        const size_t end = bytes.find('"', begin);
        if (end != std::string::npos && end - begin <= kMaxNameBytes
            && bytes.compare(end, kAsciiMeshClass.size(), kAsciiMeshClass) == 0)
            names.push_back(bytes.substr(begin, end - begin));
    }
}

} // namespace

bool SourceProbe::gltfBuffersPresent(const std::string& path, Messages& messages)
{
    if (!hasSuffix(path, ".gltf"))
        return true;
    std::string json;
    if (!readWholeFile(path, json))
        return true; // the importer reports unreadable files itself
    for (const std::string& file : gltfBufferFiles(json)) {
        const std::string wanted = folderPrefix(path) + file;
        if (fileExists(wanted))
            continue;
        messages.error(MessageCode::InputMissing, "Buffer file missing",
                       "The glTF file \"" + path + "\" keeps its geometry in \"" + file
                           + "\", which is missing (looked for \"" + wanted
                           + "\"). Copy it next to the .gltf file, or export the model as a single .glb file.");
        return false;
    }
    return true;
}

std::vector<std::string> SourceProbe::gltfBufferFiles(const std::string& json)
{
    std::vector<std::string> files;
    // Only the top-level "buffers" array: images have their own, softer, rule.
    const size_t key = json.find("\"buffers\"");
    if (key == std::string::npos)
        return files;
    const size_t open = json.find('[', key);
    if (open == std::string::npos)
        return files;
    const size_t close = blockEnd(json, open);
    if (close != std::string::npos)
        collectUris(json, open, close, files);
    return files;
}

std::vector<std::string> SourceProbe::meshObjectNames(const std::string& path, bool binary)
{
    // Read in chunks. A marker is looked for once, in the chunk where it starts, with enough
    // bytes kept on both sides to read its name; files of hundreds of megabytes are never held whole.
    const size_t kChunk = 1 << 20, kMargin = kMaxNameBytes + 64;
    std::vector<std::string> names;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return names;
    std::string window, chunk(kChunk, '\0');
    size_t from = 0, got = kChunk;
    while (got == kChunk) {
        got = std::fread(&chunk[0], 1, kChunk, file);
        window.append(chunk, 0, got);
        const size_t limit = got < kChunk ? window.size() : window.size() - std::min(window.size(), kMargin);
        collectMeshNames(window, from, limit, binary, names);
        const size_t dropped = window.size() - std::min(window.size(), 2 * kMargin);
        window.erase(0, dropped);
        from = limit - dropped;
    }
    std::fclose(file);
    return names;
}

bool SourceProbe::embeddedContentIsSound(const std::string& text)
{
    static const char kKey[] = "Content:";
    size_t at = 0;
    while ((at = text.find(kKey, at)) != std::string::npos) {
        at += sizeof(kKey) - 1;
        while (at < text.size()
               && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n' || text[at] == ','))
            ++at;
        if (at >= text.size() || text[at] != '"')
            continue;
        const size_t begin = at + 1;
        const size_t end = text.find('"', begin);
        if (end == std::string::npos)
            return false;
        const size_t length = end - begin;
        if (length % 4 != 0)
            return false;
        for (size_t i = begin; i < end; ++i) {
            const bool padding = text[i] == '=' && i + 2 >= end && (i + 1 == end || text[i + 1] == '=');
            if (!isBase64(text[i]) && !padding)
                return false;
        }
        at = end + 1;
    }
    return true;
}

SourceProbe::FbxHeader SourceProbe::inspect(const std::string& head)
{
    FbxHeader header;
    if (head.compare(0, 18, kBinaryMagic, 18) == 0) {
        header.isFbx = true;
        header.binary = true;
        if (head.size() < 27 || std::memcmp(head.data(), kBinaryMagic, kBinaryMagicSize) != 0
            || static_cast<unsigned char>(head[21]) != 0x1A) {
            header.damaged = true;
            return header;
        }
        const unsigned char* v = reinterpret_cast<const unsigned char*>(head.data()) + 23;
        header.bigEndian = head[22] != 0;
        header.version = header.bigEndian ? (unsigned(v[0]) << 24 | unsigned(v[1]) << 16 | unsigned(v[2]) << 8 | v[3])
                                          : (unsigned(v[3]) << 24 | unsigned(v[2]) << 16 | unsigned(v[1]) << 8 | v[0]);
        return header;
    }
    // ASCII FBX: a "; FBX 7.4.0 project file" comment and/or an FBXHeaderExtension block.
    const size_t comment = head.find("; FBX ");
    const size_t extension = head.find("FBXHeaderExtension");
    if (comment == std::string::npos && extension == std::string::npos)
        return header;
    header.isFbx = true;
    const size_t versionKey = head.find("FBXVersion");
    if (versionKey != std::string::npos) {
        header.version = readDecimal(head, versionKey + std::strlen("FBXVersion"));
    } else if (comment != std::string::npos) {
        const size_t at = comment + 6;
        if (at + 2 < head.size() && head[at] >= '0' && head[at] <= '9' && head[at + 1] == '.' && head[at + 2] >= '0'
            && head[at + 2] <= '9')
            header.version = unsigned(head[at] - '0') * 1000 + unsigned(head[at + 2] - '0') * 100;
    }
    return header;
}

bool SourceProbe::check(const std::string& path, Messages& messages, FbxHeader& header)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        messages.error(MessageCode::InputMissing, "Input file not found",
                       "The file \"" + path + "\" does not exist or is not a regular file.");
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        messages.error(MessageCode::InputMissing, "Input file not readable",
                       "The file \"" + path + "\" cannot be opened for reading.");
        return false;
    }
    std::string head(kHeadSize, '\0');
    head.resize(std::fread(&head[0], 1, kHeadSize, file));
    std::fclose(file);
    if (head.empty()) {
        messages.error(MessageCode::InputDamaged, "Empty input file", "The file \"" + path + "\" is empty.");
        return false;
    }

    header = inspect(head);
    if (!header.isFbx)
        return gltfBuffersPresent(path, messages); // other formats: Assimp decides
    if (header.damaged) {
        messages.error(MessageCode::InputDamaged, "Damaged FBX header",
                       "The file \"" + path
                           + "\" starts like a binary FBX file but its header is damaged "
                             "(the identifier bytes are wrong), so it cannot be read. Export the model again.");
        return false;
    }
    if (header.bigEndian) {
        messages.error(MessageCode::FbxBigEndian, "Big-endian FBX not supported",
                       "The file \"" + path + "\" is a big-endian binary FBX " + versionText(header.version)
                           + " file, which cannot be read. Export it again as a standard (little-endian) "
                             "binary or ASCII FBX file.");
        return false;
    }
    if (!header.binary) {
        std::string text;
        if (readWholeFile(path, text) && !embeddedContentIsSound(text)) {
            messages.error(MessageCode::InputDamaged, "Damaged embedded file",
                           "The file \"" + path
                               + "\" embeds a texture or other file whose data is damaged "
                                 "(not valid base64 text), so it cannot be read safely. Export the model again.");
            return false;
        }
    }
    if (header.version != 0 && header.version < 7100) {
        messages.error(MessageCode::FbxTooOld, "FBX version too old",
                       "The file \"" + path + "\" is an FBX " + versionText(header.version) + " file ("
                           + (header.binary ? "binary" : "ASCII")
                           + "). FBX 7.1 (FBX 2011) or newer is needed: open it in your modelling tool "
                             "and export it again as FBX 2011 or newer.");
        return false;
    }
    return true;
}

#include "SourceProbe.h"

#include "MessageCodes.h"
#include "RegularFileSystem.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <utility>

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

bool isBase64(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
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

// The name before the "\0\1" + class at `marker`: a string property ('S', length, bytes) that ends
// `classBytes` (the "\0\1" and the class name) after it.
bool binaryNameBefore(const std::string& bytes, size_t marker, std::string& name, size_t classBytes = 7)
{
    for (size_t length = 0; length <= kMaxNameBytes && length + 5 <= marker; ++length) {
        const size_t start = marker - length;
        if (bytes[start - 5] == 'S' && littleEndian32(bytes, start - 4) == length + classBytes) {
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

// Binary FBX: a Material record's name property ("Name" "\0\1" "Material"), and the property record
// P: "DiffuseFactor", "Number", "", "A", value.
const std::string kBinaryMaterial("\0\1Material", 10);
const std::string kBinaryDiffuseFactor("S\x0d\0\0\0DiffuseFactor", 18);
// ASCII FBX: Material: 123, "Material::Name", "" { ... P: "DiffuseFactor", "Number", "", "A",0.5
const std::string kAsciiMaterial("\"Material::");
const std::string kAsciiDiffuseFactor("\"DiffuseFactor\"");

// A binary property value after the name: three string properties (type, label, flags), then a
// double ('D') or a float ('F'). False when the bytes say otherwise or run out.
bool binaryFactorAfter(const std::string& bytes, size_t at, float& value)
{
    for (int skipped = 0; skipped < 3; ++skipped) {
        if (at + 5 > bytes.size() || bytes[at] != 'S')
            return false;
        at += 5 + size_t(littleEndian32(bytes, at + 1));
    }
    if (at + 9 <= bytes.size() && bytes[at] == 'D') {
        double number;
        std::memcpy(&number, bytes.data() + at + 1, sizeof(number));
        value = float(number);
        return true;
    }
    if (at + 5 <= bytes.size() && bytes[at] == 'F') {
        std::memcpy(&value, bytes.data() + at + 1, sizeof(value));
        return true;
    }
    return false;
}

// An ASCII property value after the name: three quoted strings, then a comma and a number.
bool asciiFactorAfter(const std::string& bytes, size_t at, float& value)
{
    for (int quote = 0; quote < 6; ++quote) {
        at = bytes.find('"', at);
        if (at == std::string::npos)
            return false;
        ++at;
    }
    const size_t comma = bytes.find_first_not_of(" \t", at);
    if (comma == std::string::npos || bytes[comma] != ',')
        return false;
    const std::string number = bytes.substr(comma + 1, 32);
    char* end = nullptr;
    value = std::strtof(number.c_str(), &end);
    return end != number.c_str();
}

// Adds the factors whose property starts in [from, limit) of `bytes`, each to the material record
// before it; `material` carries the name of the latest one across calls.
void collectDiffuseFactors(const std::string& bytes, size_t from, size_t limit, bool binary, std::string& material,
                           std::map<std::string, float>& factors)
{
    const std::string& materialNeedle = binary ? kBinaryMaterial : kAsciiMaterial;
    const std::string& factorNeedle = binary ? kBinaryDiffuseFactor : kAsciiDiffuseFactor;
    for (size_t at = from; at < limit;) {
        const size_t nextMaterial = bytes.find(materialNeedle, at);
        const size_t nextFactor = bytes.find(factorNeedle, at);
        at = std::min(nextMaterial, nextFactor);
        if (at == std::string::npos || at >= limit)
            return;
        if (at == nextMaterial) {
            const size_t begin = at + materialNeedle.size();
            const size_t end = binary ? begin : bytes.find('"', begin);
            std::string name;
            if (binary ? binaryNameBefore(bytes, at, name, kBinaryMaterial.size())
                       : end != std::string::npos && end - begin <= kMaxNameBytes)
                material = binary ? name : bytes.substr(begin, end - begin);
        } else {
            float value = 1;
            const size_t after = at + factorNeedle.size();
            // Property templates come before the first material; they hold only defaults.
            if (!material.empty()
                && (binary ? binaryFactorAfter(bytes, after, value) : asciiFactorAfter(bytes, after, value))
                && std::isfinite(value))
                factors[material] = value;
        }
        ++at;
    }
}

// An object's name from its name property: "Name\0\1Class" in binary files, "Class::Name" in ASCII ones.
std::string objectName(const std::string& text)
{
    const size_t binarySeparator = text.find(std::string("\0\1", 2));
    if (binarySeparator != std::string::npos)
        return text.substr(0, binarySeparator);
    const size_t asciiSeparator = text.find("::");
    return asciiSeparator == std::string::npos ? text : text.substr(asciiSeparator + 2);
}

// The objects of a tree's "Objects" section named `kind` ("Model", "Material"), with their names.
std::vector<std::pair<std::string, const FbxNode*>> objectsOfKind(const FbxDocument& document, const char* kind)
{
    std::vector<std::pair<std::string, const FbxNode*>> found;
    for (const FbxNode& section : document.nodes) {
        if (section.name != "Objects")
            continue;
        for (const FbxNode& object : section.children) {
            if (object.name == kind && object.properties.size() >= 2 && object.properties[1].type == 'S')
                found.emplace_back(objectName(object.properties[1].text), &object);
        }
    }
    return found;
}

bool numberOf(const FbxProperty& property, float& value)
{
    if (property.type == 'F' || property.type == 'D')
        value = float(property.real);
    else if (property.type == 'I' || property.type == 'L' || property.type == 'Y')
        value = float(property.integer);
    else
        return false;
    return std::isfinite(value);
}

// Reads a file in chunks and hands `collect` each window with the range [from, limit) in which markers
// start, with enough bytes kept on both sides to read what follows them; files of hundreds of megabytes
// are never held whole.
template <typename Collect>
void scanInChunks(const std::string& path, Collect collect)
{
    const size_t kChunk = 1 << 20, kMargin = kMaxNameBytes + 64;
    std::FILE* file = RegularFileSystem::openForReading(path);
    if (!file)
        return;
    std::string window, chunk(kChunk, '\0');
    size_t from = 0, got = kChunk;
    while (got == kChunk) {
        got = std::fread(&chunk[0], 1, kChunk, file);
        window.append(chunk, 0, got);
        const size_t limit = got < kChunk ? window.size() : window.size() - std::min(window.size(), kMargin);
        collect(window, from, limit);
        const size_t dropped = window.size() - std::min(window.size(), 2 * kMargin);
        window.erase(0, dropped);
        from = limit - dropped;
    }
    std::fclose(file);
}

} // namespace

bool SourceProbe::hasSuffix(const std::string& path, const char* suffix)
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

bool SourceProbe::readWholeFile(const std::string& path, std::string& bytes)
{
    std::FILE* file = RegularFileSystem::openForReading(path);
    if (!file)
        return false;
    char buffer[1 << 16];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return !failed;
}

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
    // A marker is looked for once, in the chunk where it starts.
    std::vector<std::string> names;
    scanInChunks(path, [&](const std::string& window, size_t from, size_t limit) {
        collectMeshNames(window, from, limit, binary, names);
    });
    return names;
}

std::map<std::string, float> SourceProbe::diffuseFactors(const std::string& path, bool binary)
{
    std::map<std::string, float> factors;
    std::string material;
    scanInChunks(path, [&](const std::string& window, size_t from, size_t limit) {
        collectDiffuseFactors(window, from, limit, binary, material, factors);
    });
    return factors;
}

std::vector<std::string> SourceProbe::meshObjectNames(const FbxDocument& document)
{
    std::vector<std::string> names;
    for (const auto& [name, model] : objectsOfKind(document, "Model")) {
        if (model->properties.size() >= 3 && model->properties[2].text == "Mesh")
            names.push_back(name);
    }
    return names;
}

std::map<std::string, float> SourceProbe::diffuseFactors(const FbxDocument& document)
{
    std::map<std::string, float> factors;
    for (const auto& [name, material] : objectsOfKind(document, "Material")) {
        const FbxNode* properties = material->child("Properties70");
        if (!properties)
            continue;
        for (const FbxNode& property : properties->children) {
            float value = 1;
            if (property.properties.size() >= 5 && property.properties[0].text == "DiffuseFactor"
                && numberOf(property.properties[4], value))
                factors[name] = value;
        }
    }
    return factors;
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
    std::FILE* file = RegularFileSystem::openForReading(path);
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
    return true;
}

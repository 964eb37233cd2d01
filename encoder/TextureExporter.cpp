#include "TextureExporter.h"

#include "MessageCodes.h"
#include "PngWriter.h"
#include "RegularFileSystem.h"
#include "Utf8Text.h"

#include <assimp/scene.h>

#define STBI_MAX_DIMENSIONS 16384
#define STBI_FAILURE_USERMSG
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#include <stb_image.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Bounds of the search for a texture by file name below the source folder:
// deep enough for "textures/", "Model.fbm/" and the like, small enough that a
// model lying in a home folder does not cost seconds.
const int kSearchDepth = 4;
const int kSearchEntries = 5000;

std::string lowerAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The last component of a path written with either separator.
std::string shortName(const std::string& path)
{
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool isRegularFile(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool isReservedWindowsName(const std::string& stem)
{
    const std::string lower = lowerAscii(stem);
    static const char* reserved[] = {"con", "prn", "aux", "nul"};
    for (const char* name : reserved) {
        if (lower == name)
            return true;
    }
    return lower.size() == 4 && (lower.compare(0, 3, "com") == 0 || lower.compare(0, 3, "lpt") == 0) && lower[3] >= '1'
        && lower[3] <= '9';
}

bool writeBytes(const std::string& path, const unsigned char* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::remove(path.c_str());
        return false;
    }
    return true;
}

bool moveIntoPlace(const std::string& temporary, const std::string& destination)
{
    std::error_code ec;
    fs::rename(temporary, destination, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

bool hasTranslucentPixel(const unsigned char* pixels, unsigned long long pixelCount, int channels)
{
    if (channels != 2 && channels != 4)
        return false;
    const size_t alpha = static_cast<size_t>(channels - 1);
    for (unsigned long long i = 0; i < pixelCount; ++i) {
        if (pixels[i * channels + alpha] != 255)
            return true;
    }
    return false;
}

bool dimensionsAllowed(unsigned long long width, unsigned long long height)
{
    return width > 0 && height > 0 && width <= TextureExporter::kMaxDimension
        && height <= TextureExporter::kMaxDimension && width * height <= TextureExporter::kMaxPixels;
}

std::string sizeText(unsigned long long width, unsigned long long height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

} // namespace

TextureExporter::TextureExporter(const aiScene& scene, const std::string& sourceFolder, const std::string& modelFolder,
                                 Messages& messages)
    : m_scene(scene)
    , m_sourceFolder(sourceFolder.empty() ? "." : sourceFolder)
    , m_modelFolder(modelFolder.empty() ? "." : modelFolder)
    , m_messages(messages)
{
}

std::string TextureExporter::plainPngName(const std::string& reference)
{
    std::string name = shortName(reference);
    const size_t colon = name.find_last_of(':'); // "C:file.png", "file://x"
    if (colon != std::string::npos)
        name = name.substr(colon + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name = name.substr(0, dot);

    // Characters that are unsafe in file names on some platform, or that
    // mean something in the material file (comments, "=", braces, "#").
    std::string stem = Utf8Text::replaceUnsafe(name, [](unsigned char c) {
        return !(c < 0x20 || c == 0x7F || std::strchr("<>:\"|?*#=;{}$ \t", c) != nullptr);
    });
    // Leading dots would make "..", "." or hidden files; trailing ones vanish on Windows.
    const size_t first = stem.find_first_not_of('.');
    stem = first == std::string::npos ? std::string() : stem.substr(first);
    while (!stem.empty() && (stem.back() == '.' || stem.back() == ' '))
        stem.pop_back();

    stem = Utf8Text::truncated(stem, 96);
    if (stem.empty())
        stem = "texture";
    if (isReservedWindowsName(stem))
        stem = "_" + stem;
    return stem + ".png";
}

std::string TextureExporter::locate(const std::string& reference) const
{
    if (reference.empty())
        return std::string();
    std::string slashed = reference;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');

    const bool windowsAbsolute = slashed.size() >= 2 && slashed[1] == ':';
    const fs::path asGiven = slashed[0] == '/' ? fs::path(slashed) : fs::path(m_sourceFolder) / slashed;
    if (!windowsAbsolute && isRegularFile(asGiven))
        return asGiven.string();

    const std::string name = shortName(slashed.substr(windowsAbsolute ? 2 : 0));
    if (name.empty() || name == "." || name == "..")
        return std::string();
    const fs::path beside = fs::path(m_sourceFolder) / name;
    if (isRegularFile(beside))
        return beside.string();

    // Breadth first, so the nearest match wins. Symbolic links to folders are
    // not followed, so the search cannot loop or wander off the source's tree.
    const std::string wanted = lowerAscii(name);
    std::deque<std::pair<fs::path, int>> folders {{fs::path(m_sourceFolder), 0}};
    int visited = 0;
    while (!folders.empty() && visited < kSearchEntries) {
        const auto [folder, depth] = folders.front();
        folders.pop_front();
        std::error_code ec;
        fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
        std::vector<fs::path> subfolders;
        for (; !ec && it != fs::directory_iterator() && visited < kSearchEntries; it.increment(ec)) {
            ++visited;
            const fs::directory_entry& entry = *it;
            std::error_code statusError;
            const bool link = entry.is_symlink(statusError);
            if (!link && entry.is_directory(statusError)) {
                if (depth + 1 < kSearchDepth)
                    subfolders.push_back(entry.path());
            } else if (lowerAscii(entry.path().filename().string()) == wanted && entry.is_regular_file(statusError)) {
                return entry.path().string();
            }
        }
        std::sort(subfolders.begin(), subfolders.end());
        for (const fs::path& subfolder : subfolders)
            folders.emplace_back(subfolder, depth + 1);
    }
    if (!windowsAbsolute)
        RegularFileSystem::noteMissing(asGiven.string());
    RegularFileSystem::noteMissing(beside.string());
    return std::string();
}

const aiTexture* TextureExporter::embeddedTexture(const std::string& reference, bool& badIndex) const
{
    badIndex = false;
    if (reference.size() >= 2 && reference[0] == '*') {
        const std::string digits = reference.substr(1);
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) {
            badIndex = true;
            return nullptr;
        }
        const unsigned long index = std::stoul(digits);
        if (index >= m_scene.mNumTextures || !m_scene.mTextures || !m_scene.mTextures[index]) {
            badIndex = true;
            return nullptr;
        }
        return m_scene.mTextures[index];
    }
    if (!m_scene.mTextures)
        return nullptr;
    const std::string name = shortName(reference);
    if (name.empty())
        return nullptr;
    const aiTexture* caseless = nullptr;
    for (unsigned i = 0; i < m_scene.mNumTextures; ++i) {
        const aiTexture* texture = m_scene.mTextures[i];
        if (!texture)
            continue;
        const std::string candidate = shortName(texture->mFilename.C_Str());
        if (candidate == name)
            return texture;
        if (!caseless && lowerAscii(candidate) == lowerAscii(name))
            caseless = texture;
    }
    return caseless;
}

bool TextureExporter::loadFile(const std::string& path, std::vector<unsigned char>& bytes, std::string& why) const
{
    std::error_code ec;
    // Devices and pipes never end; only plain files are read.
    if (!fs::is_regular_file(path, ec)) {
        why = "it is not a regular file";
        return false;
    }
    const auto size = fs::file_size(path, ec);
    if (ec) {
        why = "its size cannot be read";
        return false;
    }
    if (size > kMaxFileBytes) {
        why = "the file is larger than " + std::to_string(kMaxFileBytes / (1024 * 1024)) + " MiB";
        return false;
    }
    // Judged again on what is opened: the name may have changed hands.
    std::FILE* in = RegularFileSystem::openForReading(path);
    if (!in) {
        why = "the file cannot be opened as a regular file";
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), in);
    std::fclose(in);
    if (got != size) {
        why = "the file cannot be read";
        return false;
    }
    return true;
}

bool TextureExporter::exportEncoded(const std::vector<unsigned char>& bytes, const std::string& destination,
                                    ExportedTexture& result, std::string& why) const
{
    if (bytes.empty() || bytes.size() > static_cast<size_t>(kMaxFileBytes)) {
        why = bytes.empty() ? "it holds no data" : "it is too large";
        return false;
    }
    const int length = static_cast<int>(bytes.size());
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(bytes.data(), length, &width, &height, &channels)) {
        why = std::string("its image data cannot be decoded (") + stbi_failure_reason() + ")";
        return false;
    }
    if (!dimensionsAllowed(static_cast<unsigned>(width), static_cast<unsigned>(height))) {
        why = "its size " + sizeText(static_cast<unsigned>(width), static_cast<unsigned>(height))
            + " is beyond the limit of " + std::to_string(kMaxDimension) + " pixels a side";
        return false;
    }
    result.width = static_cast<unsigned>(width);
    result.height = static_cast<unsigned>(height);

    const bool isPng = bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0;
    const bool mayHaveAlpha = channels == 2 || channels == 4;
    const std::string temporary = destination + ".part";

    if (isPng && !mayHaveAlpha) {
        // Already what the engine reads: copied byte for byte.
        if (!writeBytes(temporary, bytes.data(), bytes.size()) || !moveIntoPlace(temporary, destination)) {
            why = "the file \"" + destination + "\" cannot be written";
            return false;
        }
        return true;
    }

    std::unique_ptr<unsigned char, void (*)(void*)> pixels(
        stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, 0), stbi_image_free);
    if (!pixels) {
        why = std::string("its image data cannot be decoded (") + stbi_failure_reason() + ")";
        return false;
    }
    result.width = static_cast<unsigned>(width);
    result.height = static_cast<unsigned>(height);
    result.translucent = hasTranslucentPixel(pixels.get(), static_cast<unsigned long long>(width) * height, channels);

    const bool written = isPng
        ? writeBytes(temporary, bytes.data(), bytes.size())
        : PngWriter::write(temporary, pixels.get(), result.width, result.height, static_cast<unsigned>(channels));
    if (!written || !moveIntoPlace(temporary, destination)) {
        why = "the file \"" + destination + "\" cannot be written";
        return false;
    }
    return true;
}

bool TextureExporter::exportRaw(const aiTexture& texture, const std::string& destination, ExportedTexture& result,
                                std::string& why) const
{
    if (!texture.pcData || !dimensionsAllowed(texture.mWidth, texture.mHeight)) {
        why = texture.pcData ? "its size " + sizeText(texture.mWidth, texture.mHeight) + " is beyond the limit"
                             : "it holds no data";
        return false;
    }
    const unsigned long long count = static_cast<unsigned long long>(texture.mWidth) * texture.mHeight;
    std::vector<unsigned char> rgba(static_cast<size_t>(count) * 4);
    for (unsigned long long i = 0; i < count; ++i) {
        const aiTexel& texel = texture.pcData[i];
        rgba[i * 4 + 0] = texel.r;
        rgba[i * 4 + 1] = texel.g;
        rgba[i * 4 + 2] = texel.b;
        rgba[i * 4 + 3] = texel.a;
    }
    result.width = texture.mWidth;
    result.height = texture.mHeight;
    result.translucent = hasTranslucentPixel(rgba.data(), count, 4);
    const std::string temporary = destination + ".part";
    if (!PngWriter::write(temporary, rgba.data(), texture.mWidth, texture.mHeight, 4)
        || !moveIntoPlace(temporary, destination)) {
        why = "the file \"" + destination + "\" cannot be written";
        return false;
    }
    return true;
}

std::string TextureExporter::uniqueDestinationName(const std::string& reference)
{
    const std::string plain = plainPngName(reference);
    const std::string stem = plain.substr(0, plain.size() - 4);
    std::string name = plain;
    // Case-insensitive, so the folder survives a trip through Windows or a zip tool.
    for (int n = 2; m_usedNamesLower.count(lowerAscii(name)); ++n)
        name = stem + "_" + std::to_string(n) + ".png";
    m_usedNamesLower.insert(lowerAscii(name));
    return name;
}

std::string TextureExporter::texFolder() const { return (fs::path(m_modelFolder) / "tex").string(); }

bool TextureExporter::ensureTexFolder()
{
    if (m_texFolderReady)
        return true;
    std::error_code ec;
    fs::create_directories(texFolder(), ec);
    m_texFolderReady = fs::is_directory(texFolder(), ec);
    return m_texFolderReady;
}

ExportedTexture TextureExporter::exportTexture(const std::string& reference, const std::string& materialName)
{
    const auto done = m_done.find(reference);
    if (done != m_done.end())
        return done->second;

    ExportedTexture result;
    const std::string quoted = "\"" + reference + "\" of material \"" + materialName + "\"";
    bool badIndex = false;
    const aiTexture* embedded = embeddedTexture(reference, badIndex);
    std::string sourceFile;
    if (badIndex) {
        m_messages.warning(MessageCode::EmbeddedTextureMissing, "Embedded texture missing",
                           "The texture " + quoted
                               + " names embedded data that the file does not hold. "
                                 "The material is drawn without this texture.");
    } else if (!embedded) {
        sourceFile = locate(reference);
        if (sourceFile.empty()) {
            m_messages.warning(MessageCode::TextureNotFound, "Texture not found",
                               "The texture " + quoted
                                   + " was not found: not at its path, not beside the model "
                                     "file and not in the folders below it. The material is drawn without this "
                                     "texture.\nPut the image beside the model file and convert again.");
        }
    }
    if (!embedded && sourceFile.empty()) {
        m_done.emplace(reference, result);
        return result;
    }

    // Two references to one image (an embedded texture by number and by
    // name, or one file by two paths) share one copy.
    std::error_code canonicalError;
    const std::string sourceKey = embedded ? "*" + std::to_string(reinterpret_cast<std::uintptr_t>(embedded))
                                           : fs::weakly_canonical(sourceFile, canonicalError).string();
    const auto sameSource = m_doneBySource.find(sourceKey);
    if (sameSource != m_doneBySource.end()) {
        m_done.emplace(reference, sameSource->second);
        return sameSource->second;
    }

    if (!ensureTexFolder()) {
        m_messages.warning(MessageCode::TextureNotWritten, "Texture not written",
                           "The folder \"" + texFolder() + "\" cannot be created, so the texture " + quoted
                               + " is left out.");
        m_done.emplace(reference, result);
        return result;
    }

    std::string nameSource = reference;
    if (embedded && embedded->mFilename.length > 0)
        nameSource = embedded->mFilename.C_Str();
    else if (embedded)
        nameSource = "embedded" + reference.substr(1);
    const std::string fileName = uniqueDestinationName(nameSource);
    const std::string destination = (fs::path(texFolder()) / fileName).string();

    std::string why;
    bool exported = false;
    if (embedded && embedded->mHeight != 0) {
        exported = exportRaw(*embedded, destination, result, why);
    } else if (embedded) {
        const unsigned char* data = reinterpret_cast<const unsigned char*>(embedded->pcData);
        if (!data || embedded->mWidth == 0) {
            why = "it holds no data";
        } else {
            const std::vector<unsigned char> bytes(data, data + embedded->mWidth);
            exported = exportEncoded(bytes, destination, result, why);
        }
    } else {
        std::vector<unsigned char> bytes;
        exported = loadFile(sourceFile, bytes, why) && exportEncoded(bytes, destination, result, why);
    }

    if (exported) {
        result.path = "tex/" + fileName;
    } else {
        result = ExportedTexture();
        m_usedNamesLower.erase(lowerAscii(fileName));
        m_messages.warning(MessageCode::TextureUnreadable, "Texture not readable",
                           "The texture " + quoted + (sourceFile.empty() ? "" : " (\"" + sourceFile + "\")")
                               + " was left out: " + why + ". The material is drawn without this texture.");
    }
    m_done.emplace(reference, result);
    m_doneBySource.emplace(sourceKey, result);
    return result;
}

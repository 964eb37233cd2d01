#pragma once

#include "Messages.h"

#include <map>
#include <set>
#include <string>
#include <vector>

struct aiScene;
struct aiTexture;

// One texture as the material file names it.
struct ExportedTexture {
    std::string path; // relative to the model folder ("tex/name.png"); empty: no texture
    unsigned width = 0;
    unsigned height = 0;
    bool translucent = false; // some pixel has an alpha below 255
};

// Finds the textures a source scene refers to (files beside the source or
// embedded in it), converts them to PNG and writes them into "tex/" below the
// model folder. Nothing is ever written outside that folder, whatever the
// source names its textures.
class TextureExporter {
public:
    static constexpr unsigned kMaxDimension = 16384;
    static constexpr unsigned long long kMaxPixels = 8192ull * 8192ull;
    static constexpr unsigned long long kMaxFileBytes = 256ull * 1024 * 1024;

    TextureExporter(const aiScene& scene, const std::string& sourceFolder, const std::string& modelFolder,
                    Messages& messages);

    // `reference` is the texture path exactly as the source material gives it.
    // A reference is exported once; asking again returns the first result.
    ExportedTexture exportTexture(const std::string& reference, const std::string& materialName);

    // A plain file name with the extension ".png", safe to create inside one
    // folder on any platform: no folders, no "..", no drive letters, no
    // control or reserved characters.
    static std::string plainPngName(const std::string& reference);

    // Where the texture file lies, or an empty string: the path as given
    // (relative to the source folder), then the file name beside the source,
    // then in its subfolders (bounded search, case-insensitive).
    std::string locate(const std::string& reference) const;

private:
    const aiTexture* embeddedTexture(const std::string& reference, bool& badIndex) const;
    bool loadFile(const std::string& path, std::vector<unsigned char>& bytes, std::string& why) const;
    bool exportEncoded(const std::vector<unsigned char>& bytes, const std::string& destination, ExportedTexture& result,
                       std::string& why) const;
    bool exportRaw(const aiTexture& texture, const std::string& destination, ExportedTexture& result,
                   std::string& why) const;
    std::string uniqueDestinationName(const std::string& reference);
    std::string texFolder() const;
    bool ensureTexFolder();

    const aiScene& m_scene;
    std::string m_sourceFolder;
    std::string m_modelFolder;
    Messages& m_messages;
    std::map<std::string, ExportedTexture> m_done; // by reference
    std::map<std::string, ExportedTexture> m_doneBySource; // by file path or embedded texture
    std::set<std::string> m_usedNamesLower;
    bool m_texFolderReady = false;
};

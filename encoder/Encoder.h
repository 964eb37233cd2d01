#pragma once

#include "EncoderOptions.h"
#include "Messages.h"

#include <map>
#include <string>
#include <vector>

struct aiScene;
class ImportLog;

// One conversion: checks the input, imports it with Assimp, writes the
// bundle, then the material file and textures. Every problem ends up in
// `messages`; the result is the process exit code (0 converted, 1 failed).
class Encoder {
public:
    Encoder(const EncoderOptions& options, Messages& messages);
    int run();

    // Plans and writes the bundle, material file and textures of a scene already read;
    // `unreadMeshObjects` counts the meshes the source declares that did not come through.
    int convertScene(const aiScene& scene, bool fullCameraAngles, size_t unreadMeshObjects = 0);

    // At most `perCode` lines of each warning code, then one line saying how
    // many more there were: a damaged file with thousands of empty meshes
    // should not bury the application's log window. Errors are all kept.
    static Messages limitRepeats(const Messages& messages, unsigned perCode);

private:
    // What the importer logged while reading, as warnings.
    void reportImportLog(const ImportLog& log);
    // Warns about each mesh object the file declares that came through without triangles; returns how many.
    size_t reportUnreadObjects(const aiScene& scene, const std::vector<std::string>& meshObjects);

    EncoderOptions m_options;
    Messages& m_messages;
    std::map<std::string, float> m_diffuseFactors; // of an FBX source's materials, read beside Assimp
};

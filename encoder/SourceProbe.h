#pragma once

#include "FbxNode.h"
#include "Messages.h"

#include <map>
#include <string>
#include <vector>

// Looks at the input before Assimp does, to turn the failures users meet most
// (damaged binary FBX headers, missing or empty files, a glTF whose buffer
// file was not copied along) into errors that say what is wrong.
class SourceProbe {
public:
    struct FbxHeader {
        bool isFbx = false;
        bool binary = false;
        bool bigEndian = false;
        bool damaged = false;
        unsigned version = 0; // e.g. 7400; 0 when unknown
    };

    // Reads the header of a file's first bytes; pure, for tests.
    static FbxHeader inspect(const std::string& head);

    // Whether every embedded file ("Content:" followed by a quoted string) of
    // an ASCII FBX text is well-formed base64. Assimp frees the buffer of a
    // malformed one twice, so such files must not reach it.
    static bool embeddedContentIsSound(const std::string& text);

    // The external files a glTF text's "buffers" name by relative "uri",
    // percent-decoded; embedded "data:" buffers are not listed. Pure, for tests.
    static std::vector<std::string> gltfBufferFiles(const std::string& json);

    // The names of the objects an FBX file declares as meshes ("Model::Name", "Mesh"), in file order:
    // what the file promises to hold, whatever the importer then manages to read of it.
    static std::vector<std::string> meshObjectNames(const std::string& path, bool binary);

    // The "DiffuseFactor" each material of an FBX file sets, by material name. Assimp folds it into the
    // diffuse colour, which a diffuse map then replaces, so the factor a map is drawn with is lost there.
    static std::map<std::string, float> diffuseFactors(const std::string& path, bool binary);

    // Whether `path` ends in `suffix` (given in lower case), in any case.
    static bool hasSuffix(const std::string& path, const char* suffix);
    // The same from a file's node tree in the 7.x layout, for files read into one.
    static std::vector<std::string> meshObjectNames(const FbxDocument& document);
    static std::map<std::string, float> diffuseFactors(const FbxDocument& document);

    // Appends the file's bytes to `bytes`; false when it cannot be opened or read.
    static bool readWholeFile(const std::string& path, std::string& bytes);

    // Returns false and reports an error when the file cannot be converted.
    // `header` receives what the file's first bytes say.
    static bool check(const std::string& path, Messages& messages, FbxHeader& header);

private:
    static bool gltfBuffersPresent(const std::string& path, Messages& messages);
};

#pragma once

#include "FbxObjectSink.h"
#include "SourceProbe.h"

#include <map>
#include <string>
#include <vector>

namespace Assimp {
class Importer;
}
struct aiScene;

// How a model file reaches the importer. Most go to it by path, as they are. Big-endian binary FBX
// files and files older than FBX 7.1, which it cannot read, are read into their node tree here and
// handed over from memory, rewritten as little-endian binary FBX 7.5; the object model of the old
// files (objects named rather than numbered, geometry inside the model, takes) is translated to the
// 7.x layout on the way. What the encoder reads from an FBX file beside the importer (the mesh
// objects it declares, its materials' diffuse factors) comes from that tree when there is one, so
// it holds for rewritten files alike.
class FbxSource {
public:
    enum class Route { AS_IS, REWRITTEN };

    static Route routeFor(const SourceProbe::FbxHeader& header);

    FbxSource(const std::string& path, const SourceProbe::FbxHeader& header);

    // The importer's scene, or null with the reason in `error`. The steps are the importer's
    // post-processing flags.
    const aiScene* import(Assimp::Importer& importer, unsigned steps, std::string& error);

    // Empty for files other than FBX. Valid after import().
    const std::vector<std::string>& meshObjectNames() const { return m_meshObjectNames; }
    const std::map<std::string, float>& diffuseFactors() const { return m_diffuseFactors; }
    // What the translation of an old file could not carry; empty for other files.
    const std::vector<FbxObjectSink::Part>& leftOut() const { return m_leftOut; }

private:
    const aiScene* importRewritten(Assimp::Importer& importer, unsigned steps, std::string& error);

    std::string m_path;
    SourceProbe::FbxHeader m_header;
    std::vector<std::string> m_meshObjectNames;
    std::map<std::string, float> m_diffuseFactors;
    std::vector<FbxObjectSink::Part> m_leftOut;
};

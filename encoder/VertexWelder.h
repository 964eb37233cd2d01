#pragma once

#include <assimp/vector3.h>

#include <cstdint>
#include <vector>

struct aiMesh;

// Merges the vertices that would be written the same: equal position and
// bone influences, and normal, first colour set, tangent frame and texture
// coordinates equal within 1e-5 (exporters leave rounding noise in
// per-corner normals). FBX stores one vertex per polygon corner whose
// position comes from a shared control point, so duplicates have bit-equal
// positions; hashing those finds them with a few comparisons each, where a
// general spatial search would cost most of the conversion time.
struct VertexWeld {
    std::vector<uint32_t> remap; // source vertex -> written vertex
    std::vector<uint32_t> source; // written vertex -> a source vertex holding its data
};

class VertexWelder {
public:
    // `jointOfBone` gives, per bone of the mesh, its joint index or -1 for a
    // bone that is dropped; empty when the mesh is written without skin.
    // `normals` are the normals that will be written, one per source vertex, or null.
    static VertexWeld weld(const aiMesh& mesh, const aiVector3D* normals, unsigned texCoordSets, bool colors,
                           bool tangents, const std::vector<int>& jointOfBone);
};

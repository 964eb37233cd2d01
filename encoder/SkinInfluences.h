#pragma once

#include <cstdint>
#include <vector>

struct aiMesh;

// The bone influences of every vertex of one mesh, numbered by the skin's
// joints and grouped by vertex: those of vertex v are list[first[v]] up to
// list[first[v + 1]]. Assimp stores them per bone; the welder and the writer
// both need them per vertex.
struct SkinInfluences {
    struct Influence {
        int joint;
        float weight; // as the source gives it
    };

    std::vector<uint32_t> first; // one more than the mesh has vertices
    std::vector<Influence> list;

    // `jointOfBone` gives, per bone of the mesh, its joint index or -1 for a
    // bone that is dropped. Weights naming no vertex of the mesh are left out.
    static SkinInfluences gather(const aiMesh& mesh, const std::vector<int>& jointOfBone);
};

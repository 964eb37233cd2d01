#pragma once

#include "BundlePlan.h"

#include <cstdint>

struct aiMesh;

// Builds a planned mesh's index lists and orders them for the GPU:
// triangles for the post-transform vertex cache (per part, since each part is
// drawn on its own), then vertices in the order the triangles first use them,
// so that fetching them streams through memory. What is drawn stays the same:
// every triangle keeps its corners and their winding.
class MeshOrder {
public:
    // Vertices transformed per triangle with a 16-entry FIFO cache, summed over
    // meshes: misses / triangles is the average cache miss ratio (ACMR).
    struct CacheMisses {
        double before = 0; // in the order the source gives
        double after = 0;
        double triangles = 0;
    };

    // Fills every piece's `indices` and the mesh's `writeOrder`; adds to `misses`.
    static void build(PlanMesh& mesh, const aiMesh* const* sourceMeshes, CacheMisses& misses);

    // The indices of one piece as the source gives them: its triangles, in mesh-wide welded
    // numbering starting at `base`, reversed where the mesh mirrors.
    static std::vector<uint32_t> sourceIndices(const aiMesh& source, const VertexWeld& weld, uint32_t base,
                                               bool reverseWinding);
};

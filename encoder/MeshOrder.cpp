#include "MeshOrder.h"

#include <assimp/mesh.h>
#include <meshoptimizer.h>

namespace {

// A common size for the post-transform caches of the GPUs the viewer runs on.
const unsigned kCacheSize = 16;

double transformedVertices(const std::vector<uint32_t>& indices, uint32_t vertexCount)
{
    if (indices.empty())
        return 0;
    return meshopt_analyzeVertexCache(indices.data(), indices.size(), vertexCount, kCacheSize, 0, 0)
        .vertices_transformed;
}

// The vertices the indices name, each counted once: no order of the
// triangles transforms fewer.
double distinctVertices(const std::vector<uint32_t>& indices, uint32_t vertexCount)
{
    std::vector<bool> seen(vertexCount, false);
    double count = 0;
    for (uint32_t index : indices) {
        if (index < vertexCount && !seen[index]) {
            seen[index] = true;
            ++count;
        }
    }
    return count;
}

} // namespace

std::vector<uint32_t> MeshOrder::sourceIndices(const aiMesh& source, const VertexWeld& weld, uint32_t base,
                                               bool reverseWinding)
{
    static const unsigned kKeep[3] = {0, 1, 2}, kReverse[3] = {0, 2, 1};
    const unsigned* order = reverseWinding ? kReverse : kKeep;
    std::vector<uint32_t> indices;
    indices.reserve(size_t(source.mNumFaces) * 3);
    for (unsigned f = 0; f < source.mNumFaces; ++f) {
        const aiFace& face = source.mFaces[f];
        if (face.mNumIndices != 3 || !face.mIndices)
            continue;
        for (unsigned k = 0; k < 3; ++k) {
            // An index past the vertices (a damaged file) is pinned to the first vertex.
            const uint32_t corner = face.mIndices[order[k]];
            indices.push_back(base + weld.remap[corner < source.mNumVertices ? corner : 0]);
        }
    }
    return indices;
}

void MeshOrder::build(PlanMesh& mesh, const aiMesh* const* sourceMeshes, CacheMisses& misses)
{
    uint32_t base = 0;
    std::vector<uint32_t> optimized;
    for (PlanPiece& piece : mesh.pieces) {
        // A piece uses only its own vertices: ordered in its own numbering, the work and memory per
        // piece follow its size, not the whole mesh's, however many pieces there are.
        const aiMesh& source = *sourceMeshes[piece.sourceMesh];
        const uint32_t pieceVertices = uint32_t(piece.weld.source.size());
        piece.indices = sourceIndices(source, piece.weld, 0, mesh.reverseWinding);
        const double transformed = transformedVertices(piece.indices, pieceVertices);
        misses.before += transformed;
        misses.triangles += double(piece.indices.size() / 3);
        // An order that transforms every vertex once is kept: searching for
        // a better one would take longer than the rest of the planning (a
        // 200 000 triangle mesh of unshared faces) and find none.
        if (transformed <= distinctVertices(piece.indices, pieceVertices)) {
            misses.after += transformed;
        } else {
            optimized.resize(piece.indices.size());
            meshopt_optimizeVertexCache(optimized.data(), piece.indices.data(), piece.indices.size(), pieceVertices);
            piece.indices.swap(optimized);
            misses.after += transformedVertices(piece.indices, pieceVertices);
        }
        for (uint32_t& index : piece.indices)
            index += base;
        base += pieceVertices;
    }

    // One fetch order over all parts, which share the vertex buffer.
    std::vector<uint32_t> all;
    for (const PlanPiece& piece : mesh.pieces)
        all.insert(all.end(), piece.indices.begin(), piece.indices.end());
    std::vector<uint32_t> newIndexOf(mesh.vertexCount);
    const size_t used = all.empty()
        ? 0
        : meshopt_optimizeVertexFetchRemap(newIndexOf.data(), all.data(), all.size(), mesh.vertexCount);
    std::vector<uint32_t>().swap(all);
    // Vertices no triangle uses are kept, after the others, in their old order.
    uint32_t next = uint32_t(used);
    mesh.writeOrder.assign(mesh.vertexCount, 0);
    for (uint32_t old = 0; old < mesh.vertexCount; ++old) {
        if (used == 0 || newIndexOf[old] == ~0u)
            newIndexOf[old] = next++;
        mesh.writeOrder[newIndexOf[old]] = old;
    }
    for (PlanPiece& piece : mesh.pieces) {
        for (uint32_t& index : piece.indices)
            index = newIndexOf[index];
    }
}

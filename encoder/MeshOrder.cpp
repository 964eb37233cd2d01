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
        const aiMesh& source = *sourceMeshes[piece.sourceMesh];
        piece.indices = sourceIndices(source, piece.weld, base, mesh.reverseWinding);
        base += uint32_t(piece.weld.source.size());
        misses.before += transformedVertices(piece.indices, mesh.vertexCount);
        misses.triangles += double(piece.indices.size() / 3);
        optimized.resize(piece.indices.size());
        if (!piece.indices.empty())
            meshopt_optimizeVertexCache(optimized.data(), piece.indices.data(), piece.indices.size(), mesh.vertexCount);
        piece.indices.swap(optimized);
        misses.after += transformedVertices(piece.indices, mesh.vertexCount);
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

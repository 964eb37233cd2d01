#pragma once

#include <cstddef>

class Messages;
struct aiMesh;
struct aiScene;

// Vertices whose position is not a number or infinite (damaged files, broken exporters) would
// make every bound of the model, and with it the camera that frames it, meaningless. The
// triangles (and lines and points) that use such a vertex are dropped with a warning; the vertex
// itself stays, unused, so that bones and morph targets still index the same vertices, and takes
// a finite position of its mesh so that it bounds nothing. A mesh left without faces is then
// skipped like any empty mesh.
class NonFiniteVertices {
public:
    static void dropFrom(aiScene& scene, Messages& messages);
    // How many faces were dropped from mesh.
    static size_t dropFrom(aiMesh& mesh);
};

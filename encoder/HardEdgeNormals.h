#pragma once

#include <cstddef>

struct aiMesh;
struct aiScene;

// Normals for meshes that come without any (PLY, STL, some OBJ and glTF files). Where two faces
// meet at more than kCreaseDegrees their edge stays hard: each face corner takes the
// area-weighted normal of only those faces at its point that bend less than that from its own
// face. The mesh's vertices are first split into one per face corner, so that corners at one
// point can differ; the welder joins the equal ones again. A cube stays a cube, a sphere stays
// round.
class HardEdgeNormals {
public:
    static constexpr float kCreaseDegrees = 45.0f;
    // More faces than this at one point are smoothed together (see addTo).
    static constexpr size_t kMaxFacesAtPoint = 256;

    // Every mesh of the scene that has faces and no normals.
    static void addTo(aiScene& scene);
    static void addTo(aiMesh& mesh);
};

#pragma once

#include "Messages.h"

#include <assimp/vector3.h>

#include <array>
#include <vector>

struct aiMesh;
struct aiScene;

// Splits the polygons of imported meshes into triangles that cover each polygon's whole area, however
// concave or many-cornered it is. A polygon of n corners becomes n - 2 triangles over its own
// vertices, so all that is stored per vertex (normals, texture coordinates, colours, tangents, bone
// weights, morph targets) stays as it was. The polygon is laid onto the plane its normal (Newell's)
// is closest to and cut ear by ear; a grid index in z-order finds the corners near an ear, so a
// polygon of tens of thousands of corners takes milliseconds.
class PolygonTriangulator {
public:
    using Triangle = std::array<unsigned, 3>; // corner numbers, counter-clockwise about the polygon's normal

    // A polygon that has no area or crosses itself gives no triangles: which area it means is
    // anybody's guess, and triangles over area it does not mean would be drawn as if modelled.
    enum class Outcome {
        Complete, // n - 2 triangles that cover the polygon exactly
        NoArea, // all corners lie on one line or point
        CrossesItself, // its outline crosses itself (or the cut found no triangles that cover it exactly)
    };

    static Outcome triangulate(const std::vector<aiVector3D>& corners, std::vector<Triangle>& triangles);

    // Every face of more than three corners in the scene's meshes; each polygon not triangulated
    // is left out and reported with its mesh and corner count.
    static void apply(aiScene& scene, Messages& messages);
    static void apply(aiMesh& mesh, Messages& messages);
};

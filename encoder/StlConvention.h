#pragma once

#include "Messages.h"

#include <string>

struct aiMesh;
struct aiScene;

// What an STL file leaves to convention. The format names no axes; 3D printers, CAD tools and
// Blender read it Z-up. Each facet carries a normal beside its corners, which are counter-clockwise
// seen from outside; some writers put normals in that point inwards, which would draw the model dark.
class StlConvention {
public:
    // Declares the scene Z-up in its metadata, the way FBX files declare their axes, so that the
    // planner stands it upright like any other source; replaces the normals that point against their
    // facet's winding (or are zero) by the winding's, and reports how many facets had them.
    static void apply(aiScene& scene, const std::string& path, Messages& messages);

    // The facets of `mesh` whose normals were replaced because they pointed against the winding.
    static size_t fixNormals(aiMesh& mesh);
};

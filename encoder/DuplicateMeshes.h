#pragma once

#include <vector>

struct aiScene;

// Exporters write an object's copies (instances, linked duplicates) either as one mesh that
// several nodes name, or as meshes of their own that hold the same data. Finding the second kind
// lets the bundle keep one record for all of them.
class DuplicateMeshes {
public:
    // Per mesh of the scene, the index of the first mesh that holds exactly the same geometry,
    // whatever its material (itself when there is none earlier).
    static std::vector<unsigned> firstCopies(const aiScene& scene);
};

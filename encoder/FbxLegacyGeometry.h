#pragma once

#include "FbxNode.h"

#include <string>
#include <utility>
#include <vector>

// The mesh of an old file's model as a Geometry object of the newer layout. FBX 6 keeps the
// geometry and its layers (normals, UVs, colours, materials per polygon, ...) inside the Model;
// FBX 5 keeps normals, UVs and the material assignment there as plain fields.
class FbxLegacyGeometry {
public:
    struct Mesh {
        FbxNode geometry; // the object node; its id is given when it is added
        // Which texture (by the model's texture connections) each material (by the model's material
        // connections) is drawn with, as the texture layer assigns them; empty when there is no layer.
        std::vector<std::pair<int, int>> materialTextures;
        bool hasTextureLayer = false;
        std::vector<std::string> leftOut; // what the model held beyond the mesh and its layers
    };

    static Mesh translate(const FbxNode& model);
    // For a model without materials: indices into an empty list would only be reported as errors.
    static void dropMaterialLayer(FbxNode& geometry);

private:
    static FbxNode layerElement(const FbxNode& old);
    static FbxNode layer(const FbxNode& old);
    static void addVersion5Layers(const FbxNode& model, FbxNode& geometry, size_t corners);
    static void addMissingLayer(FbxNode& geometry);
    static void dropUnresolvedLayerEntries(FbxNode& geometry);
    static void readMaterialTextures(const FbxNode& geometry, Mesh& mesh);
};

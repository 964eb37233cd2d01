#pragma once

#include "BundleProblem.h"
#include "math/BoundingBox.h"
#include "math/BoundingSphere.h"
#include "math/Matrix.h"
#include "math/Vector3.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine {

// What a ".gpb" bundle holds, as plain values: read without any OpenGL call
// (BundleReader), then turned into engine objects (Bundle) or summarised.
struct BundleData {
    enum ReferenceType : uint32_t { SCENE = 1, NODE = 2, ANIMATIONS = 3, MESH = 34 };
    enum NodeType : uint32_t { PLAIN_NODE = 1, JOINT = 2 };
    enum CameraType : uint8_t { NO_CAMERA = 0, PERSPECTIVE = 1, ORTHOGRAPHIC = 2 };
    enum LightType : uint8_t { NO_LIGHT = 0, DIRECTIONAL = 1, POINT = 2, SPOT = 3 };

    struct Reference {
        std::string id;
        uint32_t type = 0;
        uint32_t offset = 0;
    };

    struct Camera {
        CameraType type = NO_CAMERA;
        float aspectRatio = 0, nearPlane = 0, farPlane = 0;
        float fieldOfView = 0; // perspective
        float zoomX = 0, zoomY = 0; // orthographic
    };

    struct Light {
        LightType type = NO_LIGHT;
        Vector3 color;
        float range = 0, innerAngle = 0, outerAngle = 0;
    };

    struct Skin {
        Matrix bindShape;
        std::vector<std::string> jointIds; // as written: "#" and a node id
        std::vector<Matrix> inverseBindPoses; // one per joint, or none
        std::vector<int> joints; // index into nodes per joint id; a skin missing one is not kept
    };

    struct Model {
        int mesh = -1; // index into meshes
        bool hasSkin = false;
        Skin skin;
        std::vector<std::string> materials; // names in the material file, one per part
    };

    struct Node {
        std::string id;
        NodeType type = PLAIN_NODE;
        Matrix transform;
        bool hasOffset = false; // bundles of version 4 and later
        Matrix offset;
        int parent = -1; // index into nodes; -1 at the top
        std::vector<int> children;
        Camera camera;
        Light light;
        bool hasModel = false;
        Model model;
    };

    struct VertexElement {
        uint32_t usage = 0;
        uint32_t size = 0; // floats
    };

    struct Part {
        uint32_t index = 0; // place in the mesh record, which the model's material names follow
        uint32_t primitiveType = 0;
        uint32_t indexFormat = 0;
        uint32_t indexCount = 0;
        const unsigned char* indices = nullptr; // into bytes: indexCount indices of the format's size
    };

    struct Mesh {
        std::string id;
        std::vector<VertexElement> format;
        uint32_t vertexSize = 0; // bytes
        uint32_t vertexCount = 0;
        const unsigned char* vertices = nullptr; // into bytes: vertexCount * vertexSize
        BoundingBox boundingBox;
        BoundingSphere boundingSphere;
        std::vector<Part> parts;
    };

    struct Channel {
        int target = -1; // index into nodes
        uint32_t attribute = 0;
        std::vector<uint32_t> keyTimes;
        std::vector<float> keyValues;
    };

    struct Animation {
        std::string id;
        std::vector<Channel> channels;
    };

    // The whole file: vertex and index data are read in place, not copied.
    std::shared_ptr<const std::vector<unsigned char>> bytes;
    uint8_t versionMajor = 0;
    uint8_t versionMinor = 0;

    std::string sceneId;
    std::vector<int> roots; // top-level nodes of the scene, in order
    int activeCameraNode = -1;
    Vector3 ambientColor;

    std::vector<Node> nodes;
    // Nodes outside the scene tree loaded to resolve skin joints; their
    // subtrees hang below them.
    std::vector<int> detachedRoots;
    std::vector<Mesh> meshes;
    std::vector<Animation> animations;

    // The material name of each part the reader kept (empty for none), or
    // every name when the mesh has no parts and they all go to the model.
    std::vector<std::string> materialsOf(const Model& model) const
    {
        const std::vector<Part>& parts = meshes[size_t(model.mesh)].parts;
        if (parts.empty())
            return model.materials;
        std::vector<std::string> names;
        for (const Part& part : parts)
            names.push_back(part.index < model.materials.size() ? model.materials[part.index] : std::string());
        return names;
    }

    // What the read left out; everything above is what it kept.
    BundleProblems problems;
};

} // namespace engine

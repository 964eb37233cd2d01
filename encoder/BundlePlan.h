#pragma once

#include "VertexWelder.h"

#include <assimp/matrix4x4.h>
#include <assimp/vector3.h>

#include <cstdint>
#include <string>
#include <vector>

// Everything the bundle will hold, decided before a single byte is written:
// the node tree with its ids, which source meshes each node's mesh record
// combines, skins, cameras, lights and sampled animation channels. Knowing
// all ids up front lets the writer lay out the reference table first and
// stream the records after it.

struct VertexLayout {
    bool colors = false;
    bool tangents = false; // tangent and binormal
    unsigned texCoordSets = 0; // 2 floats each
    bool skinned = false; // blend weights and blend indices, 4 floats each

    bool operator==(const VertexLayout& o) const
    {
        return colors == o.colors && tangents == o.tangents && texCoordSets == o.texCoordSets && skinned == o.skinned;
    }
    // (usage, size in floats) pairs in the order they are interleaved.
    std::vector<std::pair<uint32_t, uint32_t>> elements() const;
    uint32_t floatsPerVertex() const;
};

// What each vertex element holds, with the engine's codes (engine/VertexFormat.h); texture coordinate
// set n is TEXCOORD0 + n.
enum class VertexUsage : uint32_t {
    POSITION = 1,
    NORMAL = 2,
    COLOR = 3,
    TANGENT = 4,
    BINORMAL = 5,
    BLENDWEIGHTS = 6,
    BLENDINDICES = 7,
    TEXCOORD0 = 8
};
// The kinds the bundle's node records store, with the engine's codes (engine/Camera.h, Light.h, Node.h).
enum class CameraType : uint8_t { NONE = 0, PERSPECTIVE = 1, ORTHOGRAPHIC = 2 };
enum class LightType : uint8_t { NONE = 0, DIRECTIONAL = 1, POINT = 2, SPOT = 3 };
enum class NodeType : uint32_t { NODE = 1, JOINT = 2 };
// Record kinds of the bundle's reference table.
enum class ReferenceType : uint32_t { SCENE = 1, NODE = 2, ANIMATIONS = 3, MESH = 34 };

struct PlanCamera {
    CameraType type = CameraType::NONE;
    float aspectRatio = 1, nearPlane = 0.1f, farPlane = 1000, fieldOfView = 45, zoomX = 1, zoomY = 1;
};

struct PlanLight {
    LightType type = LightType::NONE;
    float color[3] = {1, 1, 1};
    float range = 1, innerAngle = 0, outerAngle = 0;
    std::string name; // as the source names it, for messages
};

struct PlanPiece {
    unsigned sourceMesh = 0; // index into aiScene::mMeshes
    std::vector<int> jointOfBone; // per aiBone of the source mesh: joint index in the skin, -1 dropped
    VertexWeld weld; // which source vertices are written, and where each one went
    std::vector<uint32_t> indices; // triangles in the mesh's vertex numbering, in drawing order
};

struct PlanMesh {
    std::string id;
    int node = -1; // the first node drawn with it; instances of a mesh share one record
    VertexLayout layout;
    std::vector<PlanPiece> pieces; // one mesh part each
    uint32_t vertexCount = 0; // after welding
    // Per written vertex, its number when the pieces' welded vertices are taken one piece after another.
    std::vector<uint32_t> writeOrder;
    aiVector3D boxMin, boxMax;
    bool reverseWinding = false; // the node mirrors (negative scale): keep faces facing out
    std::vector<int> joints; // plan node per joint; empty: no skin
    std::vector<aiMatrix4x4> inverseBindPoses;
    aiMatrix4x4 bindShape;
};

struct PlanNode {
    std::string id;
    int parent = -1;
    std::vector<int> children;
    NodeType type = NodeType::NODE;
    aiMatrix4x4 local;
    aiMatrix4x4 world;
    int mesh = -1;
    std::vector<std::string> materials; // per piece of the mesh: each node lit by its own light
    PlanCamera camera;
    PlanLight light;
};

struct PlanChannel {
    int node = -1;
    std::vector<uint32_t> keyTimes; // milliseconds
    std::vector<float> keyValues; // 10 per key: scale xyz, rotation xyzw, translation xyz
};

struct PlanAnimation {
    std::string id;
    std::vector<PlanChannel> channels;
};

struct BundlePlan {
    std::string sceneId;
    std::string animationsId;
    std::vector<PlanNode> nodes; // parents always before their children
    std::vector<int> topLevel;
    std::vector<PlanMesh> meshes;
    unsigned sharedMeshUses = 0; // nodes drawn with a mesh record that an earlier node wrote
    double cacheMissesBefore = 0, cacheMissesAfter = 0, triangles = 0; // see MeshOrder::CacheMisses
    std::vector<PlanAnimation> animations;
    std::string activeCamera; // node id, or empty
    // None unless the source gives one: materials are lit in linear space,
    // where a grey ambient would lift every unlit side to a light grey; the
    // model shader keeps a small floor of its own.
    float ambient[3] = {0.0f, 0.0f, 0.0f};
    unsigned lightCounts[4] = {0, 0, 0, 0}; // indexed by LightType

    unsigned lightCount(LightType type) const { return lightCounts[size_t(type)]; }
};

// Animation channel key layout: the "scale, rotate, translate" transform property.
constexpr uint32_t kChannelAttribute = 17;
constexpr uint32_t kChannelComponents = 10;

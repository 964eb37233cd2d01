#pragma once

#include "BinaryWriter.h"
#include "BundlePlan.h"
#include "Messages.h"

#include <string>

struct aiScene;

// Writes a BundlePlan as the engine's binary bundle, version 4.0: header,
// reference table (scene, every node, every mesh, the animations), then the
// scene record with all nodes inline, the mesh records and the animations
// record. The file is written under a temporary name in the same folder and
// renamed over the target only when complete, so a failed conversion never
// leaves a half-written bundle behind.
class BundleWriter {
public:
    BundleWriter(const aiScene& scene, const BundlePlan& plan, Messages& messages);

    bool write(const std::string& path);

    // Highest vertex count whose indices are written as unsigned short.
    static constexpr uint32_t kMaxShortIndexedVertices = 65535;

private:
    void writeNode(int index);
    void writeMatrix(const aiMatrix4x4& m);
    void writeCamera(const PlanCamera& camera);
    void writeLight(const PlanLight& light);
    void writeModel(const PlanNode& node);
    void writeMesh(const PlanMesh& mesh);
    void writeIndices(const std::vector<uint32_t>& indices, unsigned indexSize);
    void writeAnimations();

    const aiScene& m_scene;
    const BundlePlan& m_plan;
    Messages& m_messages;
    BinaryWriter m_out;
    std::vector<uint32_t> m_nodeOffsets;
    std::vector<uint32_t> m_meshOffsets;
};

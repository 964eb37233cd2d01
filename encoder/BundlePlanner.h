#pragma once

#include "BundlePlan.h"
#include "EncoderOptions.h"
#include "IdRegistry.h"
#include "Messages.h"

#include <map>
#include <set>
#include <string>
#include <vector>

struct aiScene;
struct aiNode;
struct aiMesh;
class MaterialPlanner;
struct LightChoice;

// Turns an imported Assimp scene into a BundlePlan. Reports what it has to
// leave out (unsupported lights, points and lines, empty meshes, missing bones
// or animation targets) as warnings; fails only on structural trouble.
class BundlePlanner {
public:
    BundlePlanner(const aiScene& scene, const EncoderOptions& options, Messages& messages, MaterialPlanner& materials);

    // Assimp documents a camera's horizontal angle as half the view, but its
    // FBX reader stores the whole angle; the encoder knows which it read.
    void setFullCameraAngles(bool full) { m_fullCameraAngles = full; }
    // Assimp's glTF reader passes a spot light's cone on as glTF stores it,
    // measured from the axis; its other readers (FBX, Collada, 3DS) give the
    // whole cone.
    void setSpotAnglesFromAxis(bool fromAxis) { m_spotAnglesFromAxis = fromAxis; }

    bool build(BundlePlan& plan);

    // Deepest node nesting accepted (levels below a top-level node, which is level 0). The
    // engine's bundle reader, which every program that opens the container uses, reads nodes up
    // to 256 levels below a top-level node and refuses the whole bundle beyond; the planner keeps
    // one level free for the nodes it adds below a node of the source (a second mesh part, a
    // camera's or light's frame). Deeper trees come only from broken or hostile files.
    static constexpr unsigned kMaxDepth = 256;

private:
    bool addNodeTree(BundlePlan& plan);
    void markJoints(BundlePlan& plan);
    void attachCameras(BundlePlan& plan);
    void attachLights(BundlePlan& plan);
    void setAmbient(BundlePlan& plan) const;
    void addMeshes(BundlePlan& plan);
    void addSkin(BundlePlan& plan, PlanMesh& mesh);
    void computeWorldMatrices(BundlePlan& plan);
    void shareMeshes(BundlePlan& plan);
    void weldVertices(BundlePlan& plan);
    void setLightRanges(BundlePlan& plan);
    void assignMaterials(BundlePlan& plan);
    void reportLightsLeftOut(const BundlePlan& plan, const std::string& material, const LightChoice& choice,
                             std::set<std::string>& reported);
    void addAnimations(BundlePlan& plan);
    std::string animationGroup(const BundlePlan& plan, const std::string& take, int node) const;

    // Whether a camera, light, animation channel or bone names `name`.
    bool nameIsReferenced(const std::string& name) const;
    int findNode(const std::string& name) const;
    int addSyntheticChild(BundlePlan& plan, int parent, const std::string& suffix, const aiMatrix4x4& local);
    bool usablePiece(unsigned meshIndex);
    VertexLayout layoutOf(const aiMesh& mesh) const;

    const aiScene& m_scene;
    EncoderOptions m_options;
    Messages& m_messages;
    MaterialPlanner& m_materials;
    IdRegistry m_ids;
    aiMatrix4x4 m_rootCorrection;
    bool m_fullCameraAngles = false;
    bool m_spotAnglesFromAxis = false;
    std::map<std::string, int> m_nodeByName; // first node with each source name
    std::vector<const aiNode*> m_sourceOf; // per plan node; null for nodes we add
    std::vector<std::vector<unsigned>> m_nodeMeshes; // source meshes per plan node
};

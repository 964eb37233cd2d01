#pragma once

#include "BundleData.h"
#include "BundleReader.h"
#include "Properties.h"
#include "Ref.h"

#include <string>
#include <vector>

namespace engine {

class Material;
class Mesh;
class Node;
class Scene;

// A ".gpb" bundle turned into engine objects: nodes with their cameras,
// lights, models, skins and animations. Reading is left to BundleReader;
// this side only builds, and makes no OpenGL call except when it creates
// materials (meshes upload on their first draw).
class Bundle : public Ref {
public:
    // Null when the file cannot be read or its header or table is bad. A
    // relative path lies in the resource folder 'folder', which the names
    // of its material file are relative to as well.
    static Bundle* create(const std::string& folder, const char* path);
    // From bytes already in memory; 'path' names it (and its material file).
    static Bundle* create(const std::string& folder, const char* path, std::vector<unsigned char> bytes);

    // With 'false', part materials are looked up by name only (no effect is
    // compiled), so that a bundle can be loaded without a current context.
    void setLoadMaterials(bool load) { m_loadMaterials = load; }

    // Null id: the first scene of the table. The caller owns the reference;
    // null when the scene cannot be read.
    Scene* loadScene(const char* id = nullptr);
    // One node and its subtree outside any scene, with its skins and the
    // animations that target it. The caller owns the reference.
    Node* loadNode(const char* id);

    const char* getPath() const { return m_path.c_str(); }
    // The ".material" file beside the bundle; empty when there is none.
    const std::string& getMaterialPath();

    // Material names of the last load that the material file does not hold
    // (or whose material did not build); their parts are not drawn.
    const std::vector<std::string>& getMissingMaterials() const { return m_missingMaterials; }
    // What the last load left out, and why (materials included).
    const BundleProblems& getProblems() const { return m_problems; }

    // The namespace of the material with exactly this id in the material
    // file, or null; the caller owns it.
    static Properties* findMaterial(const std::string& materialPath, const std::string& name, Properties::Cache* cache);
    // Why a name has no material: no file, or no such id in it.
    static std::string missingMaterialReason(const std::string& materialPath);

private:
    Bundle(const std::string& folder, const char* path);
    ~Bundle() override;

    // Engine objects for every node of 'data', indexed like data.nodes, each
    // holding the one reference of its creation.
    std::vector<Node*> buildNodes(const BundleData& data);
    void attachModel(const BundleData& data, const BundleData::Node& source, Node* node, std::vector<Mesh*>& meshes,
                     const std::vector<Node*>& nodes);
    Mesh* buildMesh(const BundleData::Mesh& source, const BundleData& data);
    // Null for a name the material file lacks, and always when materials
    // are not loaded.
    Material* materialNamed(const std::string& name);
    void noteMissing(const std::string& name, const std::string& reason);
    void notePath(const BundleProblem& problem);
    static void buildAnimations(const BundleData& data, const std::vector<Node*>& nodes);
    static void setBindWorldMatrices(const BundleData& data, const std::vector<Node*>& nodes);
    void beginLoad();

    std::string m_folder;
    std::string m_path;
    bool m_materialPathKnown = false;
    std::string m_materialPath;
    bool m_loadMaterials = true;
    BundleReader m_reader;
    Properties::Cache m_materialCache;
    std::vector<std::string> m_missingMaterials;
    BundleProblems m_problems;
};

} // namespace engine

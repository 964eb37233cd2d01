#pragma once

#include "BundleData.h"

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace engine {

// Reads a ".gpb" bundle into BundleData without touching OpenGL. The whole
// file is held in memory; every count and offset in it is checked against
// the bytes that are there before anything is allocated for it. A read that
// fails leaves the output empty and says why in error().
class BundleReader {
public:
    // Checks the header and reads the reference table.
    bool open(std::vector<unsigned char> bytes);
    // Through FileSystem: relative names are under the resource path.
    bool openFile(const char* path);

    // The scene with that id (null: the first scene in the table) with its
    // nodes, meshes, skins (joints resolved) and animations.
    bool readScene(const char* id, BundleData* out);
    // One node and its subtree outside any scene; it becomes out->roots[0].
    bool readNode(const char* id, BundleData* out);

    const std::string& error() const { return m_error; }
    uint8_t versionMajor() const { return m_versionMajor; }
    uint8_t versionMinor() const { return m_versionMinor; }
    const std::vector<BundleData::Reference>& references() const { return m_references; }
    size_t fileSize() const { return m_bytes->size(); }

private:
    struct Cursor;

    bool fail(const std::string& reason);
    void beginRead(BundleData* out);
    bool finishRead(bool ok);
    const BundleData::Reference* findReference(const std::string& id, uint32_t type) const;
    std::string idAt(size_t offset) const;

    bool readNodeRecord(Cursor& c, int depth, int parent, int* index);
    bool readChildren(Cursor& c, int depth, int parent);
    bool skipNodeRecord(Cursor& c, int depth);
    bool readAttachments(Cursor& c, BundleData::Node* node, bool keep);
    bool readCamera(Cursor& c, BundleData::Camera* camera);
    bool readLight(Cursor& c, BundleData::Light* light);
    bool readModel(Cursor& c, BundleData::Model* model, bool* hasModel, bool keep);
    bool readSkin(Cursor& c, BundleData::Skin* skin, bool* usable);
    int loadMesh(const std::string& id);
    bool readMesh(Cursor& c, BundleData::Mesh* mesh);
    bool readAnimations(size_t offset);
    bool readAllAnimations();
    int loadDetachedNode(const std::string& id);
    bool resolveJoints();
    void climbToLoadedParents(int joint);

    void attach(int child, int parent);
    void detach(int node);
    bool isAncestorOrSelf(int candidate, int node) const;
    int topOf(int node) const;
    int findLoaded(const std::string& id) const;

    std::shared_ptr<const std::vector<unsigned char>> m_bytes = std::make_shared<std::vector<unsigned char>>();
    uint8_t m_versionMajor = 0;
    uint8_t m_versionMinor = 0;
    std::vector<BundleData::Reference> m_references;
    std::unordered_map<uint32_t, size_t> m_referenceAtOffset; // the first entry at each offset
    std::string m_error;

    // State of one read.
    BundleData* m_out = nullptr;
    std::unordered_map<std::string, int> m_nodeById;
    std::unordered_map<uint32_t, int> m_meshAtOffset; // -1: failed there
    size_t m_nodeRecordsLeft = 0;
};

} // namespace engine

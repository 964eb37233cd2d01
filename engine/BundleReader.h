#pragma once

#include "BundleData.h"
#include "ReferenceTable.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
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
    // Through FileSystem: a relative name is taken from the working folder,
    // so callers resolve it against their resource folder first.
    bool openFile(const char* path);

    // The scene with that id (null: the first scene in the table) with its
    // nodes, meshes, skins (joints resolved) and animations.
    bool readScene(const char* id, BundleData* out);
    // One node and its subtree outside any scene; it becomes out->roots[0].
    bool readNode(const char* id, BundleData* out);

    const std::string& error() const { return m_error; }
    uint8_t versionMajor() const { return m_versionMajor; }
    uint8_t versionMinor() const { return m_versionMinor; }
    // The reference table as written, in order.
    std::vector<BundleData::Reference> references() const;
    size_t fileSize() const { return m_bytes->size(); }

private:
    struct Cursor;
    // A skin as read: its joint ids stay in the file until the skin is
    // known to be whole, so that a crafted skin costs no string per joint.
    struct PendingSkin {
        int node = -1;
        uint32_t jointCount = 0;
        size_t jointIdsAt = 0;
        size_t inverseBindPosesAt = 0; // 0: none
    };

    bool fail(const std::string& reason);
    void beginRead(BundleData* out);
    bool finishRead(bool ok);
    ReferenceTable::Entry findReference(std::string_view id, uint32_t type);
    std::string idAt(size_t offset);

    bool readNodeRecord(Cursor& c, int depth, int parent, int* index);
    bool readChildren(Cursor& c, int depth, int parent);
    bool skipNodeRecord(Cursor& c, int depth);
    bool readAttachments(Cursor& c, BundleData::Node* node, PendingSkin* skin, bool keep);
    bool readCamera(Cursor& c, BundleData::Camera* camera);
    bool readLight(Cursor& c, BundleData::Light* light);
    bool readModel(Cursor& c, BundleData::Model* model, PendingSkin* skin, bool* hasModel, bool keep);
    bool readSkin(Cursor& c, BundleData::Skin* skin, PendingSkin* pending);
    int loadMesh(const std::string& id);
    // Empty when the mesh was read; otherwise why it cannot be used.
    std::string readMesh(Cursor& c, BundleData::Mesh* mesh);
    std::string readPart(Cursor& c, const BundleData::Mesh& mesh, BundleData::Part* part, bool* keep);
    bool readAnimations(size_t offset);
    std::string channelProblem(const BundleData::Channel& channel, const std::string& target) const;
    void report(BundleProblem::Kind kind, const std::string& id, const std::string& reason);
    bool isProblemListFull() const;
    bool readAllAnimations();
    int loadDetachedNode(const std::string& id);
    bool resolveJoints();
    // Empty when every joint id names a node; otherwise why the skin is left out.
    std::string firstMissingJoint(const PendingSkin& skin);
    void takeJointIds(const PendingSkin& skin, BundleData::Skin* out) const;
    int resolveJoint(const std::string& reference);
    bool climbToLoadedParents(int joint);

    void attach(int child, int parent);
    bool isAncestorOrSelf(int candidate, int node) const;
    bool isSceneRoot(int node) const;
    int topOf(int node);
    int findLoaded(const std::string& id) const;
    void settleLists();

    std::shared_ptr<const std::vector<unsigned char>> m_bytes = std::make_shared<std::vector<unsigned char>>();
    uint8_t m_versionMajor = 0;
    uint8_t m_versionMinor = 0;
    ReferenceTable m_table;
    std::string m_error;

    // State of one read.
    BundleData* m_out = nullptr;
    std::unordered_map<std::string, int> m_nodeById;
    std::unordered_map<uint32_t, int> m_meshAtOffset; // -1: failed there
    std::vector<PendingSkin> m_skins;
    size_t m_nodeRecordsLeft = 0;
    // Child and root lists only grow while reading: a node moved elsewhere
    // stays listed until settleLists drops it, so no move costs a search.
    std::vector<char> m_detached; // per node: read to resolve a joint, outside the scene
    // topOf answers, valid while no node has moved since (m_moves unchanged).
    std::vector<int> m_top;
    std::vector<size_t> m_topStamp;
    size_t m_moves = 0;
    size_t m_walkStepsLeft = 0;
    size_t m_unlistedProblems = 0;
    BundleProblem::Kind m_firstUnlisted = BundleProblem::MESH;
};

} // namespace engine

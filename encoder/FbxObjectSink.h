#pragma once

#include "FbxNode.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Collects what the translation of an old file produces: the objects of the new file with the
// numeric ids they are given (in creation order, so the same input always gives the same file),
// the connections between them, and a note for each part of the old file that was left out.
class FbxObjectSink {
public:
    static constexpr int64_t kRootId = 0; // the scene root of the new layout
    struct Part {
        std::string kind; // e.g. "constraint", "animation channel"
        std::string name; // what the old file calls it
    };

    // "Model::Name" (ASCII) and "Name\0\1Model" (binary) both become "Model::Name"; a name
    // without a class keeps the class given.
    static std::string objectKey(const std::string& storedName, const std::string& classWhenBare = "");
    // The name part of a stored name, without its class.
    static std::string bareName(const std::string& storedName);
    // The binary layout's "Name\0\1Class".
    static std::string storedName(const std::string& name, const std::string& className);

    // Adds an object node (its first value is replaced by the new id) and returns the id; `key`, when
    // given, lets connections of the old file find it.
    int64_t add(FbxNode object, const std::string& key = "");
    int64_t idOf(const std::string& key) const; // -1 when no object has that key
    void connect(int64_t source, int64_t destination, const std::string& property = "");
    void leaveOut(const std::string& kind, const std::string& name);

    const std::vector<FbxNode>& objects() const { return m_objects; }
    const std::vector<FbxNode>& connections() const { return m_connections; }
    // Hands the objects and connections over when the translation is done; the sink is empty after.
    std::vector<FbxNode> takeObjects();
    std::vector<FbxNode> takeConnections() { return std::move(m_connections); }
    const std::vector<Part>& leftOut() const { return m_leftOut; }
    FbxNode* object(int64_t id);

private:
    int64_t m_nextId = 100000;
    std::vector<FbxNode> m_objects;
    std::map<int64_t, size_t> m_index;
    std::map<std::string, int64_t> m_keys;
    std::vector<FbxNode> m_connections;
    std::vector<Part> m_leftOut;
};

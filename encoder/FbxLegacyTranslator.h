#pragma once

#include "FbxNode.h"
#include "FbxObjectSink.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Rewrites the node tree of an FBX file older than 7.1 (6.x, 5.x) in the layout of FBX 7.5, so that
// one reader serves old and new files alike. The old layout names its objects ("Model::Cube") and
// connects them by name, keeps each mesh inside its Model, cameras and lights in their Model, and
// animation in takes of channels; the new one numbers its objects, connects them by number, and
// keeps geometry, node attributes and animation curves as objects of their own.
class FbxLegacyTranslator {
public:
    struct Translation {
        FbxDocument document; // binary 7.5 layout
        std::vector<FbxObjectSink::Part> leftOut;
    };

    static bool isLegacy(const FbxDocument& document) { return document.version != 0 && document.version < 7100; }
    static Translation translate(const FbxDocument& old);
    // One sentence listing what was left out, for the warning that says so.
    static std::string describe(const std::vector<FbxObjectSink::Part>& leftOut);

private:
    struct ModelRecord {
        int64_t geometry = -1;
        std::vector<int64_t> materials;
        std::vector<int64_t> textures;
        std::vector<std::pair<int, int>> materialTextures;
        bool hasTextureLayer = false;
    };

    explicit FbxLegacyTranslator(const FbxDocument& old);
    Translation run();

    std::vector<const FbxNode*> oldObjects() const;
    FbxNode header() const;
    FbxNode globalSettings() const;

    void addObject(const FbxNode& object);
    void addModel(const FbxNode& model);
    void addModelAttribute(const FbxNode& model, const std::string& type, int64_t modelId, const FbxNode& properties);
    void addMaterial(const FbxNode& material);
    void addTexture(const FbxNode& texture);
    void addVideo(const FbxNode& video);
    void addDeformer(const FbxNode& deformer);
    void addPose(const FbxNode& pose);

    void connectByName(const FbxNode& connect);
    // Records `child` under `parent` unless it has a parent already or would become its own ancestor.
    bool attachModel(int64_t child, int64_t parent);
    void connectChildrenLists(const std::vector<const FbxNode*>& objects);
    void connectTextures();

    const FbxDocument& m_old;
    FbxObjectSink m_sink;
    std::map<int64_t, std::string> m_kinds; // new object id -> node name (Model, Material, ...)
    std::map<int64_t, ModelRecord> m_models;
    std::map<int64_t, int64_t> m_parents; // model -> the model (or root) it hangs from
};

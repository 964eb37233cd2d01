#include "PivotFolder.h"

#include <assimp/SceneCombiner.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

using Matrix = aiMatrix4x4t<double>;
using Vector = aiVector3t<double>;

// A helper's name split into the artist's node name and the part of the transform it holds.
struct HelperName {
    bool helper = false;
    std::string base, part;
};

HelperName helperName(const aiNode* node)
{
    HelperName name;
    const std::string full = node->mName.C_Str();
    const size_t at = full.find(PivotFolder::kHelperTag);
    if (at == std::string::npos)
        return name;
    name.helper = true;
    name.base = full.substr(0, at);
    name.part = full.substr(at + std::char_traits<char>::length(PivotFolder::kHelperTag));
    return name;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The parts that place the node's own geometry, and those below the node that take it back for the children.
bool isGeometric(const HelperName& name)
{
    return startsWith(name.part, "Geometric") && !endsWith(name.part, "Inverse");
}
bool isGeometricInverse(const HelperName& name)
{
    return startsWith(name.part, "Geometric") && endsWith(name.part, "Inverse");
}

bool nearIdentity(const Matrix& m)
{
    const Matrix identity;
    for (unsigned r = 0; r < 4; ++r) {
        for (unsigned c = 0; c < 4; ++c) {
            if (std::fabs(m[r][c] - identity[r][c]) > 1e-5)
                return false;
        }
    }
    return true;
}

aiVector3D toFloat(const Vector& v) { return aiVector3D(float(v.x), float(v.y), float(v.z)); }

// How many node slots draw each mesh of the scene.
std::vector<unsigned> meshUses(const aiScene& scene)
{
    std::vector<unsigned> uses(scene.mNumMeshes, 0);
    std::vector<const aiNode*> pending {scene.mRootNode};
    while (!pending.empty()) {
        const aiNode* node = pending.back();
        pending.pop_back();
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            if (node->mMeshes[i] < uses.size())
                ++uses[node->mMeshes[i]];
        }
        for (unsigned i = 0; i < node->mNumChildren; ++i) {
            if (node->mChildren[i])
                pending.push_back(node->mChildren[i]);
        }
    }
    return uses;
}

// The helpers from `top` down to the artist's node, then those below it; no artist when the nodes
// are not the plain chain Assimp builds.
void collectChain(aiNode* top, std::vector<aiNode*>& above, aiNode*& artist, std::vector<aiNode*>& below)
{
    const std::string base = helperName(top).base;
    aiNode* node = top;
    for (HelperName name = helperName(node); name.helper; name = helperName(node)) {
        if (name.base != base || node->mNumChildren != 1 || node->mNumMeshes > 0 || !node->mChildren[0])
            return;
        above.push_back(node);
        node = node->mChildren[0];
    }
    if (std::string(node->mName.C_Str()) != base)
        return;
    artist = node;
    while (node->mNumChildren == 1 && node->mChildren[0]) {
        const HelperName name = helperName(node->mChildren[0]);
        if (!name.helper || name.base != base || !isGeometricInverse(name))
            break;
        node = node->mChildren[0];
        below.push_back(node);
    }
}

void transformMeshArrays(aiVector3D* positions, aiVector3D* normals, aiVector3D* tangents, aiVector3D* bitangents,
                         unsigned count, const Matrix& placement)
{
    const aiMatrix3x3t<double> linear(placement);
    aiMatrix3x3t<double> normalMatrix = linear;
    normalMatrix.Inverse().Transpose();
    const auto direction = [](const aiMatrix3x3t<double>& m, const aiVector3D& v) {
        Vector out = m * Vector(v.x, v.y, v.z);
        const double length = out.Length();
        return toFloat(length > 0 ? out / length : out);
    };
    for (unsigned v = 0; v < count; ++v) {
        if (positions)
            positions[v] = toFloat(placement * Vector(positions[v].x, positions[v].y, positions[v].z));
        if (normals)
            normals[v] = direction(normalMatrix, normals[v]);
        if (tangents)
            tangents[v] = direction(linear, tangents[v]);
        if (bitangents)
            bitangents[v] = direction(linear, bitangents[v]);
    }
}

// Moves `placement` into the mesh's vertices. Bones keep mapping each vertex to the same place in
// bone space; a mirroring placement turns the faces round so that they keep facing out.
void bake(aiMesh& mesh, const Matrix& placement)
{
    transformMeshArrays(mesh.mVertices, mesh.mNormals, mesh.mTangents, mesh.mBitangents, mesh.mNumVertices, placement);
    for (unsigned a = 0; a < mesh.mNumAnimMeshes; ++a) {
        aiAnimMesh& shape = *mesh.mAnimMeshes[a];
        transformMeshArrays(shape.mVertices, shape.mNormals, shape.mTangents, shape.mBitangents, shape.mNumVertices,
                            placement);
    }
    Matrix undo = placement;
    undo.Inverse();
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        aiBone& bone = *mesh.mBones[b];
        bone.mOffsetMatrix = aiMatrix4x4(Matrix(bone.mOffsetMatrix) * undo);
    }
    if (placement.Determinant() < 0) {
        for (unsigned f = 0; f < mesh.mNumFaces; ++f)
            std::reverse(mesh.mFaces[f].mIndices, mesh.mFaces[f].mIndices + mesh.mFaces[f].mNumIndices);
    }
}

// Moves the children of `from`, a node below `artist`, to `artist` itself.
void hangChildrenOn(aiNode& artist, aiNode& from)
{
    delete[] artist.mChildren;
    artist.mChildren = from.mChildren;
    artist.mNumChildren = from.mNumChildren;
    from.mChildren = nullptr;
    from.mNumChildren = 0;
    for (unsigned i = 0; i < artist.mNumChildren; ++i)
        artist.mChildren[i]->mParent = &artist;
}

unsigned appendCopy(aiScene& scene, unsigned index)
{
    aiMesh* copy = nullptr;
    Assimp::SceneCombiner::Copy(&copy, scene.mMeshes[index]);
    aiMesh** meshes = new aiMesh*[scene.mNumMeshes + 1];
    std::copy(scene.mMeshes, scene.mMeshes + scene.mNumMeshes, meshes);
    meshes[scene.mNumMeshes] = copy;
    delete[] scene.mMeshes;
    scene.mMeshes = meshes;
    return scene.mNumMeshes++;
}

} // namespace

PivotFolder::Result PivotFolder::fold(aiScene& scene)
{
    if (!scene.mRootNode)
        return Result();
    return PivotFolder(scene).run();
}

PivotFolder::PivotFolder(aiScene& scene)
    : m_scene(scene)
    , m_uses(meshUses(scene))
{
    for (unsigned a = 0; a < scene.mNumAnimations; ++a) {
        const aiAnimation& take = *scene.mAnimations[a];
        for (unsigned c = 0; c < take.mNumChannels; ++c)
            m_animated.insert(take.mChannels[c]->mNodeName.C_Str());
    }
    for (unsigned l = 0; l < scene.mNumLights; ++l)
        m_viewers.insert(scene.mLights[l]->mName.C_Str());
    for (unsigned c = 0; c < scene.mNumCameras; ++c)
        m_viewers.insert(scene.mCameras[c]->mName.C_Str());
    m_referenced = m_animated;
    m_referenced.insert(m_viewers.begin(), m_viewers.end());
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        for (unsigned b = 0; b < scene.mMeshes[m]->mNumBones; ++b)
            m_referenced.insert(scene.mMeshes[m]->mBones[b]->mName.C_Str());
    }
}

bool PivotFolder::animated(const aiNode* node) const { return m_animated.count(node->mName.C_Str()) > 0; }

bool PivotFolder::referenced(const aiNode* node) const { return m_referenced.count(node->mName.C_Str()) > 0; }

PivotFolder::Result PivotFolder::run()
{
    std::vector<aiNode*> pending {m_scene.mRootNode};
    while (!pending.empty()) {
        aiNode* node = pending.back();
        pending.pop_back();
        for (unsigned i = 0; i < node->mNumChildren; ++i) {
            if (!node->mChildren[i])
                continue;
            if (startsChain(*node, *node->mChildren[i]))
                foldChainAt(*node, i);
            pending.push_back(node->mChildren[i]);
        }
    }
    return m_result;
}

bool PivotFolder::startsChain(const aiNode& parent, const aiNode& child) const
{
    // Below a helper, or below the artist's node itself, a helper of the same name continues that chain.
    const HelperName name = helperName(&child);
    return name.helper && helperName(&parent).base != name.base && parent.mName != aiString(name.base);
}

void PivotFolder::foldChainAt(aiNode& parent, unsigned slot)
{
    Chain chain;
    collectChain(parent.mChildren[slot], chain.above, chain.artist, chain.below);
    if (!chain.artist)
        return;
    std::vector<aiNode*> removed;
    if (!takeOutGeometry(chain, removed))
        return;
    foldTransforms(chain, removed);

    // Relink what stays: one line from the parent down to the artist's node.
    std::vector<aiNode*> kept = chain.above;
    kept.push_back(chain.artist);
    parent.mChildren[slot] = kept.front();
    kept.front()->mParent = &parent;
    for (size_t k = 0; k + 1 < kept.size(); ++k) {
        kept[k]->mChildren[0] = kept[k + 1];
        kept[k + 1]->mParent = kept[k];
    }
    for (aiNode* helper : removed) {
        helper->mNumChildren = 0; // its child lives on elsewhere in the tree
        delete helper;
    }
    if (!chain.above.empty())
        m_result.nodesWithKeptHelpers.push_back(chain.artist->mName.C_Str());
}

bool PivotFolder::takeOutGeometry(Chain& chain, std::vector<aiNode*>& removed)
{
    // The geometric parts sit right above the artist's node; anything else is not a chain this knows.
    size_t first = chain.above.size();
    while (first > 0 && isGeometric(helperName(chain.above[first - 1])))
        --first;
    const auto geometricAt = [&](aiNode* node) { return isGeometric(helperName(node)); };
    if (std::any_of(chain.above.begin(), chain.above.begin() + long(first), geometricAt))
        return false;
    const std::vector<aiNode*> geometric(chain.above.begin() + long(first), chain.above.end());
    Matrix placement, undone;
    for (aiNode* node : geometric)
        placement = placement * Matrix(node->mTransformation);
    for (aiNode* node : chain.below)
        undone = undone * Matrix(node->mTransformation);
    // Children placed through the artist's node must not see its geometric transform.
    const bool childrenUnmoved
        = chain.below.empty() ? geometric.empty() || chain.artist->mNumChildren == 0 : nearIdentity(placement * undone);
    const auto pinned = [&](aiNode* node) { return referenced(node); };
    if (std::any_of(geometric.begin(), geometric.end(), pinned)
        || std::any_of(chain.below.begin(), chain.below.end(), pinned) || !childrenUnmoved)
        return false;
    // A light or camera is the node's own attribute, as its meshes are: the geometric transform turns
    // it too, so it stays in the node's transform and the children take it back in theirs.
    aiNode* lowest = chain.below.empty() ? chain.artist : chain.below.back();
    const std::vector<aiNode*> children(lowest->mChildren, lowest->mChildren + lowest->mNumChildren);
    const bool keptOnNode = !geometric.empty() && m_viewers.count(chain.artist->mName.C_Str()) > 0;
    const auto unusable = [&](aiNode* child) { return !child || (keptOnNode && animated(child)); };
    if (std::any_of(children.begin(), children.end(), unusable))
        return false;

    if (keptOnNode) {
        for (aiNode* child : children)
            child->mTransformation = aiMatrix4x4(undone * Matrix(child->mTransformation));
    } else if (!geometric.empty()) {
        bakeMeshesOf(*chain.artist, placement);
    }
    if (!chain.below.empty()) {
        hangChildrenOn(*chain.artist, *lowest);
        removed.insert(removed.end(), chain.below.begin(), chain.below.end());
        chain.below.clear();
    }
    if (!keptOnNode) {
        removed.insert(removed.end(), geometric.begin(), geometric.end());
        chain.above.resize(first);
    }
    return true;
}

void PivotFolder::bakeMeshesOf(aiNode& node, const Matrix& placement)
{
    for (unsigned i = 0; i < node.mNumMeshes; ++i) {
        unsigned& index = node.mMeshes[i];
        if (index >= m_scene.mNumMeshes)
            continue;
        // Another node draws this mesh without the placement: it gets a copy of its own.
        if (m_uses[index] > 1) {
            --m_uses[index];
            index = appendCopy(m_scene, index);
            m_uses.push_back(1);
        }
        bake(*m_scene.mMeshes[index], placement);
    }
}

void PivotFolder::foldTransforms(Chain& chain, std::vector<aiNode*>& removed) const
{
    // From the bottom up: a fixed helper goes into the node below it unless an animation replaces
    // that node's transform; then it stays, and the fixed helpers above it fold into it instead.
    aiNode* target = chain.artist;
    Matrix product(target->mTransformation);
    std::vector<aiNode*> kept;
    for (size_t i = chain.above.size(); i-- > 0;) {
        aiNode* helper = chain.above[i];
        if (!referenced(helper) && !animated(target)) {
            product = Matrix(helper->mTransformation) * product;
            removed.push_back(helper);
            continue;
        }
        target->mTransformation = aiMatrix4x4(product);
        kept.push_back(helper);
        target = helper;
        product = Matrix(helper->mTransformation);
    }
    target->mTransformation = aiMatrix4x4(product);
    chain.above.assign(kept.rbegin(), kept.rend());
}

#include "ModelStatistics.h"

#include "Mesh.h"
#include "Model.h"
#include "Node.h"
#include "Scene.h"

#include <set>

namespace {

void collectMeshes(const engine::Node* node, std::set<const engine::Mesh*>* meshes)
{
    for (; node; node = node->getNextSibling()) {
        if (const auto* model = dynamic_cast<const engine::Model*>(node->getDrawable()))
            meshes->insert(model->getMesh());
        collectMeshes(node->getFirstChild(), meshes);
    }
}

} // namespace

ModelStatistics::Counts ModelStatistics::of(const engine::Scene* scene)
{
    Counts counts;
    // The viewer's own nodes (camera, grid, selection box) lie beside this one.
    const engine::Node* root = scene ? scene->findNode("RootSceneNode") : nullptr;
    if (!root)
        return counts;
    std::set<const engine::Mesh*> meshes;
    collectMeshes(root->getFirstChild(), &meshes);
    meshes.erase(nullptr);
    counts.found = true;
    counts.meshes = quint32(meshes.size());
    for (const engine::Mesh* mesh : meshes)
        counts.vertices += mesh->getVertexCount();
    return counts;
}

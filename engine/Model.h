#pragma once

#include "Drawable.h"
#include "Ref.h"

#include <vector>

namespace engine {

class Material;
class Mesh;
class MeshSkin;
class Pass;

// A mesh on a node, drawn through one material per part or a shared one,
// optionally deformed by a skin.
class Model : public Ref, public Drawable {
public:
    // Takes a reference to the mesh; null without one.
    static Model* create(Mesh* mesh);

    Mesh* getMesh() const { return m_mesh; }
    unsigned int getMeshPartCount() const;

    // Index -1 gives the shared material; a part without its own gives null.
    Material* getMaterial(int partIndex = -1) const;
    // Takes a reference. Index -1 or one past the parts sets the shared
    // material. A material set while the model is on a node is bound to it.
    void setMaterial(Material* material, int partIndex = -1);
    bool hasPartMaterial(unsigned int partIndex) const;

    MeshSkin* getSkin() const { return m_skin; }
    // Takes ownership; the previous skin is deleted.
    void setSkin(MeshSkin* skin);

    // Uploads the mesh when needed. Returns the number of parts.
    unsigned int draw(bool wireframe = false) override;

    bool hasMesh() const override { return m_mesh != nullptr; }
    BoundingSphere meshBoundingSphere() const override;
    BoundingBox meshBoundingBox() const override;
    bool isSkinned() const override { return m_skin != nullptr; }
    void poseSkinnedBounds(BoundingSphere* sphere, BoundingBox* box) const override;
    unsigned int meshPartCount() const override { return getMeshPartCount(); }
    unsigned int vertexCount() const override;

protected:
    void setNode(Node* node) override;

private:
    explicit Model(Mesh* mesh);
    ~Model() override;

    void bindToNode(Material* material);
    void drawVertices(Material* material, bool wireframe);
    void drawPart(unsigned int partIndex, Material* material, bool wireframe);

    Mesh* m_mesh;
    Material* m_material = nullptr;
    std::vector<Material*> m_partMaterials;
    MeshSkin* m_skin = nullptr;
};

} // namespace engine

#include "Model.h"

#include "Material.h"
#include "Mesh.h"
#include "MeshPart.h"
#include "MeshSkin.h"
#include "Node.h"
#include "Pass.h"
#include "Technique.h"

#include <GL/glew.h>

namespace engine {

namespace {

bool isTriangles(unsigned int primitiveType)
{
    return primitiveType == Mesh::TRIANGLES || primitiveType == Mesh::TRIANGLE_STRIP;
}

// Triangles drawn as their outlines; other primitives are drawn as they are.
class WireframeScope {
public:
    WireframeScope(bool wireframe, unsigned int primitiveType)
        : m_active(wireframe && isTriangles(primitiveType))
    {
        if (m_active)
            glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    }
    ~WireframeScope()
    {
        if (m_active)
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }

private:
    bool m_active;
};

} // namespace

Model* Model::create(Mesh* mesh) { return mesh ? new Model(mesh) : nullptr; }

Model::Model(Mesh* mesh)
    : m_mesh(mesh)
    , m_partMaterials(mesh->getPartCount(), nullptr)
{
    m_mesh->addRef();
}

Model::~Model()
{
    setSkin(nullptr);
    for (Material*& material : m_partMaterials)
        releaseRef(material);
    releaseRef(m_material);
    releaseRef(m_mesh);
}

unsigned int Model::getMeshPartCount() const { return m_mesh->getPartCount(); }

Material* Model::getMaterial(int partIndex) const
{
    if (partIndex < 0)
        return m_material;
    return size_t(partIndex) < m_partMaterials.size() ? m_partMaterials[size_t(partIndex)] : nullptr;
}

bool Model::hasPartMaterial(unsigned int partIndex) const { return getMaterial(int(partIndex)) != nullptr; }

void Model::setMaterial(Material* material, int partIndex)
{
    // Parts added to the mesh after the model was made still get a slot.
    if (m_partMaterials.size() < m_mesh->getPartCount())
        m_partMaterials.resize(m_mesh->getPartCount(), nullptr);
    Material*& slot
        = partIndex < 0 || size_t(partIndex) >= m_partMaterials.size() ? m_material : m_partMaterials[partIndex];
    if (slot == material)
        return;
    if (material) {
        material->addRef();
        bindToNode(material);
    }
    // A material shared with a model elsewhere keeps that model's node.
    if (slot && getNode() && slot->getNodeBinding() == getNode())
        slot->setNodeBinding(nullptr);
    releaseRef(slot);
    slot = material;
}

void Model::setSkin(MeshSkin* skin)
{
    if (m_skin == skin)
        return;
    delete m_skin;
    m_skin = skin;
    if (m_skin)
        m_skin->setModel(this);
    if (Node* node = getNode())
        node->setBoundsDirty();
}

void Model::setNode(Node* node)
{
    Drawable::setNode(node);
    bindToNode(m_material);
    for (Material* material : m_partMaterials)
        bindToNode(material);
}

void Model::bindToNode(Material* material)
{
    if (material)
        material->setNodeBinding(getNode());
}

BoundingSphere Model::meshBoundingSphere() const { return m_mesh->getBoundingSphere(); }

BoundingBox Model::meshBoundingBox() const { return m_mesh->getBoundingBox(); }

void Model::poseSkinnedBounds(BoundingSphere* sphere, BoundingBox* box) const
{
    if (m_skin)
        m_skin->poseBounds(sphere, box);
}

unsigned int Model::vertexCount() const { return m_mesh->getVertexCount(); }

unsigned int Model::draw(bool wireframe)
{
    if (!m_mesh->isUploaded() && !m_mesh->upload())
        return 0;
    const unsigned int partCount = m_mesh->getPartCount();
    if (partCount == 0) {
        if (m_material)
            drawVertices(m_material, wireframe);
        return 0;
    }
    for (unsigned int i = 0; i < partCount; ++i) {
        Material* material = getMaterial(int(i));
        if (!material)
            material = m_material;
        if (material)
            drawPart(i, material, wireframe);
    }
    return partCount;
}

void Model::drawVertices(Material* material, bool wireframe)
{
    Technique* technique = material->getTechnique();
    if (!technique)
        return;
    WireframeScope scope(wireframe, m_mesh->getPrimitiveType());
    for (unsigned int i = 0; i < technique->getPassCount(); ++i) {
        Pass* pass = technique->getPassByIndex(i);
        if (!pass->prepareFor(m_mesh))
            continue;
        pass->bind();
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        glDrawArrays(m_mesh->getPrimitiveType(), 0, GLsizei(m_mesh->getVertexCount()));
        pass->unbind();
    }
}

void Model::drawPart(unsigned int partIndex, Material* material, bool wireframe)
{
    MeshPart* part = m_mesh->getPart(partIndex);
    Technique* technique = material->getTechnique();
    if (!technique || !part->isDrawable())
        return;
    WireframeScope scope(wireframe, part->getPrimitiveType());
    for (unsigned int i = 0; i < technique->getPassCount(); ++i) {
        Pass* pass = technique->getPassByIndex(i);
        if (!pass->prepareFor(m_mesh))
            continue;
        pass->bind();
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, part->getIndexBuffer());
        glDrawElements(part->getPrimitiveType(), GLsizei(part->getIndexCount()), part->getIndexFormat(), nullptr);
        pass->unbind();
    }
}

} // namespace engine

#include "SelectionBox.h"

#include "Drawable.h"
#include "Effect.h"
#include "Material.h"
#include "MaterialParameter.h"
#include "Mesh.h"
#include "Model.h"
#include "ModelBounds.h"
#include "Node.h"
#include "StateBlock.h"
#include "math/Vector4.h"

namespace {

const char* const kVertexShader = R"(
attribute vec4 a_position;
uniform mat4 u_worldViewProjectionMatrix;
void main()
{
    gl_Position = u_worldViewProjectionMatrix * a_position;
}
)";

const char* const kFragmentShader = R"(
#ifdef OPENGL_ES
precision highp float;
#endif
uniform vec4 u_diffuseColor;
void main()
{
    gl_FragColor = u_diffuseColor;
}
)";

engine::Material* createWhiteLineMaterial()
{
    engine::Effect* effect = engine::Effect::createFromSource(kVertexShader, kFragmentShader);
    if (!effect)
        return nullptr;
    engine::Material* material = engine::Material::create(effect);
    effect->release();
    if (!material)
        return nullptr;
    material->getParameter("u_diffuseColor")->setValue(engine::Vector4(1.0f, 1.0f, 1.0f, 1.0f));
    material->setParameterAutoBinding("u_worldViewProjectionMatrix", "WORLD_VIEW_PROJECTION_MATRIX");
    material->getStateBlock()->setDepthTest(true);
    return material;
}

} // namespace

SelectionBox SelectionBox::placementFor(const engine::Node* node, const ModelBounds& bounds)
{
    SelectionBox box;
    if (!node)
        return box;
    const engine::Drawable* drawable = node->getDrawable();
    if (drawable && drawable->hasMesh()) {
        const engine::BoundingBox drawn = bounds.ofSubtree(node);
        box.action = Action::Place;
        box.scale = drawn.max - drawn.min;
        box.translation = drawn.min;
        return box;
    }
    if (node->getLight() || node->getCamera()) {
        box.action = Action::Place;
        box.scale = engine::Vector3::one();
        // The node's own position: a point light's bounds are its reach
        // around the world origin, which says nothing about where it is.
        box.translation = node->getTranslationWorld() - engine::Vector3(0.5f, 0.5f, 0.5f);
    }
    return box;
}

engine::Model* SelectionBox::createModel()
{
    engine::Mesh* mesh
        = engine::Mesh::createBoundingBox(engine::BoundingBox(engine::Vector3(), engine::Vector3::one()));
    if (!mesh)
        return nullptr;
    engine::Model* model = engine::Model::create(mesh);
    mesh->release();
    engine::Material* material = createWhiteLineMaterial();
    if (material) {
        model->setMaterial(material);
        material->release();
    }
    return model;
}

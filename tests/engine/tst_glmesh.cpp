// Meshes, models and skins drawn in a real OpenGL context and read back.
#include "GlTestContext.h"

#include "EngineTestSupport.h"

#include "Effect.h"
#include "Joint.h"
#include "Material.h"
#include "MaterialParameter.h"
#include "Mesh.h"
#include "MeshPart.h"
#include "MeshSkin.h"
#include "Model.h"
#include "Node.h"
#include "VertexAttributeBinding.h"
#include "VertexFormat.h"

#include <QtTest>

#include <vector>

using namespace engine;
using enginetest::GlTestContext;
using enginetest::Owned;
using enginetest::Rgba;

namespace {

const int kSize = 48;

// Quads side by side across the target, each of position, normal and one
// texture set; 'count' of them, indexed as one part each.
Mesh* quadsMesh(int count, const float normal[3], const float uv[2])
{
    const VertexFormat::Element elements[]
        = {{VertexFormat::POSITION, 3}, {VertexFormat::NORMAL, 3}, {VertexFormat::TEXCOORD0, 2}};
    Mesh* mesh = Mesh::createMesh(VertexFormat(elements, 3), unsigned(4 * count));
    std::vector<float> data;
    for (int q = 0; q < count; ++q) {
        const float left = -1 + q * 2.0f / count, right = -1 + (q + 1) * 2.0f / count;
        const float corners[4][2] = {{left, -1}, {right, -1}, {right, 1}, {left, 1}};
        for (const auto& corner : corners)
            data.insert(data.end(), {corner[0], corner[1], 0, normal[0], normal[1], normal[2], uv[0], uv[1]});
    }
    mesh->setVertexData(data.data());
    return mesh;
}

void addQuadPart(Mesh* mesh, unsigned short first, unsigned short lastIndex)
{
    const unsigned short indices[]
        = {first, static_cast<unsigned short>(first + 1), static_cast<unsigned short>(first + 2),
           first, static_cast<unsigned short>(first + 2), lastIndex};
    mesh->addPart(Mesh::TRIANGLES, Mesh::INDEX16, 6)->setIndexData(indices, 0, 6);
}

Material* flatMaterial(const Vector4& color)
{
    Owned<Effect> effect(Effect::createFromSource(enginetest::kFlatVertexShader, enginetest::kFlatFragmentShader));
    Material* material = Material::create(effect.get());
    material->setParameterAutoBinding("u_worldViewProjectionMatrix", "WORLD_VIEW_PROJECTION_MATRIX");
    material->getParameter("u_color")->setValue(color);
    return material;
}

} // namespace

class TestGlMesh : public QObject {
    Q_OBJECT

private slots:
    void uploadWaitsForContext();
    void texCoordAttributeFollowsVertexOffsets_data();
    void texCoordAttributeFollowsVertexOffsets();
    void partsDrawWithTheirOwnOrTheSharedMaterial_data();
    void partsDrawWithTheirOwnOrTheSharedMaterial();
    void paletteOfJointSharedByTwoSkins();
    void cleanupTestCase();

private:
    GlTestContext m_gl;
    bool m_haveContext = false;
};

void TestGlMesh::uploadWaitsForContext()
{
    // Readers fill meshes before any context exists.
    const float normal[3] = {0, 0, 1};
    const float uv[2] = {0, 0};
    Owned<Mesh> mesh(quadsMesh(1, normal, uv));
    addQuadPart(mesh.get(), 0, 3);
    QVERIFY(!mesh->addPart(Mesh::TRIANGLES, Mesh::IndexFormat(0x1402), 6));
    QVERIFY(!mesh->upload());
    m_haveContext = m_gl.create() && m_gl.bindTarget(kSize, kSize);
    QVERIFY(m_haveContext);
    QVERIFY(mesh->upload());
    QVERIFY(mesh->getVertexBuffer() != 0 && mesh->getPart(0)->getIndexBuffer() != 0);
    QVERIFY(!mesh->getVertexData());
}

void TestGlMesh::texCoordAttributeFollowsVertexOffsets_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<bool>("vertexArrayObjects");
    QTest::newRow("a_texCoord, vertex array object") << "a_texCoord" << true;
    QTest::newRow("a_texCoord0, emulated") << "a_texCoord0" << false;
}

void TestGlMesh::texCoordAttributeFollowsVertexOffsets()
{
    QFETCH(QString, attribute);
    QFETCH(bool, vertexArrayObjects);
    QVERIFY(m_haveContext);
    const QByteArray name = attribute.toLatin1();
    const QByteArray vertex = "attribute vec3 a_position;\nattribute vec3 a_normal;\nattribute vec2 " + name
        + ";\nvarying vec2 v_uv;\nvarying vec3 v_n;\n"
          "void main() { gl_Position = vec4(a_position, 1.0); v_uv = "
        + name + "; v_n = a_normal; }\n";
    const char fragment[] = "varying vec2 v_uv;\nvarying vec3 v_n;\n"
                            "void main() { gl_FragColor = vec4(v_uv, v_n.z, 1.0); }\n";
    Owned<Effect> effect(Effect::createFromSource(vertex.constData(), fragment));
    QVERIFY(effect.get());
    Owned<Material> material(Material::create(effect.get()));
    // A wrong offset would read the normal's 0.5s or the position into the colour.
    const float normal[3] = {0.5f, 0.5f, 0.0f};
    const float uv[2] = {0.25f, 0.75f};
    Owned<Mesh> mesh(quadsMesh(1, normal, uv));
    addQuadPart(mesh.get(), 0, 3);
    Owned<Model> model(Model::create(mesh.get()));
    model->setMaterial(material.get());

    VertexAttributeBinding::setVertexArrayObjectsAllowed(vertexArrayObjects);
    GlTestContext::clear();
    model->draw();
    VertexAttributeBinding::setVertexArrayObjectsAllowed(true);
    QVERIFY(GlTestContext::near(GlTestContext::pixel(kSize / 2, kSize / 2), {64, 191, 0, 255}));
}

void TestGlMesh::partsDrawWithTheirOwnOrTheSharedMaterial_data()
{
    QTest::addColumn<bool>("sharedMaterial");
    QTest::addColumn<bool>("middleIndexPastLastVertex");
    QTest::newRow("part 1 own, others shared") << true << false;
    QTest::newRow("part 1 own, no shared") << false << false;
    QTest::newRow("index past the last vertex skips the part") << true << true;
}

void TestGlMesh::partsDrawWithTheirOwnOrTheSharedMaterial()
{
    QFETCH(bool, sharedMaterial);
    QFETCH(bool, middleIndexPastLastVertex);
    QVERIFY(m_haveContext);
    const float normal[3] = {0, 0, 1};
    const float uv[2] = {0, 0};
    Owned<Mesh> mesh(quadsMesh(3, normal, uv));
    for (unsigned short third = 0; third < 3; ++third)
        addQuadPart(mesh.get(), third * 4, third == 1 && middleIndexPastLastVertex ? 12 : third * 4 + 3);
    Owned<Model> model(Model::create(mesh.get()));
    Owned<Material> red(flatMaterial(Vector4(1, 0, 0, 1)));
    Owned<Material> green(flatMaterial(Vector4(0, 1, 0, 1)));
    model->setMaterial(red.get(), 1);
    if (sharedMaterial)
        model->setMaterial(green.get());

    const Rgba black = {0, 0, 0, 255};
    const Rgba outside = sharedMaterial ? Rgba {0, 255, 0, 255} : black;
    const Rgba expected[3] = {outside, middleIndexPastLastVertex ? black : Rgba {255, 0, 0, 255}, outside};
    GlTestContext::clear();
    model->draw();
    for (int third = 0; third < 3; ++third) {
        const Rgba actual = GlTestContext::pixel(kSize * (2 * third + 1) / 6, kSize / 2);
        QVERIFY2(GlTestContext::near(actual, expected[third]), qPrintable(QString("third %1").arg(third)));
    }
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

// Two models on nodes at different places share one joint; each skin must
// see the joint relative to its own node.
void TestGlMesh::paletteOfJointSharedByTwoSkins()
{
    Owned<Joint> joint(Joint::create("bone"));
    joint->setTranslation(1, 2, 3);
    Owned<Node> nodeA(Node::create("a"));
    Owned<Node> nodeB(Node::create("b"));
    nodeB->setTranslation(10, 0, 0);
    const float normal[3] = {0, 0, 1};
    const float uv[2] = {0, 0};
    Owned<Mesh> mesh(quadsMesh(1, normal, uv));
    Owned<Model> modelA(Model::create(mesh.get()));
    Owned<Model> modelB(Model::create(mesh.get()));
    for (Model* model : {modelA.get(), modelB.get()}) {
        MeshSkin* skin = new MeshSkin();
        skin->setJointCount(1);
        skin->setJoint(joint.get(), 0);
        model->setSkin(skin);
    }
    nodeA->setDrawable(modelA.get());
    nodeB->setDrawable(modelB.get());
    for (int round = 0; round < 2; ++round) {
        QCOMPARE(modelA->getSkin()->getMatrixPalette()[0].w, 1.0f);
        QCOMPARE(modelB->getSkin()->getMatrixPalette()[0].w, -9.0f);
    }
    modelB->setSkin(nullptr);
    QCOMPARE(joint->getSkinCount(), 1u);
}

void TestGlMesh::cleanupTestCase()
{
    if (m_haveContext)
        m_gl.releaseTarget();
}

QTEST_MAIN(TestGlMesh)
#include "tst_glmesh.moc"

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
#include "RenderState.h"
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

// Position, normal and one texture set; the colour shows the texture set.
std::vector<float> quadVertices(float left, float right, const float normal[3], const float uv[2])
{
    const float corners[4][2] = {{left, -1}, {right, -1}, {right, 1}, {left, 1}};
    std::vector<float> data;
    for (const auto& corner : corners) {
        data.insert(data.end(), {corner[0], corner[1], 0, normal[0], normal[1], normal[2], uv[0], uv[1]});
    }
    return data;
}

VertexFormat positionNormalTexture()
{
    const VertexFormat::Element elements[]
        = {{VertexFormat::POSITION, 3}, {VertexFormat::NORMAL, 3}, {VertexFormat::TEXCOORD0, 2}};
    return VertexFormat(elements, 3);
}

Material* flatMaterial(const Vector4& color)
{
    Effect* effect = Effect::createFromSource(enginetest::kFlatVertexShader, enginetest::kFlatFragmentShader);
    Material* material = Material::create(effect);
    effect->release();
    material->setParameterAutoBinding("u_worldViewProjectionMatrix", "WORLD_VIEW_PROJECTION_MATRIX");
    material->getParameter("u_color")->setValue(color);
    return material;
}

const Rgba kBlack = {0, 0, 0, 255};
const Rgba kRed = {255, 0, 0, 255};
const Rgba kGreen = {0, 255, 0, 255};

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
    void drawAndCheckThirds(Model* model, const Rgba expected[3]);

    GlTestContext m_gl;
    bool m_haveContext = false;
};

void TestGlMesh::uploadWaitsForContext()
{
    // Readers fill meshes before any context exists.
    Owned<Mesh> mesh(Mesh::createMesh(positionNormalTexture(), 4));
    const float normal[3] = {0, 0, 1};
    const float uv[2] = {0, 0};
    QVERIFY(mesh->setVertexData(quadVertices(-1, 1, normal, uv).data()));
    MeshPart* part = mesh->addPart(Mesh::TRIANGLES, Mesh::INDEX8, 6);
    const unsigned char indices[] = {0, 1, 2, 0, 2, 3};
    QVERIFY(part->setIndexData(indices, 0, 6));
    QVERIFY(!mesh->addPart(Mesh::TRIANGLES, Mesh::IndexFormat(0x1402), 6));
    QVERIFY(!mesh->setVertexData(indices, 3, 2));
    QVERIFY(!mesh->isUploaded());
    QVERIFY(!mesh->upload());

    m_haveContext = m_gl.create() && m_gl.bindTarget(kSize, kSize);
    QVERIFY(m_haveContext);
    QVERIFY(mesh->upload());
    QVERIFY(mesh->getVertexBuffer() != 0 && part->getIndexBuffer() != 0);
    QVERIFY(!mesh->getVertexData());
    QVERIFY(!part->getIndexData());
}

void TestGlMesh::texCoordAttributeFollowsVertexOffsets_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<bool>("vertexArrayObjects");
    QTest::newRow("a_texCoord, vertex array object") << "a_texCoord" << true;
    QTest::newRow("a_texCoord0, vertex array object") << "a_texCoord0" << true;
    QTest::newRow("a_texCoord, emulated") << "a_texCoord" << false;
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
    Owned<Mesh> mesh(Mesh::createMesh(positionNormalTexture(), 4));
    QCOMPARE(mesh->getVertexSize(), 32u);
    mesh->setVertexData(quadVertices(-1, 1, normal, uv).data());
    mesh->setPrimitiveType(Mesh::TRIANGLE_STRIP);
    const float strip[] = {-1, -1, 0, 0.5f, 0.5f, 0, 0.25f, 0.75f, 1, -1, 0, 0.5f, 0.5f, 0, 0.25f, 0.75f,
                           -1, 1,  0, 0.5f, 0.5f, 0, 0.25f, 0.75f, 1, 1,  0, 0.5f, 0.5f, 0, 0.25f, 0.75f};
    mesh->setVertexData(strip);
    Owned<Model> model(Model::create(mesh.get()));
    model->setMaterial(material.get());

    VertexAttributeBinding::setVertexArrayObjectsAllowed(vertexArrayObjects);
    GlTestContext::clear();
    model->draw();
    VertexAttributeBinding::setVertexArrayObjectsAllowed(true);
    QVERIFY(GlTestContext::near(GlTestContext::pixel(kSize / 2, kSize / 2), {64, 191, 0, 255}));
}

void TestGlMesh::drawAndCheckThirds(Model* model, const Rgba expected[3])
{
    GlTestContext::clear();
    model->draw();
    for (int third = 0; third < 3; ++third) {
        const Rgba actual = GlTestContext::pixel(kSize * (2 * third + 1) / 6, kSize / 2);
        QVERIFY2(GlTestContext::near(actual, expected[third]), qPrintable(QString("third %1").arg(third)));
    }
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
    std::vector<float> vertices;
    for (int third = 0; third < 3; ++third) {
        const std::vector<float> quad = quadVertices(-1 + third * 2.0f / 3, -1 + (third + 1) * 2.0f / 3, normal, uv);
        vertices.insert(vertices.end(), quad.begin(), quad.end());
    }
    Owned<Mesh> mesh(Mesh::createMesh(positionNormalTexture(), 12));
    mesh->setVertexData(vertices.data());
    for (unsigned short third = 0; third < 3; ++third) {
        const unsigned short base = third * 4;
        unsigned short indices[] = {base, static_cast<unsigned short>(base + 1), static_cast<unsigned short>(base + 2),
                                    base, static_cast<unsigned short>(base + 2), static_cast<unsigned short>(base + 3)};
        if (third == 1 && middleIndexPastLastVertex)
            indices[5] = 12;
        mesh->addPart(Mesh::TRIANGLES, Mesh::INDEX16, 6)->setIndexData(indices, 0, 6);
    }
    Owned<Model> model(Model::create(mesh.get()));
    Owned<Material> red(flatMaterial(Vector4(1, 0, 0, 1)));
    Owned<Material> green(flatMaterial(Vector4(0, 1, 0, 1)));
    model->setMaterial(red.get(), 1);
    if (sharedMaterial)
        model->setMaterial(green.get());
    QCOMPARE(model->getMaterial(0), static_cast<Material*>(nullptr));
    QCOMPARE(model->getMaterial(1), red.get());

    const Rgba outside = sharedMaterial ? kGreen : kBlack;
    const Rgba expected[3] = {outside, middleIndexPastLastVertex ? kBlack : kRed, outside};
    drawAndCheckThirds(model.get(), expected);
    QCOMPARE(mesh->getPart(1)->isDrawable(), !middleIndexPastLastVertex);
}

void TestGlMesh::paletteOfJointSharedByTwoSkins()
{
    Owned<Node> bone(Node::create("plain"));
    MeshSkin fresh;
    fresh.setJointCount(4);
    QCOMPARE(fresh.getMatrixPaletteSize(), 12u);
    fresh.setJoint(bone.get(), 2);
    const Vector4* identity = fresh.getMatrixPalette();
    for (int i = 0; i < 12; ++i) {
        const Vector4 row(i % 3 == 0, i % 3 == 1, i % 3 == 2, 0);
        QVERIFY(identity[i].x == row.x && identity[i].y == row.y && identity[i].z == row.z && identity[i].w == 0);
    }

    // Two models on nodes at different places share one joint; each skin
    // must see the joint relative to its own node.
    Owned<Joint> joint(Joint::create("bone"));
    joint->setTranslation(1, 2, 3);
    Owned<Node> nodeA(Node::create("a"));
    Owned<Node> nodeB(Node::create("b"));
    nodeB->setTranslation(10, 0, 0);
    Owned<Mesh> mesh(Mesh::createMesh(positionNormalTexture(), 1));
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
    QCOMPARE(joint->getSkinCount(), 2u);
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

// Materials read from files, drawn into a frame buffer and read back: colour,
// depth test, blending, culling and the state each pass leaves behind; the
// effect cache, defines, includes, uniform arrays and render state names.
#include "GlTestContext.h"

#include "EngineTestSupport.h"

#include "Effect.h"
#include "FileSystem.h"
#include "Light.h"
#include "LightParameterBinder.h"
#include "Material.h"
#include "MaterialParameter.h"
#include "MaterialReader.h"
#include "Mesh.h"
#include "MeshPart.h"
#include "Model.h"
#include "Node.h"
#include "Pass.h"
#include "StateBlock.h"
#include "Technique.h"

#include <QtTest>

#include <string>

using namespace engine;
using enginetest::GlTestContext;
using enginetest::Owned;
using enginetest::Rgba;

Q_DECLARE_METATYPE(enginetest::Rgba)

namespace {

const int kSize = 32;

std::string folder() { return QDir::currentPath().toStdString() + "/"; }

void writeShaders()
{
    enginetest::writeFile(folder() + "flat.vert", enginetest::kFlatVertexShader);
    enginetest::writeFile(folder() + "flat.frag", enginetest::kFlatFragmentShader);
}

// A material file with one technique of one pass drawing u_color.
std::string writeMaterial(const std::string& name, const QString& color, const QString& renderState,
                          const std::string& pass = "vertexShader = flat.vert\nfragmentShader = flat.frag\n")
{
    const std::string text = "material " + name + "\n{\n"
        + "u_worldViewProjectionMatrix = WORLD_VIEW_PROJECTION_MATRIX\n" + "u_color = " + color.toStdString()
        + "\nrenderState\n{\n" + renderState.toStdString() + "\n}\n" + "technique\n{\npass\n{\n" + pass + "}\n}\n}\n";
    enginetest::writeFile(folder() + name + ".material", text);
    return name + ".material";
}

// A full-screen quad at depth z, wound counter-clockwise unless asked otherwise.
Mesh* quad(float z, bool clockwise)
{
    const VertexFormat::Element position(VertexFormat::POSITION, 3);
    Mesh* mesh = Mesh::createMesh(VertexFormat(&position, 1), 4);
    const float ccw[] = {-1, -1, z, 1, -1, z, 1, 1, z, -1, 1, z};
    const float cw[] = {-1, -1, z, -1, 1, z, 1, 1, z, 1, -1, z};
    mesh->setVertexData(clockwise ? cw : ccw);
    const unsigned char indices[] = {0, 1, 2, 0, 2, 3};
    mesh->addPart(Mesh::TRIANGLES, Mesh::INDEX8, 6)->setIndexData(indices, 0, 6);
    return mesh;
}

void drawQuad(const char* materialFile, float z, bool clockwise)
{
    Owned<Mesh> mesh(quad(z, clockwise));
    Owned<Model> model(Model::create(mesh.get()));
    Owned<Material> material(Material::create(materialFile));
    QVERIFY(material.get());
    model->setMaterial(material.get());
    model->draw();
}

} // namespace

class TestGlMaterial : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void drawing_data();
    void drawing();
    void definesSelectCodeAndPickingDrawsFlat();
    void effectsAreSharedThroughTheCache();
    void includesResolveAgainstTheIncludingFile();
    void failingShaderLeavesErrFile();
    void uniformArraysUnderBaseName();
    void lightsFoundNearestFirst_data();
    void lightsFoundNearestFirst();
    void renderStateValues_data();
    void renderStateValues();
    void parameterKinds_data();
    void parameterKinds();
    void cleanupTestCase();

private:
    GlTestContext m_gl;
};

void TestGlMaterial::initTestCase()
{
    QVERIFY(m_gl.create());
    QVERIFY(m_gl.bindTarget(kSize, kSize));
    StateBlock::initialize();
    FileSystem::setResourcePath(folder().c_str());
    writeShaders();
}

void TestGlMaterial::cleanupTestCase()
{
    StateBlock::finalize();
    m_gl.releaseTarget();
}

void TestGlMaterial::drawing_data()
{
    QTest::addColumn<QString>("firstState");
    QTest::addColumn<QString>("firstColor");
    QTest::addColumn<bool>("firstClockwise");
    QTest::addColumn<QString>("secondState");
    QTest::addColumn<QString>("secondColor");
    QTest::addColumn<bool>("secondClockwise");
    QTest::addColumn<Rgba>("expected");

    const Rgba red = {255, 0, 0, 255};
    const Rgba green = {0, 255, 0, 255};
    QTest::newRow("colour") << ""
                            << "0.2,0.4,0.6,1" << false << ""
                            << "" << false << Rgba {51, 102, 153, 255};
    QTest::newRow("depth test keeps the nearer quad") << "depthTest = true"
                                                      << "1,0,0,1" << false << "depthTest = true"
                                                      << "0,1,0,1" << false << red;
    QTest::newRow("depth func GREATER lets the later quad through")
        << "depthTest = true"
        << "1,0,0,1" << false << "depthTest = true\ndepthFunc = greater"
        << "0,1,0,1" << false << green;
    QTest::newRow("no depth write") << "depthTest = true\ndepthWrite = false"
                                    << "1,0,0,1" << false << "depthTest = true"
                                    << "0,1,0,1" << false << green;
    QTest::newRow("blending over the first quad")
        << ""
        << "0,0,1,1" << false << "blend = true\nblendSrc = SRC_ALPHA\nblendDst = ONE_MINUS_SRC_ALPHA"
        << "1,0,0,0.5" << false << Rgba {128, 0, 127, 191};
    QTest::newRow("back faces culled") << ""
                                       << "1,0,0,1" << false << "cullFace = true"
                                       << "0,1,0,1" << true << red;
    QTest::newRow("clockwise front face drawn") << ""
                                                << "1,0,0,1" << false << "cullFace = true\nfrontFace = CW"
                                                << "0,1,0,1" << true << green;
    QTest::newRow("front faces culled") << ""
                                        << "1,0,0,1" << false << "cullFace = true\ncullFaceSide = FRONT"
                                        << "0,1,0,1" << false << red;
    QTest::newRow("states of the first pass restored for the second")
        << "depthTest = true\nblend = true\nblendSrc = ZERO\nblendDst = ONE\ncullFace = true\nfrontFace = CW"
        << "1,0,0,1" << false << ""
        << "0,1,0,1" << true << green;
}

void TestGlMaterial::drawing()
{
    QFETCH(QString, firstState);
    QFETCH(QString, firstColor);
    QFETCH(bool, firstClockwise);
    QFETCH(QString, secondState);
    QFETCH(QString, secondColor);
    QFETCH(bool, secondClockwise);
    QFETCH(Rgba, expected);

    GlTestContext::clear();
    // The first quad is nearer (smaller depth) than the second.
    drawQuad(writeMaterial("first", firstColor, firstState).c_str(), -0.5f, firstClockwise);
    if (!secondColor.isEmpty())
        drawQuad(writeMaterial("second", secondColor, secondState).c_str(), 0.5f, secondClockwise);
    const Rgba actual = GlTestContext::pixel(kSize / 2, kSize / 2);
    QVERIFY2(GlTestContext::near(actual, expected),
             qPrintable(QString("%1 %2 %3 %4").arg(actual[0]).arg(actual[1]).arg(actual[2]).arg(actual[3])));

    // Whatever the passes set, the next pass starts from the defaults.
    StateBlock::restore(0);
    QCOMPARE(bool(glIsEnabled(GL_BLEND)), false);
    QCOMPARE(bool(glIsEnabled(GL_CULL_FACE)), false);
    QCOMPARE(bool(glIsEnabled(GL_DEPTH_TEST)), false);
    GLboolean depthWrite = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrite);
    QCOMPARE(depthWrite, GLboolean(GL_TRUE));
    QCOMPARE(StateBlock::defaultState()->getBits(), 0u);
}

void TestGlMaterial::definesSelectCodeAndPickingDrawsFlat()
{
    enginetest::writeFile(folder() + "defines.frag",
                          "void main() {\n"
                          "#if defined(SPECULAR) && defined(POINT_LIGHT)\n"
                          "    gl_FragColor = vec4(0.0, 0.0, 1.0, 1.0);\n"
                          "#else\n"
                          "    gl_FragColor = vec4(1.0, 1.0, 1.0, 1.0);\n"
                          "#endif\n"
                          "}\n");
    const std::string file = writeMaterial("defines", "0,1,0,1", "",
                                           "vertexShader = flat.vert\nfragmentShader = defines.frag\n"
                                           "defines = SPECULAR;POINT_LIGHT\n");
    Owned<Material> material(Material::create(file.c_str()));
    QVERIFY(material.get());
    QVERIFY(material->hasDefine("SPECULAR") && material->hasDefine("POINT_LIGHT"));
    QCOMPARE(material->getTechniqueCount(), 2u);
    QCOMPARE(material->getTechnique(), material->getTechniqueByIndex(0));

    Owned<Mesh> mesh(quad(0, false));
    Owned<Model> model(Model::create(mesh.get()));
    model->setMaterial(material.get());
    GlTestContext::clear();
    model->draw();
    QVERIFY(GlTestContext::near(GlTestContext::pixel(kSize / 2, kSize / 2), {0, 0, 255, 255}));

    material->setTechnique("color_picking");
    material->getTechnique()->getParameter("u_diffuseColor")->setValue(Vector4(1, 1, 0, 1));
    GlTestContext::clear();
    model->draw();
    QVERIFY(GlTestContext::near(GlTestContext::pixel(kSize / 2, kSize / 2), {255, 255, 0, 255}));
}

void TestGlMaterial::effectsAreSharedThroughTheCache()
{
    Owned<Effect> first(Effect::createFromFile("flat.vert", "flat.frag", "A"));
    Owned<Effect> again(Effect::createFromFile("flat.vert", "flat.frag", "A"));
    Owned<Effect> otherDefines(Effect::createFromFile("flat.vert", "flat.frag", "B"));
    QVERIFY(first.get());
    QCOMPARE(again.get(), first.get());
    QVERIFY(otherDefines.get() != first.get());

    const std::string a = writeMaterial("shareA", "1,0,0,1", "");
    const std::string b = writeMaterial("shareB", "0,1,0,1", "");
    Owned<Material> materialA(Material::create(a.c_str()));
    Owned<Material> materialB(Material::create(b.c_str()));
    QCOMPARE(materialA->getTechnique()->getPassByIndex(0)->getEffect(),
             materialB->getTechnique()->getPassByIndex(0)->getEffect());
}

void TestGlMaterial::includesResolveAgainstTheIncludingFile()
{
    enginetest::writeFile(folder() + "lib/colour.glsl",
                          "#include \"inner/value.glsl\"\n"
                          "vec4 colour() { return vec4(VALUE, 0.0, 0.0, 1.0); }\n");
    enginetest::writeFile(folder() + "lib/inner/value.glsl", "#define VALUE 1.0\n");
    enginetest::writeFile(folder() + "include.frag",
                          "#include \"lib/colour.glsl\"\n"
                          "void main() { gl_FragColor = colour(); }\n");
    enginetest::writeFile(folder() + "loop.frag", "#include \"loop.frag\"\nvoid main() { }\n");
    Owned<Effect> effect(Effect::createFromFile("flat.vert", "include.frag"));
    QVERIFY(effect.get());
    Owned<Effect> loop(Effect::createFromFile("flat.vert", "loop.frag"));
    QVERIFY(!loop.get());
}

void TestGlMaterial::failingShaderLeavesErrFile()
{
    enginetest::writeFile(folder() + "broken.frag", "void main() { gl_FragColor = nonsense; }\n");
    QFile::remove(QString::fromStdString(folder() + "broken.frag.err"));
    const std::string file
        = writeMaterial("broken", "1,0,0,1", "", "vertexShader = flat.vert\nfragmentShader = broken.frag\n");
    Owned<Material> material(Material::create(file.c_str()));
    QVERIFY(!material.get());
    QFile err(QString::fromStdString(folder() + "broken.frag.err"));
    QVERIFY(err.open(QIODevice::ReadOnly));
    QVERIFY(err.readAll().contains("nonsense"));
}

void TestGlMaterial::uniformArraysUnderBaseName()
{
    const char vertex[] = "attribute vec3 a_position;\n"
                          "uniform vec4 u_palette[3];\n"
                          "void main() { gl_Position = vec4(a_position, 1.0) + u_palette[0] + u_palette[2]; }\n";
    const char fragment[] = "uniform sampler2D u_maps[2];\nuniform sampler2D u_extra;\n"
                            "void main() { gl_FragColor = texture2D(u_maps[1], vec2(0.5)) + "
                            "texture2D(u_extra, vec2(0.5)); }\n";
    Owned<Effect> effect(Effect::createFromSource(vertex, fragment));
    QVERIFY(effect.get());
    QVERIFY(effect->getUniform("u_palette"));
    QVERIFY(!effect->getUniform("u_palette[0]") || effect->getUniform("u_palette[0]")->name == "u_palette[0]");
    Uniform* element = effect->getUniform("u_palette[2]");
    QVERIFY(element);
    QVERIFY(element->location != effect->getUniform("u_palette")->location);
    // Sampler arrays take consecutive texture units.
    QVERIFY(effect->getUniform("u_maps") && effect->getUniform("u_extra"));
    QCOMPARE(effect->getUniform("u_maps")->index + effect->getUniform("u_extra")->index, 2u);
}

void TestGlMaterial::lightsFoundNearestFirst_data()
{
    QTest::addColumn<QString>("defines");
    QTest::addColumn<bool>("ownPointLight");
    QTest::addColumn<QString>("expectedLightNode");
    QTest::newRow("point light on a sibling of the parent") << "POINT_LIGHT" << false << "uncle";
    QTest::newRow("own light first") << "POINT_LIGHT" << true << "model";
    QTest::newRow("spot light on a sibling") << "SPOT_LIGHT;POINT_LIGHT" << false << "sibling";
    QTest::newRow("no directional light anywhere") << "SPECULAR" << false << "";
    QTest::newRow("no light asked for") << "" << false << "";
}

void TestGlMaterial::lightsFoundNearestFirst()
{
    QFETCH(QString, defines);
    QFETCH(bool, ownPointLight);
    QFETCH(QString, expectedLightNode);
    // root { uncle (point, range 10), parent { sibling (spot), model } }
    Owned<Node> root(Node::create("root"));
    Owned<Node> uncle(Node::create("uncle"));
    Owned<Node> parent(Node::create("parent"));
    Owned<Node> sibling(Node::create("sibling"));
    Owned<Node> model(Node::create("model"));
    root->addChild(uncle.get());
    root->addChild(parent.get());
    parent->addChild(sibling.get());
    parent->addChild(model.get());
    Owned<Light> point(Light::createPoint(Vector3(0, 0, 1), 10));
    Owned<Light> ownPoint(Light::createPoint(Vector3(1, 0, 0), 4));
    Owned<Light> spot(Light::createSpot(Vector3(0, 1, 0), 5, 0.5f, 0.7f));
    uncle->setLight(point.get());
    sibling->setLight(spot.get());
    if (ownPointLight)
        model->setLight(ownPoint.get());

    const std::string file = writeMaterial(
        "lit", "1,1,1,1", "",
        "vertexShader = flat.vert\nfragmentShader = flat.frag\ndefines = " + defines.toStdString() + "\n");
    Owned<Material> material(Material::create(file.c_str()));
    QVERIFY(material.get());
    QCOMPARE(LightParameterBinder::bind(material.get(), model.get()), !expectedLightNode.isEmpty());
    if (expectedLightNode.isEmpty())
        return;
    Node* lightNode = root->findNode(expectedLightNode.toLatin1().constData());
    const float* color = material->getParameter("u_lightColor")->getFloats();
    const Vector3& expected = lightNode->getLight()->getColor();
    QVERIFY(color[0] == expected.x && color[1] == expected.y && color[2] == expected.z);
    if (lightNode->getLight()->getLightType() == Light::POINT)
        QCOMPARE(material->getParameter("u_pointLightRangeInverse")->getFloat(),
                 lightNode->getLight()->getRangeInverse());
}

void TestGlMaterial::renderStateValues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("getter");
    QTest::addColumn<unsigned int>("expected");
    QTest::addColumn<unsigned int>("bits");
    QTest::newRow("unknown stencil function") << "stencilFunc"
                                              << "SOMETIMES"
                                              << "stencilFunc" << 0x0207u << 0u;
    QTest::newRow("unknown depth function") << "depthFunc"
                                            << "SOMETIMES"
                                            << "depthFunc" << 0x0201u << 0u;
    QTest::newRow("lower-case blend factor") << "blendSrc"
                                             << "src_alpha"
                                             << "blendSrc" << 0x0302u << 2u;
    QTest::newRow("unknown blend factor is ONE") << "dstBlend"
                                                 << "HALF"
                                                 << "blendDst" << 1u << 2u;
    QTest::newRow("depthWrite TRUE") << "depthWrite"
                                     << "TRUE"
                                     << "depthWrite" << 1u << 0u;
    QTest::newRow("depthWrite yes is false") << "depthWrite"
                                             << "yes"
                                             << "depthWrite" << 0u << 16u;
    QTest::newRow("boolean longer than true") << "blend"
                                              << "trueish"
                                              << "blend" << 0u << 0u;
    QTest::newRow("unparsable stencil write") << "stencilWrite"
                                              << "lots"
                                              << "stencilWrite" << 0u << 0x100u;
    QTest::newRow("stencil ref alone") << "stencilFuncRef"
                                       << "3"
                                       << "stencilFunc" << 0x0207u << 0x200u;
    QTest::newRow("unknown stencil op") << "stencilOpDppass"
                                        << "EXPLODE"
                                        << "stencilOp" << 0x1E00u << 0u;
    QTest::newRow("unknown cull side") << "cullFaceSide"
                                       << "LEFT"
                                       << "cullFaceSide" << 0x0405u << 0u;
    QTest::newRow("clockwise front face") << "frontFace"
                                          << "cw"
                                          << "frontFace" << 0x0900u << 0x800u;
}

void TestGlMaterial::renderStateValues()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QString, getter);
    QFETCH(unsigned int, expected);
    QFETCH(unsigned int, bits);
    Owned<StateBlock> block(StateBlock::create());
    block->setState(name.toLatin1().constData(), value.toLatin1().constData());
    const std::map<QString, unsigned int> values
        = {{"stencilFunc", block->getStencilFunction()}, {"depthFunc", block->getDepthFunction()},
           {"blendSrc", block->getBlendSrc()},           {"blendDst", block->getBlendDst()},
           {"depthWrite", block->getDepthWrite()},       {"blend", block->getBlend()},
           {"stencilWrite", block->getStencilWrite()},   {"stencilOp", block->getStencilOpDppass()},
           {"cullFaceSide", block->getCullFaceSide()},   {"frontFace", block->getFrontFace()}};
    QCOMPARE(values.at(getter), expected);
    QCOMPARE(block->getBits(), bits);
}

void TestGlMaterial::parameterKinds_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("kind");
    QTest::newRow("float") << "-0.5" << int(MaterialReader::FLOAT);
    QTest::newRow("two dots is text") << "1.2.3" << int(MaterialReader::TEXT);
    QTest::newRow("vector2") << "1,2" << int(MaterialReader::VECTOR2);
    QTest::newRow("vector4") << "1,2,3,4" << int(MaterialReader::VECTOR4);
    QTest::newRow("four commas is text") << "1,2,3,4,5" << int(MaterialReader::TEXT);
    QTest::newRow("fifteen commas is a matrix") << "1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1" << int(MaterialReader::MATRIX);
}

void TestGlMaterial::parameterKinds()
{
    QFETCH(QString, value);
    QFETCH(int, kind);
    QCOMPARE(int(MaterialReader::valueKind(value.toLatin1().constData())), kind);
}

QTEST_MAIN(TestGlMaterial)
#include "tst_glmaterial.moc"

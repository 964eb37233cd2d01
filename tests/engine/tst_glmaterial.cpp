// Materials read from files, drawn into a frame buffer and read back: depth
// test, blending, culling and the state each pass leaves behind; defines,
// includes, the lights a material finds and the
// application's own shaders.
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
#include "Properties.h"
#include "StateBlock.h"
#include "Technique.h"

#include <QTemporaryDir>
#include <QtTest>

#include <string>

using namespace engine;
using enginetest::GlTestContext;
using enginetest::Owned;
using enginetest::Rgba;

Q_DECLARE_METATYPE(enginetest::Rgba)

namespace {

const int kSize = 32;
const char kFlatPass[] = "vertexShader = flat.vert\nfragmentShader = flat.frag\n";

std::string folder() { return QDir::currentPath().toStdString() + "/"; }

// A material file with one technique of one pass drawing u_color.
std::string writeMaterial(const std::string& name, const QString& color, const QString& renderState,
                          const std::string& pass = kFlatPass)
{
    const std::string text = "material " + name + "\n{\n"
        + "u_worldViewProjectionMatrix = WORLD_VIEW_PROJECTION_MATRIX\n" + "u_color = " + color.toStdString()
        + "\nrenderState\n{\n" + renderState.toStdString() + "\n}\n" + "technique\n{\npass\n{\n" + pass + "}\n}\n}\n";
    enginetest::writeFile(folder() + name + ".material", text);
    return name + ".material";
}

// A full-screen quad at depth z, wound counter-clockwise unless asked otherwise.
Model* quadModel(float z, bool clockwise)
{
    const VertexFormat::Element position(VertexFormat::POSITION, 3);
    Owned<Mesh> mesh(Mesh::createMesh(VertexFormat(&position, 1), 4));
    const float ccw[] = {-1, -1, z, 1, -1, z, 1, 1, z, -1, 1, z};
    const float cw[] = {-1, -1, z, -1, 1, z, 1, 1, z, 1, -1, z};
    mesh->setVertexData(clockwise ? cw : ccw);
    const unsigned char indices[] = {0, 1, 2, 0, 2, 3};
    mesh->addPart(Mesh::TRIANGLES, Mesh::INDEX8, 6)->setIndexData(indices, 0, 6);
    return Model::create(mesh.get());
}

void drawQuad(const std::string& materialFile, float z, bool clockwise)
{
    Owned<Model> model(quadModel(z, clockwise));
    Owned<Material> material(Material::create(folder(), materialFile.c_str()));
    QVERIFY(material.get());
    model->setMaterial(material.get());
    model->draw();
}

Rgba centre() { return GlTestContext::pixel(kSize / 2, kSize / 2); }

} // namespace

class TestGlMaterial : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void drawing_data();
    void drawing();
    void definesSelectCode();
    void deferredLightingAddsItsTechniques();
    void includesResolveAndLoopsFail();
    void filesOfAMaterialStayInItsFolder_data();
    void filesOfAMaterialStayInItsFolder();
    void lightsFoundNearestFirst_data();
    void lightsFoundNearestFirst();
    void applicationShadersCompile_data();
    void applicationShadersCompile();
    void cleanupTestCase();

private:
    GlTestContext m_gl;
    QTemporaryDir m_shared; // the program's own files, outside the model folder
};

void TestGlMaterial::initTestCase()
{
    QVERIFY(m_gl.create());
    QVERIFY(m_gl.bindTarget(kSize, kSize));
    StateBlock::initialize();
    enginetest::writeFile(folder() + "flat.vert", enginetest::kFlatVertexShader);
    enginetest::writeFile(folder() + "flat.frag", enginetest::kFlatFragmentShader);
    QVERIFY(m_shared.isValid());
    FileSystem::setSharedFolder(m_shared.path().toUtf8().constData());
}

void TestGlMaterial::cleanupTestCase()
{
    StateBlock::finalize();
    m_gl.releaseTarget();
}

void TestGlMaterial::drawing_data()
{
    // A red quad in front, then a quad behind it (clockwise or not).
    QTest::addColumn<QString>("firstState");
    QTest::addColumn<QString>("secondState");
    QTest::addColumn<QString>("secondColor");
    QTest::addColumn<bool>("secondClockwise");
    QTest::addColumn<Rgba>("expected");
    const Rgba red = {255, 0, 0, 255};
    const Rgba green = {0, 255, 0, 255};
    const QString depth = "depthTest = true";
    QTest::newRow("depth test keeps the nearer quad") << depth << depth << "0,1,0,1" << false << red;
    QTest::newRow("no depth write") << depth + "\ndepthWrite = false" << depth << "0,1,0,1" << false << green;
    QTest::newRow("blending") << ""
                              << "blend = true\nblendSrc = SRC_ALPHA\nblendDst = ONE_MINUS_SRC_ALPHA"
                              << "0,0,1,0.5" << false << Rgba {128, 0, 127, 191};
    QTest::newRow("back faces culled") << ""
                                       << "cullFace = true"
                                       << "0,1,0,1" << true << red;
    QTest::newRow("front faces culled") << ""
                                        << "cullFace = true\ncullFaceSide = FRONT"
                                        << "0,1,0,1" << false << red;
    QTest::newRow("states of the first pass restored for the second")
        << depth + "\nblend = true\nblendSrc = ZERO\nblendDst = ONE\ncullFace = true\nfrontFace = CW"
        << ""
        << "0,1,0,1" << true << green;
}

void TestGlMaterial::drawing()
{
    QFETCH(QString, firstState);
    QFETCH(QString, secondState);
    QFETCH(QString, secondColor);
    QFETCH(bool, secondClockwise);
    QFETCH(Rgba, expected);
    GlTestContext::clear();
    drawQuad(writeMaterial("first", "1,0,0,1", firstState), -0.5f, firstState.contains("CW"));
    drawQuad(writeMaterial("second", secondColor, secondState), 0.5f, secondClockwise);
    const Rgba actual = centre();
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
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
}

void TestGlMaterial::definesSelectCode()
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
    Owned<Material> material(Material::create(folder(), file.c_str()));
    QVERIFY(material.get());
    QCOMPARE(material->getTechniqueCount(), 2u);
    Owned<Model> model(quadModel(0, false));
    model->setMaterial(material.get());
    GlTestContext::clear();
    model->draw();
    QVERIFY(GlTestContext::near(centre(), {0, 0, 255, 255}));
}

// A pass that can be lit in a light pass gets a surface technique with the
// pass's own defines and a light pass technique with only the light counts.
void TestGlMaterial::deferredLightingAddsItsTechniques()
{
    enginetest::writeFile(folder() + "deferred.frag",
                          "void main() {\n"
                          "#if defined(GBUFFER) && defined(VERTEX_COLOR)\n"
                          "    gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0);\n"
                          "#elif defined(LIGHT_PASS) && POINT_LIGHT_COUNT == 2 && !defined(VERTEX_COLOR)\n"
                          "    gl_FragColor = vec4(0.0, 0.0, 1.0, 1.0);\n"
                          "#else\n"
                          "    gl_FragColor = vec4(0.0, 1.0, 0.0, 1.0);\n"
                          "#endif\n"
                          "}\n");
    const Rgba none {-1, -1, -1, -1};
    const auto drawnWith = [&none](const std::string& file, const char* technique) {
        Owned<Material> material(Material::create(folder(), file.c_str()));
        if (!material.get() || (technique && !material->setTechnique(technique)))
            return none;
        Owned<Model> model(quadModel(0, false));
        model->setMaterial(material.get());
        GlTestContext::clear();
        model->draw();
        return centre();
    };
    const std::string pass = "vertexShader = flat.vert\nfragmentShader = deferred.frag\n";
    const std::string deferred
        = writeMaterial("deferred", "0,1,0,1", "",
                        pass + "defines = VERTEX_COLOR;POINT_LIGHT_COUNT 2;LINEAR_LIGHTING;DEFERRED_LIGHTING\n");
    const std::string lit = writeMaterial("lit", "0,1,0,1", "", pass + "defines = VERTEX_COLOR;POINT_LIGHT_COUNT 2\n");
    QVERIFY(GlTestContext::near(drawnWith(deferred, nullptr), {0, 255, 0, 255}));
    QVERIFY(GlTestContext::near(drawnWith(deferred, Material::kSurfaceTechniqueId), {255, 0, 0, 255}));
    QVERIFY(GlTestContext::near(drawnWith(deferred, Material::kLightPassTechniqueId), {0, 0, 255, 255}));
    QCOMPARE(drawnWith(lit, Material::kSurfaceTechniqueId), none);
    QCOMPARE(drawnWith(lit, Material::kLightPassTechniqueId), none);
}

void TestGlMaterial::includesResolveAndLoopsFail()
{
    enginetest::writeFile(folder() + "lib/colour.glsl",
                          "#include \"inner/value.glsl\"\n"
                          "vec4 colour() { return vec4(VALUE, 0.0, 0.0, 1.0); }\n");
    enginetest::writeFile(folder() + "lib/inner/value.glsl", "#define VALUE 1.0\n");
    enginetest::writeFile(folder() + "include.frag",
                          "#include \"lib/colour.glsl\"\n"
                          "void main() { gl_FragColor = colour(); }\n");
    enginetest::writeFile(folder() + "loop.frag", "#include \"loop.frag\"\nvoid main() { }\n");
    Owned<Effect> effect(Effect::createFromFile(folder(), "flat.vert", "include.frag"));
    QVERIFY(effect.get());
    Owned<Effect> loop(Effect::createFromFile(folder(), "flat.vert", "loop.frag"));
    QVERIFY(!loop.get());
    // The same names in another folder are other shaders, not the cached effect.
    enginetest::writeFile(folder() + "other/flat.vert", enginetest::kFlatVertexShader);
    enginetest::writeFile(folder() + "other/include.frag", "void main() { gl_FragColor = vec4(1.0); }\n");
    Owned<Effect> other(Effect::createFromFile(folder() + "other/", "flat.vert", "include.frag"));
    QVERIFY(other.get() && other.get() != effect.get());
}

void TestGlMaterial::filesOfAMaterialStayInItsFolder_data()
{
    QTest::addColumn<QString>("pass");
    QTest::addColumn<bool>("built");
    QTest::addColumn<int>("problems");
    // Each file is there, reached by a path that leaves the folder.
    const QString outside = "../" + QDir::current().dirName() + "/";
    enginetest::writeFile(folder() + "tex.png", "not read");
    enginetest::writeFile(folder() + "escape.frag", "#include \"" + outside.toStdString() + "flat.frag\"\n");
    QTest::newRow("absolute vertex shader")
        << "vertexShader = " + QString::fromStdString(folder()) + "flat.vert\nfragmentShader = flat.frag\n"
        << false << 1;
    QTest::newRow("fragment shader above the folder") << "vertexShader = flat.vert\nfragmentShader = " + outside
            + "flat.frag\n" << false << 1;
    QTest::newRow("texture above the folder")
        << kFlatPass + ("sampler u_texture\n{\npath = " + outside + "tex.png\n}\n") << true << 1;
    QTest::newRow("include above the folder") << "vertexShader = flat.vert\nfragmentShader = escape.frag\n"
                                              << false << 0;
    // Links inside the folder: to any file elsewhere, and to the program's own.
    QFile::link("/etc/passwd", "passwd.png");
    QFile::link("/etc/passwd", "passwd.frag");
    enginetest::writeFile(m_shared.filePath("shared.frag").toStdString(), enginetest::kFlatFragmentShader);
    QFile::link(m_shared.filePath("shared.frag"), "shared.frag");
    QTest::newRow("texture linked from elsewhere")
        << QString(kFlatPass) + "sampler u_texture\n{\npath = passwd.png\n}\n"
        << true << 1;
    QTest::newRow("fragment shader linked from elsewhere") << "vertexShader = flat.vert\nfragmentShader = passwd.frag\n"
                                                           << false << 1;
    QTest::newRow("fragment shader linked from the program")
        << "vertexShader = flat.vert\nfragmentShader = shared.frag\n"
        << true << 0;
}

void TestGlMaterial::filesOfAMaterialStayInItsFolder()
{
    QFETCH(QString, pass);
    QFETCH(bool, built);
    QFETCH(int, problems);
    const std::string file = writeMaterial("confined", "0,1,0,1", "", pass.toStdString());
    std::unique_ptr<Properties> properties(Properties::create((file + "#confined").c_str()));
    BundleProblems reported;
    Owned<Material> material(MaterialReader::read(folder(), properties.get(), nullptr, nullptr, &reported));
    QCOMPARE(material.get() != nullptr, built);
    QCOMPARE(int(reported.size()), problems);
    QVERIFY(std::all_of(reported.begin(), reported.end(), [](const BundleProblem& p) { return p.kind == p.PATH; }));

    // A shader that fails leaves its ".err" file only below the resource folder.
    enginetest::writeFile(folder() + "broken.frag", "void main() { broken }\n");
    Owned<Effect> absolute(Effect::createFromFile(folder(), "flat.vert", (folder() + "broken.frag").c_str()));
    QVERIFY(!absolute.get() && !QFile::exists("broken.frag.err"));
    Owned<Effect> relative(Effect::createFromFile(folder(), "flat.vert", "broken.frag"));
    QVERIFY(!relative.get() && QFile::remove("broken.frag.err"));
    QCOMPARE(MaterialReader::valueKind("2.5e-1"), MaterialReader::FLOAT);
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

    const std::string file
        = writeMaterial("lit", "1,1,1,1", "", kFlatPass + std::string("defines = ") + defines.toStdString() + "\n");
    Owned<Material> material(Material::create(folder(), file.c_str()));
    QVERIFY(material.get());
    QCOMPARE(LightParameterBinder::bind(material.get(), model.get()), !expectedLightNode.isEmpty());
    if (expectedLightNode.isEmpty())
        return;
    Light* light = root->findNode(expectedLightNode.toLatin1().constData())->getLight();
    const float* color = material->getParameter("u_lightColor")->getFloats();
    QVERIFY(color[0] == light->getColor().x && color[1] == light->getColor().y && color[2] == light->getColor().z);
    if (light->getLightType() == Light::POINT)
        QCOMPARE(material->getParameter("u_pointLightRangeInverse")->getFloat(), light->getRangeInverse());
}

void TestGlMaterial::applicationShadersCompile_data()
{
    // The define sets the model encoder writes into material files.
    QTest::addColumn<QString>("defines");
    QTest::newRow("texture and vertex colour") << "DIFFUSE_TEXTURE;VERTEX_COLOR";
    QTest::newRow("skinned, specular") << "SKINNING;SKINNING_JOINT_COUNT 4;SPECULAR";
    QTest::newRow("point light") << "POINT_LIGHT;SPECULAR";
    QTest::newRow("directional light") << "SKINNING;SKINNING_JOINT_COUNT 60;DIRECTIONAL_LIGHT";
}

void TestGlMaterial::applicationShadersCompile()
{
    QFETCH(QString, defines);
    const std::string shaders = std::string(VELMORA_SOURCE_DIR) + "/res/shaders/";
    Owned<Effect> effect(Effect::createFromFile(std::string(), (shaders + "model.vert").c_str(),
                                                (shaders + "model.frag").c_str(), defines.toLatin1().constData()));
    QVERIFY(effect.get());
    QVERIFY(effect->getVertexAttribute("a_position") >= 0);
    if (defines.contains("SKINNING"))
        QVERIFY(effect->getUniform("u_matrixPalette"));

    Owned<Material> grid(Material::create(VELMORA_SOURCE_DIR "/res/", "grid.material"));
    QVERIFY(grid.get());
    QCOMPARE(grid->getTechniqueCount(), 2u);
}

QTEST_MAIN(TestGlMaterial)
#include "tst_glmaterial.moc"

// The frame loop: start-up, timed events, clearing, and a skinned model drawn
// through it. How much a frame allocates is measured by bench/animation.
#include "GlTestContext.h"

#include "EngineTestSupport.h"

#include "Camera.h"
#include "Effect.h"
#include "Game.h"
#include "Joint.h"
#include "Material.h"
#include "MaterialParameter.h"
#include "Mesh.h"
#include "MeshPart.h"
#include "MeshSkin.h"
#include "Model.h"
#include "Node.h"
#include "Platform.h"
#include "Scene.h"
#include "StateBlock.h"

#include <QtTest>

#include <vector>

using namespace engine;
using enginetest::GlTestContext;
using enginetest::Owned;

namespace {

class TestPlatform : public Platform {
public:
    explicit TestPlatform(Game* game)
        : Platform(game)
    {
    }
    unsigned int getDisplayWidth() const override { return 64; }
    unsigned int getDisplayHeight() const override { return 32; }
};

class RecordingGame : public Game, public Game::TimeListener {
public:
    std::vector<long> fired;
    int initialized = 0;
    int frames = 0;
    Model* model = nullptr;

    ~RecordingGame() override { shutdown(); }

    void timeEvent(long lateness, void* cookie) override
    {
        QVERIFY(lateness >= 0);
        fired.push_back(long(reinterpret_cast<intptr_t>(cookie)));
    }

protected:
    void initialize() override { ++initialized; }
    void render(float) override
    {
        ++frames;
        clear(CLEAR_COLOR_DEPTH, Vector4(0, 0, 0, 1), 1, 0);
        if (model)
            model->draw();
    }
};

const char kSkinnedVertex[] = "attribute vec3 a_position;\n"
                              "uniform mat4 u_worldViewProjectionMatrix;\n"
                              "uniform vec4 u_matrixPalette[6];\n"
                              "uniform vec3 u_ambient;\n"
                              "void main() { gl_Position = u_worldViewProjectionMatrix * vec4(a_position, 1.0)\n"
                              "    + u_matrixPalette[0] * 0.0 + vec4(u_ambient, 0.0) * 0.0; }\n";

} // namespace

class TestGlGame : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void runStartsOnceAndFramesTick();
    void clearSetsChangedValuesAndAlwaysClearsDepth();
    void skinnedModelDrawsThroughTheFrameLoop();

private:
    GlTestContext m_gl;
};

void TestGlGame::initTestCase()
{
    QVERIFY(m_gl.create());
    QVERIFY(m_gl.bindTarget(64, 32));
}

void TestGlGame::runStartsOnceAndFramesTick()
{
    RecordingGame game;
    QCOMPARE(game.run(), -2); // no platform to size the viewport by
    TestPlatform platform(&game);
    QCOMPARE(game.run(), 0);
    QCOMPARE(game.run(), -1);
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    QCOMPARE(viewport[2], 64);
    QCOMPARE(viewport[3], 32);

    game.schedule(1e9, &game, reinterpret_cast<void*>(3));
    game.schedule(0, &game, reinterpret_cast<void*>(1));
    game.schedule(0, &game, reinterpret_cast<void*>(2));
    game.frame();
    game.frame();
    QCOMPARE(game.initialized, 1);
    QCOMPARE(game.fired, (std::vector<long> {1, 2}));
    game.pause();
    game.frame();
    QCOMPARE(game.frames, 3);
    game.shutdown();
    QCOMPARE(game.getState(), Game::UNINITIALIZED);
    QCOMPARE(game.run(), 0);
}

void TestGlGame::clearSetsChangedValuesAndAlwaysClearsDepth()
{
    RecordingGame game;
    TestPlatform platform(&game);
    QCOMPARE(game.run(), 0);
    const Vector4 blue(0, 0, 1, 1);
    game.clear(Game::CLEAR_COLOR, blue, 1, 0);
    glClearColor(1, 0, 0, 1);
    game.clear(Game::CLEAR_COLOR, blue, 1, 0);
    GLfloat value[4] = {0, 0, 0, 0};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, value);
    QCOMPARE(value[0], 1.0f);

    // A pass that turned depth writes off must not stop the depth clear.
    Owned<StateBlock> noDepthWrite(StateBlock::create());
    noDepthWrite->setDepthWrite(false);
    noDepthWrite->bind();
    glClearDepth(0.25);
    glClear(GL_DEPTH_BUFFER_BIT);
    game.clear(Game::CLEAR_DEPTH, blue, 0.75f, 0);
    GLfloat depth = 0;
    glReadPixels(1, 1, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    QVERIFY(qAbs(depth - 0.75f) < 0.01f);
}

// The palette, the scene's ambient colour and the camera reach the shader
// through automatic bindings while the joint and the node move.
void TestGlGame::skinnedModelDrawsThroughTheFrameLoop()
{
    RecordingGame game;
    TestPlatform platform(&game);
    QCOMPARE(game.run(), 0);
    Owned<Scene> scene(Scene::create("scene"));
    Owned<Node> cameraNode(Node::create("camera"));
    Owned<Camera> camera(Camera::createPerspective(45, 2, 0.1f, 100));
    cameraNode->setCamera(camera.get());
    cameraNode->setTranslation(0, 0, 5);
    scene->addNode(cameraNode.get());
    Owned<Node> node(Node::create("model"));
    scene->addNode(node.get());
    Owned<Joint> bone(Joint::create("bone"));
    node->addChild(bone.get());

    const VertexFormat::Element position(VertexFormat::POSITION, 3);
    Owned<Mesh> mesh(Mesh::createMesh(VertexFormat(&position, 1), 3));
    const float vertices[] = {-1, -1, 0, 1, -1, 0, 0, 1, 0};
    mesh->setVertexData(vertices);
    const unsigned short indices[] = {0, 1, 2};
    mesh->addPart(Mesh::TRIANGLES, Mesh::INDEX16, 3)->setIndexData(indices, 0, 3);
    Owned<Model> model(Model::create(mesh.get()));
    MeshSkin* skin = new MeshSkin();
    skin->setJointCount(2);
    skin->setJoint(bone.get(), 0);
    model->setSkin(skin);
    Owned<Effect> effect(Effect::createFromSource(kSkinnedVertex, enginetest::kFlatFragmentShader));
    QVERIFY(effect.get());
    Owned<Material> material(Material::create(effect.get()));
    material->setParameterAutoBinding("u_worldViewProjectionMatrix", "WORLD_VIEW_PROJECTION_MATRIX");
    material->setParameterAutoBinding("u_matrixPalette", "MATRIX_PALETTE");
    material->setParameterAutoBinding("u_ambient", "SCENE_AMBIENT_COLOR");
    material->getParameter("u_color")->setValue(Vector4(1, 1, 1, 1));
    material->getStateBlock()->setDepthTest(true);
    model->setMaterial(material.get());
    node->setDrawable(model.get());
    game.model = model.get();
    for (int i = 0; i < 3; ++i) {
        bone->setTranslation(float(i) * 0.01f, 0, 0);
        node->setTranslation(0, float(i) * 0.01f, 0);
        game.frame();
    }
    QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
    QVERIFY(GlTestContext::near(GlTestContext::pixel(32, 14), {255, 255, 255, 255}));
    game.model = nullptr;
}

QTEST_MAIN(TestGlGame)
#include "tst_glgame.moc"

// Clearing in the frame loop. Skinned models drawn through automatic
// bindings are in tst_bundlescene; how much a frame allocates is measured by
// bench/animation.
#include "GlTestContext.h"

#include "EngineTestSupport.h"

#include "Game.h"
#include "Platform.h"
#include "StateBlock.h"

#include <QtTest>

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

class ClearingGame : public Game {
public:
    ~ClearingGame() override { shutdown(); }

protected:
    void initialize() override { }
    void render(float) override { clear(CLEAR_COLOR_DEPTH, Vector4(0, 0, 0, 1), 1, 0); }
};

} // namespace

class TestGlGame : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void clearUsesItsOwnValuesWhateverOtherCodeLeft();

private:
    GlTestContext m_gl;
};

void TestGlGame::initTestCase()
{
    QVERIFY(m_gl.create());
    QVERIFY(m_gl.bindTarget(64, 32));
}

void TestGlGame::clearUsesItsOwnValuesWhateverOtherCodeLeft()
{
    ClearingGame game;
    TestPlatform platform(&game);
    QCOMPARE(game.run(), 0);
    game.clear(Game::CLEAR_COLOR_DEPTH, Vector4(0, 0, 1, 1), 0.75f, 0);
    // Other code sharing the context (a thumbnail pass) clears white and
    // leaves its values; a pass that turned depth writes off must not stop
    // the depth clear either.
    glClearColor(1, 1, 1, 1);
    glClearDepth(0.25);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Owned<StateBlock> noDepthWrite(StateBlock::create());
    noDepthWrite->setDepthWrite(false);
    noDepthWrite->bind();
    game.clear(Game::CLEAR_COLOR_DEPTH, Vector4(0, 0, 1, 1), 0.75f, 0);
    GLfloat depth = 0;
    GLubyte rgba[4] = {};
    glReadPixels(1, 1, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    glReadPixels(1, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    QVERIFY(qAbs(depth - 0.75f) < 0.01f);
    QCOMPARE(QVector<int>({rgba[0], rgba[1], rgba[2]}), QVector<int>({0, 0, 255}));
}

QTEST_MAIN(TestGlGame)
#include "tst_glgame.moc"

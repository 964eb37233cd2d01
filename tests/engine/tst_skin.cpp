// A skin follows its root joints: moving one moves the model's bounds, and a
// bone that goes away first leaves the skin without a dangling pointer.
#include "EngineTestSupport.h"

#include "Joint.h"
#include "Mesh.h"
#include "MeshSkin.h"
#include "Model.h"
#include "Node.h"
#include "VertexFormat.h"

#include <QtTest>

using namespace engine;
using namespace enginetest;

namespace {

enum class Move { RootJoint, ChildJoint, ModelNode, RootJointSuspended };

// model node "m" with a unit-box mesh skinned to root "r" (a Joint) with
// child "c" (a plain node: any node can be a bone), both at the top.
struct SkinnedScene {
    SkinnedScene()
    {
        const VertexFormat::Element position(VertexFormat::POSITION, 3);
        Mesh* mesh = Mesh::createMesh(VertexFormat(&position, 1), 3);
        mesh->setBoundingBox(BoundingBox(Vector3(0, 0, 0), Vector3(1, 1, 1)));
        mesh->setBoundingSphere(BoundingSphere(Vector3(0.5f, 0.5f, 0.5f), 1.0f));
        Model* model = Model::create(mesh);
        mesh->release();
        skin = new MeshSkin();
        skin->setJointCount(3);
        skin->setJoint(root, 0);
        skin->setJoint(child, 1);
        skin->setJoint(child, 2);
        root->addChild(child);
        model->setSkin(skin);
        node->setDrawable(model);
        model->release();
        skin->computeRootJoints();
    }
    ~SkinnedScene()
    {
        child->release();
        root->release();
        node->release();
    }
    Node* node = Node::create("m");
    Joint* root = Joint::create("r");
    Node* child = Node::create("c");
    MeshSkin* skin = nullptr;
};

} // namespace

Q_DECLARE_METATYPE(Move)

class TestSkin : public QObject {
    Q_OBJECT

private slots:
    void movesFollowTheRootJoint_data()
    {
        QTest::addColumn<Move>("move");
        QTest::addColumn<float>("boxMinX");
        QTest::newRow("root joint moves the mesh") << Move::RootJoint << 10.0f;
        QTest::newRow("told after a suspension ends") << Move::RootJointSuspended << 10.0f;
        // Only the root joints place the bounds; the node's matrix skins nothing.
        QTest::newRow("child joint") << Move::ChildJoint << 0.0f;
        QTest::newRow("model node") << Move::ModelNode << 0.0f;
    }
    void movesFollowTheRootJoint()
    {
        QFETCH(Move, move);
        QFETCH(float, boxMinX);
        const Vector3 boxMin(boxMinX, 0, 0);
        SkinnedScene s;
        // "c" fills two slots below the root: one root joint, once.
        QCOMPARE(s.skin->getRootJoints(), std::vector<Node*>({s.root}));
        QVERIFY(near(s.node->getBoundingBox().min, Vector3(0, 0, 0)));
        switch (move) {
        case Move::RootJoint:
            s.root->setTranslation(10, 0, 0);
            break;
        case Move::RootJointSuspended:
            Transform::suspendTransformChanged();
            s.root->setTranslation(10, 0, 0);
            Transform::resumeTransformChanged();
            break;
        case Move::ChildJoint:
            s.child->setTranslation(10, 0, 0);
            break;
        case Move::ModelNode:
            s.node->setTranslation(10, 0, 0);
            break;
        }
        QVERIFY(near(s.node->getBoundingBox().min, boxMin));
        QVERIFY(near(s.node->getBoundingSphere().center, boxMin + Vector3(0.5f, 0.5f, 0.5f)));
    }

    void bonesDestroyedBeforeTheSkin()
    {
        SkinnedScene s;
        s.root->removeChild(s.child);
        s.child->release();
        s.child = Node::create("spare");
        QCOMPARE(s.skin->getJoint(1), nullptr);
        QCOMPARE(s.skin->getJoint(2), nullptr);
        s.root->release();
        s.root = Joint::create("spare root");
        QVERIFY(s.skin->getRootJoints().empty());
        QCOMPARE(s.skin->getJoint(0), nullptr);
        // Bounds fall back to mesh space with no root joint left.
        QVERIFY(near(s.node->getBoundingBox().max, Vector3(1, 1, 1)));
    }
};

QTEST_GUILESS_MAIN(TestSkin)
#include "tst_skin.moc"

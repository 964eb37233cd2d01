// Transforms, nodes, scenes, cameras and lights: notification while
// listeners come and go, cached matrices and bounds through re-parenting and
// changes, shared attachments, and values that must not become infinite.
#include "EngineTestSupport.h"

#include "Camera.h"
#include "Drawable.h"
#include "Light.h"
#include "Node.h"
#include "Scene.h"
#include "SceneLightSet.h"
#include "Transform.h"

#include <QtTest>

#include <cmath>
#include <vector>

using namespace engine;
using namespace enginetest;

Q_DECLARE_METATYPE(engine::Vector3)

namespace {

// Stand-in for a model: reference counted, with fixed mesh bounds.
struct FakeModel : public Ref, public Drawable {
    explicit FakeModel(const BoundingBox& b, bool s = false)
        : box(b)
        , skinned(s)
    {
    }
    bool hasMesh() const override { return !box.isEmpty(); }
    BoundingSphere meshBoundingSphere() const override
    {
        BoundingSphere s;
        s.set(box);
        return s;
    }
    BoundingBox meshBoundingBox() const override { return box; }
    bool isSkinned() const override { return skinned; }
    unsigned int meshPartCount() const override { return 1; }
    unsigned int vertexCount() const override { return 1; }
    BoundingBox box;
    bool skinned;
};

// Gives the drawable to the node, which then holds the only reference.
void attach(Node* node, FakeModel* model)
{
    node->setDrawable(model);
    model->release();
}

// Records notifications; the first one may do something disruptive.
class Listener : public Transform::Listener {
public:
    enum Action { Record, RemoveSelf, RemoveNext, DeleteNode, ChangeOtherInBatch };
    void transformChanged(Transform* t, long) override
    {
        calls.push_back(t);
        if (calls.size() > 1)
            return;
        if (action == RemoveSelf)
            t->removeListener(this);
        else if (action == RemoveNext)
            t->removeListener(next);
        else if (action == DeleteNode)
            static_cast<Node*>(t)->release();
        else if (action == ChangeOtherInBatch)
            Transform::suspendTransformChanged(), other->setTranslationX(1), Transform::resumeTransformChanged();
    }
    Action action = Record;
    Transform::Listener* next = nullptr;
    Transform* other = nullptr;
    std::vector<Transform*> calls;
};

// A child created for 'parent' that only the parent holds.
Node* addChild(Node* parent, const char* id)
{
    Node* child = Node::create(id);
    parent->addChild(child);
    child->release();
    return child;
}

} // namespace

class TestSceneGraph : public QObject {
    Q_OBJECT

private slots:
    void suspendedNotificationSkipsDestroyedTransforms();
    void listenerMayLeaveOrDeleteDuringNotification_data();
    void listenerMayLeaveOrDeleteDuringNotification();
    void reparentingRefusesCyclesAndRefreshesWorldMatrices();
    void offsetMatrixMovesOnlyOwnGeometry();
    void sharedAttachmentKeepsItsBackLink_data();
    void sharedAttachmentKeepsItsBackLink();
    void boundsFollowChangesAnywhereInTheSubtree();
    void lightRangeRefreshesBounds();
    void lightReachesOnlyWhatItsRangeAndConeTouch_data();
    void lightReachesOnlyWhatItsRangeAndConeTouch();
    void camerasKeepTheLastGoodProjection();
};

void TestSceneGraph::suspendedNotificationSkipsDestroyedTransforms()
{
    // Suspended: each changed transform is heard of once, at the outermost
    // resume; one destroyed while queued is not heard of at all.
    Listener listener;
    Transform keep;
    keep.addListener(&listener);
    Transform::suspendTransformChanged();
    Transform::suspendTransformChanged();
    {
        Transform gone;
        gone.addListener(&listener);
        gone.setTranslationX(1);
        keep.setTranslationX(1);
        keep.setScale(2);
    }
    Transform::resumeTransformChanged();
    QVERIFY(listener.calls.empty());
    QVERIFY(near(keep.getMatrix().getTranslation(), Vector3(1, 0, 0))); // current before notification
    Transform::resumeTransformChanged();
    QCOMPARE(listener.calls, std::vector<Transform*> {&keep});
    Transform::resumeTransformChanged(); // unbalanced: harmless
    keep.setTranslationZ(1);
    QCOMPARE(listener.calls.size(), size_t(2));

    // A listener batching changes of its own while a resume notifies: each
    // change is heard of once.
    Listener batching, heard;
    Transform watched, other;
    batching.action = Listener::ChangeOtherInBatch;
    batching.other = &other;
    watched.addListener(&batching);
    other.addListener(&heard);
    Transform::suspendTransformChanged();
    watched.setTranslationX(1);
    Transform::resumeTransformChanged();
    QCOMPARE(QVector<int>({int(batching.calls.size()), int(heard.calls.size())}), QVector<int>({1, 1}));
}

void TestSceneGraph::listenerMayLeaveOrDeleteDuringNotification_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("secondCalls"); // of the listener after the disruptive one
    QTest::addColumn<int>("thirdCalls");
    QTest::newRow("removes itself") << int(Listener::RemoveSelf) << 1 << 1;
    QTest::newRow("removes the next") << int(Listener::RemoveNext) << 0 << 1;
    QTest::newRow("deletes the node") << int(Listener::DeleteNode) << 0 << 0;
}

void TestSceneGraph::listenerMayLeaveOrDeleteDuringNotification()
{
    QFETCH(int, action);
    QFETCH(int, secondCalls);
    QFETCH(int, thirdCalls);
    Node* node = Node::create("n");
    Listener first, second, third;
    first.action = Listener::Action(action);
    first.next = &second;
    node->addListener(&first);
    node->addListener(&second);
    node->addListener(&third);
    node->setTranslationX(1); // the node is gone after this in the last row
    QCOMPARE(int(second.calls.size()), secondCalls);
    QCOMPARE(int(third.calls.size()), thirdCalls);
    if (action == Listener::DeleteNode)
        return;
    node->setTranslationX(2);
    QCOMPARE(int(first.calls.size()), action == Listener::RemoveSelf ? 1 : 2);
    QCOMPARE(int(third.calls.size()), 2);
    node->release();
}

void TestSceneGraph::reparentingRefusesCyclesAndRefreshesWorldMatrices()
{
    Owned<Scene> scene(Scene::create("s"));
    Owned<Node> root(Node::create("root"));
    scene->addNode(root.get());
    Node* mid = addChild(root.get(), "mid");
    Node* leaf = addChild(mid, "leaf");
    root->setTranslation(10, 0, 0);
    mid->setRotation(Vector3::unitZ(), kPi / 2);
    leaf->setTranslation(1, 0, 0);
    QVERIFY(near(leaf->getTranslationWorld(), Vector3(10, 1, 0)));
    QCOMPARE(leaf->getScene(), scene.get());

    // A cached world matrix is refreshed after an ancestor changes.
    root->setTranslation(0, 0, 5);
    mid->setScale(2);
    QVERIFY(near(leaf->getTranslationWorld(), Vector3(0, 2, 5)));

    // Loops are refused.
    leaf->addChild(root.get());
    root->addChild(root.get());
    QVERIFY(!root->getParent());
    QCOMPARE(leaf->getChildCount(), 0u);

    // Moving to another parent unlinks it and changes the world matrix.
    Node* sibling = addChild(mid, "sibling");
    Owned<Node> elsewhere(Node::create("elsewhere"));
    elsewhere->setTranslation(-3, 0, 0);
    elsewhere->addChild(mid);
    QVERIFY(!root->getFirstChild() && !mid->getNextSibling());
    QVERIFY(near(leaf->getTranslationWorld(), Vector3(-3, 2, 0)));
    QCOMPARE(sibling->getPreviousSibling(), leaf);
    QVERIFY(!leaf->getScene());
    QVERIFY(near(leaf->getInverseTransposeWorldMatrix() * leaf->getWorldMatrix().transposed(), Matrix(), 1e-3f));
}

void TestSceneGraph::offsetMatrixMovesOnlyOwnGeometry()
{
    Owned<Node> parent(Node::create("parent"));
    Node* child = addChild(parent.get(), "child");
    parent->setTranslation(1, 0, 0);
    child->setTranslation(0, 1, 0);
    const Matrix offset = Matrix::createTranslation(Vector3(0, 0, 7)) * Matrix::createScale(Vector3(2, 2, 2));
    parent->setOffsetMatrix(offset);
    QVERIFY(near(parent->getWorldMatrix(), parent->getMatrix() * offset));
    // The child's world ignores the parent's offset, whichever is computed first.
    QVERIFY(near(child->getWorldMatrix(), parent->getMatrix() * child->getMatrix()));
    parent->setTranslation(2, 0, 0);
    QVERIFY(near(child->getTranslationWorld(), Vector3(2, 1, 0)));
    QVERIFY(near(parent->getTranslationWorld(), Vector3(2, 0, 7)));
}

void TestSceneGraph::sharedAttachmentKeepsItsBackLink_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("camera") << "camera";
    QTest::newRow("light") << "light";
    QTest::newRow("drawable") << "drawable";
}

// Two nodes hold one attachment; the one that lets go first must not cut the
// other's link.
void TestSceneGraph::sharedAttachmentKeepsItsBackLink()
{
    QFETCH(QString, kind);
    Owned<Node> first(Node::create("first"));
    Node* second = Node::create("second");
    Owned<Camera> camera(Camera::createPerspective(45, 1, 1, 10));
    Owned<Light> light(Light::createDirectional(Vector3::one()));
    Owned<FakeModel> model(new FakeModel(BoundingBox()));
    const auto share = [&](Node* n, bool attach) {
        if (kind == "camera")
            n->setCamera(attach ? camera.get() : nullptr);
        else if (kind == "light")
            n->setLight(attach ? light.get() : nullptr);
        else
            n->setDrawable(attach ? model.get() : nullptr);
    };
    const auto linkedNode = [&]() -> Node* {
        if (kind == "camera")
            return camera->getNode();
        return kind == "light" ? light->getNode() : model->getNode();
    };
    share(first.get(), true);
    share(second, true);
    share(first.get(), false);
    QCOMPARE(linkedNode(), second);
    second->release();
    QVERIFY(!linkedNode());
}

void TestSceneGraph::boundsFollowChangesAnywhereInTheSubtree()
{
    Owned<Node> root(Node::create("root"));
    Node* meshNode = addChild(root.get(), "mesh");
    Node* empty = addChild(root.get(), "empty");
    Node* skinned = addChild(root.get(), "skinned");
    // Nothing with geometry yet: a point at the world translation.
    root->setTranslation(1, 2, 3);
    QCOMPARE(empty->getBoundingSphere(), BoundingSphere(Vector3(1, 2, 3), 0.0f));

    attach(meshNode, new FakeModel(BoundingBox(Vector3(-1, -1, -1), Vector3(1, 1, 1))));
    meshNode->setTranslation(10, 0, 0);
    meshNode->setScale(2);
    QVERIFY(near(meshNode->getBoundingBox().min, Vector3(9, 0, 1)));
    QVERIFY(near(meshNode->getBoundingSphere().radius, 2 * std::sqrt(3.0f)));
    QCOMPARE(root->getBoundingBox(), meshNode->getBoundingBox()); // empty children add nothing

    // Skinned bounds stay in mesh space.
    attach(skinned, new FakeModel(BoundingBox(Vector3(0, 0, 0), Vector3(1, 1, 1)), true));
    skinned->setTranslation(100, 0, 0);
    QCOMPARE(skinned->getBoundingBox(), BoundingBox(Vector3(0, 0, 0), Vector3(1, 1, 1)));
    QVERIFY(near(root->getBoundingBox().max, Vector3(13, 4, 5)));

    // Cached bounds follow later changes and re-parenting.
    meshNode->setTranslation(-10, 0, 0);
    root->setTranslation(0, 0, 0);
    QVERIFY(near(root->getBoundingBox().min, Vector3(-12, -2, -2)));
    Owned<Node> far(Node::create("far"));
    far->setTranslation(0, 50, 0);
    far->addChild(meshNode);
    QVERIFY(near(root->getBoundingBox().min, Vector3(0, 0, 0)));
    QVERIFY(near(far->getBoundingBox().min, Vector3(-12, 48, -2)));
}

void TestSceneGraph::lightRangeRefreshesBounds()
{
    Owned<Node> root(Node::create("root"));
    Node* lamp = addChild(root.get(), "lamp");
    lamp->setTranslation(5, 5, 5);
    Owned<Light> light(Light::createPoint(Vector3::one(), 2.0f));
    lamp->setLight(light.get());
    // A point light's bounds sit at the node's origin in mesh space.
    QCOMPARE(lamp->getBoundingSphere(), BoundingSphere(Vector3(0, 0, 0), 2.0f));
    QCOMPARE(root->getBoundingSphere().radius, 2.0f);
    light->setRange(5.0f);
    QCOMPARE(lamp->getBoundingSphere().radius, 5.0f);
    QCOMPARE(root->getBoundingSphere().radius, 5.0f);
    light->setRange(0.0f);
    QCOMPARE(light->getRangeInverse(), 0.0f); // not infinity
    QCOMPARE(root->getBoundingSphere().radius, 0.0f);
    light->setRange(3.0f);
    for (float refused : {-1.0f, std::nanf(""), INFINITY})
        light->setRange(refused);
    QCOMPARE(root->getBoundingSphere().radius, 3.0f);
}

void TestSceneGraph::lightReachesOnlyWhatItsRangeAndConeTouch_data()
{
    // Bounds: radius 1 at the origin. Lights shine along -z unless turned.
    QTest::addColumn<int>("type");
    QTest::addColumn<float>("range");
    QTest::addColumn<float>("outerAngle");
    QTest::addColumn<Vector3>("position");
    QTest::addColumn<bool>("turnedAway");
    QTest::addColumn<bool>("reaches");
    const Vector3 front(0, 0, 5), beside(3, 0, 5);
    QTest::newRow("point, range past the near side") << int(Light::POINT) << 4.1f << 0.0f << front << false << true;
    QTest::newRow("point, range short of it") << int(Light::POINT) << 3.9f << 0.0f << front << false << false;
    QTest::newRow("point, no range limit") << int(Light::POINT) << 0.0f << 0.0f << front << false << true;
    QTest::newRow("spot onto it") << int(Light::SPOT) << 10.0f << 0.1f << front << false << true;
    QTest::newRow("spot turned away") << int(Light::SPOT) << 10.0f << 0.5f << front << true << false;
    QTest::newRow("spot inside it, turned away")
        << int(Light::SPOT) << 10.0f << 0.1f << Vector3(0, 0, 0.5f) << true << true;
    // 0.540 rad off the centre, which spans 0.172: cones wider than 0.368 touch it.
    QTest::newRow("spot beside, cone touches its edge") << int(Light::SPOT) << 10.0f << 0.4f << beside << false << true;
    QTest::newRow("spot beside, cone misses") << int(Light::SPOT) << 10.0f << 0.33f << beside << false << false;
}

void TestSceneGraph::lightReachesOnlyWhatItsRangeAndConeTouch()
{
    QFETCH(int, type);
    QFETCH(float, range);
    QFETCH(float, outerAngle);
    QFETCH(Vector3, position);
    QFETCH(bool, turnedAway);
    QFETCH(bool, reaches);
    Owned<Light> light(type == Light::POINT ? Light::createPoint(Vector3::one(), range)
                                            : Light::createSpot(Vector3::one(), range, outerAngle / 2, outerAngle));
    Owned<Node> lamp(Node::create("lamp"));
    lamp->setLight(light.get());
    lamp->setTranslation(position);
    if (turnedAway)
        lamp->setRotation(Vector3(0, 1, 0), kPi);
    QCOMPARE(SceneLightSet::reaches(*light.get(), BoundingSphere(Vector3(), 1.0f)), reaches);
}

void TestSceneGraph::camerasKeepTheLastGoodProjection()
{
    Camera* camera = Camera::createPerspective(90.0f, 2.0f, 1.0f, 10.0f);
    Owned<Node> node(Node::create("eye"));
    node->setCamera(camera);
    camera->release();
    node->setTranslation(0, 0, 5);
    QVERIFY(near(camera->getInverseViewProjectionMatrix() * camera->getViewProjectionMatrix(), Matrix(), 1e-3f));

    Matrix expected;
    camera->setFieldOfView(60.0f);
    QVERIFY(Matrix::createPerspective(kPi / 3, 2.0f, 1.0f, 10.0f, &expected));
    QVERIFY(near(camera->getProjectionMatrix(), expected));
    camera->setAspectRatio(0.0f);
    camera->setNearPlane(10.0f);
    QVERIFY(near(camera->getProjectionMatrix(), expected));
    camera->setAspectRatio(std::nanf(""));
    camera->setNearPlane(1.0f);
    QVERIFY(near(camera->getProjectionMatrix(), expected));
    camera->setAspectRatio(2.0f);
    camera->setNearPlane(std::nanf(""));
    QVERIFY(near(camera->getProjectionMatrix(), expected));
}

QTEST_APPLESS_MAIN(TestSceneGraph)
#include "tst_scenegraph.moc"

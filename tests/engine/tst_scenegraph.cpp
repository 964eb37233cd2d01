// Transforms, nodes, scenes, cameras and lights: cached matrices and bounds
// through re-parenting and changes, lookup order, ownership.
#include "EngineTestSupport.h"

#include "AnimationTarget.h"
#include "Camera.h"
#include "ChannelValue.h"
#include "Drawable.h"
#include "Light.h"
#include "Node.h"
#include "Properties.h"
#include "Scene.h"
#include "Transform.h"

#include <QtTest>
#include <memory>
#include <string>
#include <vector>

using namespace engine;
using namespace enginetest;

namespace {

// Stand-in for a model: reference counted, with fixed mesh bounds.
struct FakeModel : public Ref, public Drawable {
    FakeModel(const BoundingBox& b, bool s = false, unsigned int p = 1, unsigned int v = 1, int* d = nullptr)
        : box(b)
        , skinned(s)
        , parts(p)
        , vertices(v)
        , destroyed(d)
    {
    }
    ~FakeModel() override
    {
        if (destroyed)
            ++*destroyed;
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
    unsigned int meshPartCount() const override { return parts; }
    unsigned int vertexCount() const override { return vertices; }
    BoundingBox box;
    bool skinned;
    unsigned int parts, vertices;
    int* destroyed;
};

// Gives the drawable to the node, which then holds the only reference.
void attach(Node* node, FakeModel* model)
{
    node->setDrawable(model);
    model->release();
}

// Records notifications; may remove itself while being notified.
class RecordingListener : public Transform::Listener {
public:
    void transformChanged(Transform* t, long cookie) override
    {
        calls.push_back({t, cookie});
        if (removeSelf)
            t->removeListener(this);
    }
    std::vector<std::pair<Transform*, long>> calls;
    bool removeSelf = false;
};

// Does one disruptive thing the first time it is notified.
class DisruptiveListener : public Transform::Listener {
public:
    enum Action { RemoveSelf, RemoveNext, DeleteNode };
    void transformChanged(Transform* t, long) override
    {
        if (++calls > 1)
            return;
        if (action == RemoveSelf)
            t->removeListener(this);
        else if (action == RemoveNext)
            t->removeListener(next);
        else
            static_cast<Node*>(t)->release();
    }
    Action action = RemoveSelf;
    Transform::Listener* next = nullptr;
    int calls = 0;
};

class ProbeNode : public Node {
public:
    static ProbeNode* create(const char* id) { return new ProbeNode(id); }
    int hierarchyChanges = 0;
    bool staticTransform = false;
    bool isStatic() const override { return staticTransform; }

protected:
    explicit ProbeNode(const char* id)
        : Node(id)
    {
    }
    void hierarchyChanged() override { ++hierarchyChanges; }
};

std::unique_ptr<Properties> props(const std::string& text)
{
    std::unique_ptr<Properties> root(Properties::createFromText(text.data(), text.size()));
    Properties* ns = root && root->namespaceCount() ? root->namespaceAt(0) : nullptr;
    return std::unique_ptr<Properties>(ns ? ns->clone() : nullptr);
}

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
    void localMatrixScalesRotatesThenTranslates();
    void listenersAndSuspendedNotification();
    void listenerMayLeaveOrDeleteDuringNotification_data();
    void listenerMayLeaveOrDeleteDuringNotification();
    void animationPropertiesReadAndBlend();

    void childrenReparentingAndCycles();
    void worldMatricesFollowChanges();
    void offsetMatrixMovesOnlyOwnGeometry();
    void idWithoutNumericSuffix();
    void findByIdAndVisitOrder();
    void attachmentsAndActiveCamera();
    void sharedAttachmentKeepsItsBackLink_data();
    void sharedAttachmentKeepsItsBackLink();

    void boundsOfNodesAndSubtrees();
    void pointLightBoundsSitAtTheOrigin();
    void lightRangeRefreshesBounds();

    void cameraMatrices();
    void camerasAndLightsFromProperties();
    void viewSpaceGettersUseActiveCamera();
};

void TestSceneGraph::localMatrixScalesRotatesThenTranslates()
{
    Transform t(Vector3(2, 3, 4), Quaternion::fromAxisAngle(Vector3::unitZ(), kPi / 2), Vector3(10, 20, 30));
    // By hand: (1,1,1) scaled -> (2,3,4); quarter turn about z -> (-3,2,4); translated -> (7,22,34).
    QVERIFY(near(t.getMatrix().transformPoint(Vector3(1, 1, 1)), Vector3(7, 22, 34)));

    Transform identity;
    identity.setTranslation(1, 2, 3);
    identity.setTranslation(0, 0, 0); // back to the default must clear it again
    QVERIFY(identity.getMatrix().isIdentity());
}

void TestSceneGraph::listenersAndSuspendedNotification()
{
    Transform t;
    RecordingListener a, b;
    t.addListener(&a, 7);
    t.addListener(&b, 9);
    t.setTranslationX(1);
    QCOMPARE(a.calls.size(), size_t(1));
    QCOMPARE(a.calls[0].second, 7L);

    // Suspended: each changed transform is notified once, at the outermost resume.
    Transform u;
    u.addListener(&a, 1);
    Transform::suspendTransformChanged();
    Transform::suspendTransformChanged();
    t.setTranslationY(1);
    t.setScale(2);
    u.setRotation(Vector3::unitX(), 1.0f);
    Transform::resumeTransformChanged();
    QCOMPARE(a.calls.size(), size_t(1));
    // Matrices are current even before notification.
    QVERIFY(near(t.getMatrix().getTranslation(), Vector3(1, 1, 0)));
    Transform::resumeTransformChanged();
    QCOMPARE(a.calls.size(), size_t(3));
    QCOMPARE(a.calls[1].first, &t);
    QCOMPARE(a.calls[2].first, &u);
    // Unbalanced resume is harmless.
    Transform::resumeTransformChanged();
    t.setTranslationZ(1);
    QCOMPARE(a.calls.size(), size_t(4));

    RecordingListener once;
    once.removeSelf = true;
    t.addListener(&once);
    t.setTranslationZ(3);
    t.setTranslationZ(4);
    QCOMPARE(once.calls.size(), size_t(1));

    // Transforms destroyed while queued are not notified at resume.
    RecordingListener queued;
    Transform keep;
    keep.addListener(&queued);
    Transform::suspendTransformChanged();
    {
        Transform gone;
        gone.addListener(&queued);
        gone.setTranslationX(1);
        keep.setTranslationX(1);
    }
    Transform::resumeTransformChanged();
    QCOMPARE(queued.calls.size(), size_t(1));
    QCOMPARE(queued.calls[0].first, &keep);
}

void TestSceneGraph::listenerMayLeaveOrDeleteDuringNotification_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("secondCalls"); // of the listener after the disruptive one
    QTest::addColumn<int>("thirdCalls");
    QTest::newRow("removes itself") << int(DisruptiveListener::RemoveSelf) << 1 << 1;
    QTest::newRow("removes the next") << int(DisruptiveListener::RemoveNext) << 0 << 1;
    QTest::newRow("deletes the node") << int(DisruptiveListener::DeleteNode) << 0 << 0;
}

void TestSceneGraph::listenerMayLeaveOrDeleteDuringNotification()
{
    QFETCH(int, action);
    QFETCH(int, secondCalls);
    QFETCH(int, thirdCalls);
    Node* node = Node::create("n");
    DisruptiveListener first;
    RecordingListener second, third;
    first.action = DisruptiveListener::Action(action);
    first.next = &second;
    node->addListener(&first);
    node->addListener(&second);
    node->addListener(&third);
    node->setTranslationX(1); // the node is gone after this in the last row
    QCOMPARE(int(second.calls.size()), secondCalls);
    QCOMPARE(int(third.calls.size()), thirdCalls);
    if (action == DisruptiveListener::DeleteNode)
        return;
    node->setTranslationX(2);
    QCOMPARE(first.calls, action == DisruptiveListener::RemoveSelf ? 1 : 2);
    QCOMPARE(int(third.calls.size()), 2);
    node->release();
}

void TestSceneGraph::animationPropertiesReadAndBlend()
{
    Transform t(Vector3(1, 2, 3), Quaternion::identity(), Vector3(4, 5, 6));
    const int counts[][2] = {{ANIMATE_SCALE_UNIT, 1},
                             {ANIMATE_ROTATE, 4},
                             {ANIMATE_ROTATE_TRANSLATE, 7},
                             {ANIMATE_SCALE_ROTATE_TRANSLATE, 10},
                             {5, -1},
                             {20, -1},
                             {-1, -1}};
    for (const auto& e : counts)
        QCOMPARE(t.animationPropertyComponentCount(e[0]), e[1]);

    // Scale, rotation, translation in that order.
    ChannelValue all(10);
    t.animationPropertyValue(ANIMATE_SCALE_ROTATE_TRANSLATE, all);
    QVERIFY(all[2] == 3 && all[6] == 1 && all[7] == 4 && all[9] == 6);

    // Half weight: halfway from current to animated.
    ChannelValue translate(3);
    translate[0] = 8;
    translate[1] = 5;
    translate[2] = 0;
    t.setAnimationPropertyValue(ANIMATE_TRANSLATE, translate, 0.5f);
    QCOMPARE(t.getTranslation(), Vector3(6, 5, 3));
    // Full weight replaces exactly, also from far away.
    t.setTranslation(1e8f, 0, 0);
    ChannelValue x(1);
    x[0] = 3.0f;
    t.setAnimationPropertyValue(ANIMATE_TRANSLATE_X, x, 1.0f);
    QCOMPARE(t.getTranslationX(), 3.0f);

    // Rotation blends along the arc.
    ChannelValue rot(7);
    const Quaternion quarter = Quaternion::fromAxisAngle(Vector3::unitY(), kPi / 2);
    rot[0] = quarter.x;
    rot[1] = quarter.y;
    rot[2] = quarter.z;
    rot[3] = quarter.w;
    rot[4] = 1;
    rot[5] = 2;
    rot[6] = 3;
    t.setAnimationPropertyValue(ANIMATE_ROTATE, rot, 0.5f);
    QVERIFY(sameRotation(t.getRotation(), Quaternion::fromAxisAngle(Vector3::unitY(), kPi / 4)));

    // Unknown ids and too-small values change nothing.
    const Matrix before = t.getMatrix();
    t.setAnimationPropertyValue(5, all, 1.0f);
    t.setAnimationPropertyValue(ANIMATE_SCALE_ROTATE_TRANSLATE, x, 1.0f);
    QCOMPARE(t.getMatrix(), before);

    // A static node ignores animated rotation but not translation.
    Owned<ProbeNode> n(ProbeNode::create("s"));
    n->staticTransform = true;
    n->setAnimationPropertyValue(ANIMATE_ROTATE_TRANSLATE, rot, 1.0f);
    QCOMPARE(n->getRotation(), Quaternion::identity());
    QCOMPARE(n->getTranslation(), Vector3(1, 2, 3));
}

void TestSceneGraph::childrenReparentingAndCycles()
{
    Owned<Scene> scene(Scene::create("s"));
    Owned<Node> p1(Node::create("p1"));
    Owned<Node> p2(Node::create("p2"));
    Owned<ProbeNode> child(ProbeNode::create("child"));
    scene->addNode(p1.get());
    scene->addNode(p2.get());
    Node* a = addChild(p1.get(), "a");
    p1->addChild(child.get());
    Node* c = addChild(p1.get(), "c");
    QCOMPARE(child->getScene(), scene.get());
    QCOMPARE(child->hierarchyChanges, 1);
    p1->addChild(a); // already a child: nothing changes
    QCOMPARE(p1->getChildCount(), 3u);

    // Moving to another parent unlinks it from its siblings.
    p2->addChild(child.get());
    QCOMPARE(a->getNextSibling(), c);
    QCOMPARE(c->getPreviousSibling(), a);

    // Adding a child node to a scene takes it out of its parent, and a scene
    // node that becomes a child leaves the scene's list.
    scene->addNode(child.get());
    QCOMPARE(p2->getChildCount(), 0u);
    QCOMPARE(scene->getNodeCount(), 3u);
    p1->addChild(child.get());
    QCOMPARE(scene->getNodeCount(), 2u);
    QCOMPARE(child->getRefCount(), 2u);

    // Moving between scenes.
    Owned<Scene> other(Scene::create("o"));
    other->addNode(p2.get());
    QCOMPARE(scene->getNodeCount(), 1u);
    QCOMPARE(p2->getScene(), other.get());

    // Loops are refused.
    child->addChild(p1.get());
    p1->addChild(p1.get());
    QVERIFY(!p1->getParent());
    QCOMPARE(child->getChildCount(), 0u);

    p1->removeChild(child.get());
    QVERIFY(!child->getParent() && !child->getNextSibling() && !child->getPreviousSibling());
    QCOMPARE(child->getRefCount(), 1u);
    scene->removeAllNodes();
    QVERIFY(!p1->getScene());
    QCOMPARE(p1->getRefCount(), 1u);
}

void TestSceneGraph::worldMatricesFollowChanges()
{
    Owned<Node> root(Node::create("root"));
    Node* mid = addChild(root.get(), "mid");
    Node* leaf = addChild(mid, "leaf");
    root->setTranslation(10, 0, 0);
    mid->setRotation(Vector3::unitZ(), kPi / 2);
    leaf->setTranslation(1, 0, 0);
    // By hand: leaf origin -> (1,0,0) -> turned to (0,1,0) -> moved to (10,1,0).
    QVERIFY(near(leaf->getTranslationWorld(), Vector3(10, 1, 0)));

    // A cached world matrix is refreshed after an ancestor changes.
    root->setTranslation(0, 0, 5);
    QVERIFY(near(leaf->getTranslationWorld(), Vector3(0, 1, 5)));
    mid->setScale(2);
    QVERIFY(near(leaf->getTranslationWorld(), Vector3(0, 2, 5)));

    // Re-parenting changes the world matrix too.
    Owned<Node> elsewhere(Node::create("elsewhere"));
    elsewhere->setTranslation(-3, 0, 0);
    elsewhere->addChild(leaf);
    QVERIFY(near(leaf->getTranslationWorld(), Vector3(-2, 0, 0)));

    // A parent reached only after the child was cleaned still propagates.
    Node* second = addChild(mid, "second");
    second->setTranslation(0, 1, 0);
    QVERIFY(near(second->getTranslationWorld(), Vector3(-2, 0, 5)));
    root->setTranslation(0, 0, 0);
    QVERIFY(near(second->getTranslationWorld(), Vector3(-2, 0, 0)));
    QVERIFY(near(second->getInverseTransposeWorldMatrix() * second->getWorldMatrix().transposed(), Matrix(), 1e-3f));
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

    child->setOffsetMatrix(offset);
    QVERIFY(near(child->getWorldMatrix(), parent->getMatrix() * child->getMatrix() * offset));
    parent->setOffsetMatrix(Matrix());
    QVERIFY(near(parent->getWorldMatrix(), parent->getMatrix()));
}

void TestSceneGraph::idWithoutNumericSuffix()
{
    const char* cases[][2] = {
        {"Box__12", "Box"},
        {"Box_12", "Box_12"},
        {"__1abc", "__1abc"},
        {"Arm__2__3", "Arm__2"},
        {"Arm__x", "Arm__x"},
        {"Box__", "Box__"},
        {"", ""},
        {"__", "__"},
        {"Mid__7Name", "Mid"},
    };
    for (const auto& c : cases)
        QCOMPARE(QString::fromStdString(Node::idWithoutNumericSuffix(c[0])), QString(c[1]));
    Owned<Node> n(Node::create("Leg__4"));
    QCOMPARE(QString::fromStdString(n->getIdWithoutNumericSuffix()), QString("Leg"));
}

void TestSceneGraph::findByIdAndVisitOrder()
{
    Owned<Scene> scene(Scene::create("s"));
    Node* first = Node::create("first");
    Node* target = Node::create("target");
    scene->addNode(first);
    scene->addNode(target);
    first->release();
    target->release();
    Node* nested = addChild(first, "target");
    Node* deeper = addChild(nested, "deep");
    Node* prefixDeep = addChild(first, "tar_deep");

    // Top-level nodes come before any subtree.
    QCOMPARE(scene->findNode("target"), target);
    QCOMPARE(scene->findNode("deep"), deeper);
    QVERIFY(!scene->findNode(nullptr));
    // Prefix match: first top-level hit wins; then subtrees in order.
    QCOMPARE(scene->findNode("tar", true, false), target);
    QVERIFY(!scene->findNode("dee", false, false));
    QCOMPARE(scene->findNode("dee", true, false), deeper);

    // A node compares its direct children before descending, never itself.
    QCOMPARE(first->findNode("tar", true, false), nested);
    QCOMPARE(first->findNode("tar_", true, false), prefixDeep);
    QVERIFY(!first->findNode("deep", false));
    QVERIFY(!first->findNode("first"));

    // A visit goes depth first and skips below nodes it was told to.
    std::vector<Node*> seen;
    scene->visit([&](Node* n) {
        seen.push_back(n);
        return n != nested;
    });
    QVERIFY((seen == std::vector<Node*> {first, nested, prefixDeep, target}));
}

void TestSceneGraph::attachmentsAndActiveCamera()
{
    Owned<Node> n(Node::create("n"));
    int destroyed = 0;
    FakeModel* model = new FakeModel(BoundingBox(), false, 1, 1, &destroyed);
    attach(n.get(), model);
    attach(n.get(), new FakeModel(BoundingBox(), false, 1, 1, &destroyed));
    QCOMPARE(destroyed, 1); // the node's reference was the last one
    n->setDrawable(nullptr);
    QCOMPARE(destroyed, 2);
    // Destroying a node releases its children and their attachments.
    Node* parent = Node::create("p");
    attach(addChild(parent, "k"), new FakeModel(BoundingBox(), false, 1, 1, &destroyed));
    parent->release();
    QCOMPARE(destroyed, 3);

    // The first camera added to a scene becomes active and stays so.
    Owned<Scene> scene(Scene::create("s"));
    Owned<Node> plain(Node::create("plain"));
    Owned<Node> other(Node::create("other"));
    Owned<Camera> c1(Camera::createPerspective(45, 1, 1, 10));
    Owned<Camera> c2(Camera::createPerspective(60, 1, 1, 10));
    n->setCamera(c1.get());
    other->setCamera(c2.get());
    QCOMPARE(c1->getNode(), n.get());
    scene->addNode(plain.get());
    QVERIFY(!scene->getActiveCamera());
    scene->addNode(n.get());
    scene->addNode(other.get());
    QCOMPARE(scene->getActiveCamera(), c1.get());
    QCOMPARE(c1->getRefCount(), 3u); // creator, node, scene
    scene->setActiveCamera(c2.get());
    n->setCamera(nullptr);
    QVERIFY(!c1->getNode());
    QCOMPARE(c1->getRefCount(), 1u);
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
        if (kind == "light")
            return light->getNode();
        return model->getNode();
    };
    share(first.get(), true);
    share(second, true);
    share(first.get(), false);
    QCOMPARE(linkedNode(), second);
    second->release();
    QVERIFY(!linkedNode());
}

void TestSceneGraph::lightRangeRefreshesBounds()
{
    Owned<Node> root(Node::create("root"));
    Node* lamp = addChild(root.get(), "lamp");
    Owned<Light> light(Light::createPoint(Vector3::one(), 2.0f));
    lamp->setLight(light.get());
    QCOMPARE(root->getBoundingSphere().radius, 2.0f);
    light->setRange(5.0f);
    QCOMPARE(lamp->getBoundingSphere().radius, 5.0f);
    QCOMPARE(root->getBoundingSphere().radius, 5.0f);
}

void TestSceneGraph::boundsOfNodesAndSubtrees()
{
    Owned<Node> root(Node::create("root"));
    Node* meshNode = addChild(root.get(), "mesh");
    Node* empty = addChild(root.get(), "empty");
    Node* skinned = addChild(root.get(), "skinned");

    // Nothing with geometry yet: a point at the world translation.
    root->setTranslation(1, 2, 3);
    QCOMPARE(empty->getBoundingSphere(), BoundingSphere(Vector3(1, 2, 3), 0.0f));
    QCOMPARE(root->getBoundingSphere(), BoundingSphere(Vector3(1, 2, 3), 0.0f));

    attach(meshNode, new FakeModel(BoundingBox(Vector3(-1, -1, -1), Vector3(1, 1, 1)), false, 2, 100));
    meshNode->setTranslation(10, 0, 0);
    meshNode->setScale(2);
    // Mesh bounds move with the world matrix: centre (11,2,3), half size 2.
    QVERIFY(near(meshNode->getBoundingBox().min, Vector3(9, 0, 1)));
    QVERIFY(near(meshNode->getBoundingBox().max, Vector3(13, 4, 5)));
    QVERIFY(near(meshNode->getBoundingSphere().radius, 2 * std::sqrt(3.0f)));
    // The root takes the first child's bounds as they are; empty children add nothing.
    QCOMPARE(root->getBoundingBox(), meshNode->getBoundingBox());

    // Skinned bounds stay in mesh space.
    attach(skinned, new FakeModel(BoundingBox(Vector3(0, 0, 0), Vector3(1, 1, 1)), true, 3, 50));
    skinned->setTranslation(100, 0, 0);
    QCOMPARE(skinned->getBoundingBox(), BoundingBox(Vector3(0, 0, 0), Vector3(1, 1, 1)));
    QVERIFY(near(root->getBoundingBox().min, Vector3(0, 0, 0)));
    QVERIFY(near(root->getBoundingBox().max, Vector3(13, 4, 5)));
    QCOMPARE(root->getSubtreeMeshPartCount(), 5u);
    QCOMPARE(root->getSubtreeVertexCount(), 150u);

    // Cached bounds follow later changes anywhere in the subtree.
    meshNode->setTranslation(-10, 0, 0);
    QVERIFY(near(root->getBoundingBox().min, Vector3(-11, 0, 0)));
    root->setTranslation(0, 0, 0);
    QVERIFY(near(root->getBoundingBox().min, Vector3(-12, -2, -2)));
    QVERIFY(near(root->getSubtreeBoundingBox().max, Vector3(1, 2, 2)));

    // Re-parenting under a moved node moves the bounds.
    Owned<Node> far(Node::create("far"));
    far->setTranslation(0, 50, 0);
    far->addChild(meshNode);
    QVERIFY(near(root->getBoundingBox().min, Vector3(0, 0, 0))); // only the skinned child left
    QVERIFY(near(far->getBoundingBox().min, Vector3(-12, 48, -2)));
    meshNode->setDrawable(nullptr);
    QCOMPARE(far->getBoundingSphere().radius, 0.0f);
}

void TestSceneGraph::pointLightBoundsSitAtTheOrigin()
{
    Owned<Node> n(Node::create("lamp"));
    n->setTranslation(5, 5, 5);
    Light* light = Light::createPoint(Vector3(1, 1, 1), 3.0f);
    n->setLight(light);
    light->release();
    QCOMPARE(n->getBoundingSphere(), BoundingSphere(Vector3(0, 0, 0), 3.0f));
    QCOMPARE(n->getBoundingBox(), BoundingBox(Vector3(-3, -3, -3), Vector3(3, 3, 3)));

    // Merged with a mesh in mesh space, then moved together.
    attach(n.get(), new FakeModel(BoundingBox(Vector3(2, 2, 2), Vector3(4, 4, 4))));
    QVERIFY(near(n->getBoundingBox().min, Vector3(2, 2, 2)));
    QVERIFY(near(n->getBoundingBox().max, Vector3(9, 9, 9)));

    // A directional light adds nothing.
    Owned<Light> sun(Light::createDirectional(Vector3(1, 1, 1)));
    n->setLight(sun.get());
    QVERIFY(near(n->getBoundingBox().min, Vector3(7, 7, 7)));
}

void TestSceneGraph::cameraMatrices()
{
    Camera* camera = Camera::createPerspective(90.0f, 2.0f, 1.0f, 10.0f);
    QVERIFY(camera->getViewMatrix().isIdentity()); // no node yet
    Matrix expected;
    QVERIFY(Matrix::createPerspective(kPi / 2, 2.0f, 1.0f, 10.0f, &expected));
    QVERIFY(near(camera->getProjectionMatrix(), expected));

    Owned<Node> node(Node::create("eye"));
    node->setCamera(camera);
    camera->release();
    node->setTranslation(0, 0, 5);
    // View = inverse world: the origin appears 5 units ahead.
    QVERIFY(near(camera->getViewMatrix().transformPoint(Vector3()), Vector3(0, 0, -5)));
    QVERIFY(near(camera->getViewProjectionMatrix(), expected * camera->getViewMatrix()));
    QVERIFY(near(camera->getInverseViewProjectionMatrix() * camera->getViewProjectionMatrix(), Matrix(), 1e-3f));

    // Moving the node's parent refreshes the cached view.
    Owned<Node> holder(Node::create("holder"));
    holder->addChild(node.get());
    holder->setTranslation(0, 3, 0);
    QVERIFY(near(camera->getViewMatrix().transformPoint(Vector3(0, 3, 0)), Vector3(0, 0, -5)));

    // Parameter changes refresh the projection; impossible ones keep the last good one.
    camera->setFieldOfView(60.0f);
    QVERIFY(Matrix::createPerspective(kPi / 3, 2.0f, 1.0f, 10.0f, &expected));
    QVERIFY(near(camera->getProjectionMatrix(), expected));
    camera->setAspectRatio(0.0f);
    QVERIFY(near(camera->getProjectionMatrix(), expected));
    camera->setAspectRatio(1.0f);

    // An explicit projection is kept until reset.
    const Matrix custom = Matrix::createScale(Vector3(3, 3, 3));
    camera->setProjectionMatrix(custom);
    camera->setNearPlane(2.0f);
    QCOMPARE(camera->getProjectionMatrix(), custom);
    camera->resetProjectionMatrix();
    camera->setFieldOfView(90.0f);
    QVERIFY(Matrix::createPerspective(kPi / 2, 1.0f, 2.0f, 10.0f, &expected));
    QVERIFY(near(camera->getProjectionMatrix(), expected));

    Owned<Camera> ortho(Camera::createOrthographic(4.0f, 2.0f, 2.0f, 1.0f, 11.0f));
    ortho->setZoomX(8.0f);
    QVERIFY(near(ortho->getProjectionMatrix().transformPoint(Vector3(4, 1, -1)), Vector3(1, 1, -1)));
}

void TestSceneGraph::camerasAndLightsFromProperties()
{
    auto persp = props("camera c { type = PERSPECTIVE\n fieldOfView = 45\n nearPlane = 0.5\n farPlane = 50\n}");
    Owned<Camera> c(Camera::create(persp.get(), 800, 600));
    QVERIFY(c.get());
    QCOMPARE(c->getFieldOfView(), 45.0f);
    QVERIFY(near(c->getAspectRatio(), 800.0f / 600.0f));
    QCOMPARE(c->getFarPlane(), 50.0f);

    // Defaults; a minimised window must not give an infinite aspect ratio.
    auto defaults = props("camera c { type = PERSPECTIVE }");
    Owned<Camera> d(Camera::create(defaults.get(), 640, 0));
    QCOMPARE(d->getFieldOfView(), 60.0f);
    QCOMPARE(d->getNearPlane(), 0.2f);
    QVERIFY(std::isfinite(d->getAspectRatio()));

    auto ortho = props("camera c { type = ORTHOGRAPHIC\n zoomX = 10\n aspectRatio = 3\n}");
    Owned<Camera> o(Camera::create(ortho.get(), 640, 480));
    QCOMPARE(o->getZoomY(), 480.0f); // the window height unless given

    for (const char* bad : {"camera c { type = perspective }", "camera c { fieldOfView = 1 }"})
        QVERIFY(!Camera::create(props(bad).get(), 1, 1));
    QVERIFY(!Camera::create(nullptr, 1, 1));

    auto s = props("light l { type = SPOT\n color = 1,0,0\n range = 4\n innerAngle = 0.25\n outerAngle = 0.5\n}");
    Owned<Light> spot(Light::create(s.get()));
    QCOMPARE(spot->getColor(), Vector3(1, 0, 0));
    QCOMPARE(spot->getRangeInverse(), 0.25f);
    QCOMPARE(spot->getOuterAngleCos(), std::cos(0.5f));
    spot->setRange(0.0f);
    QCOMPARE(spot->getRangeInverse(), 0.0f); // not infinity

    auto p = props("light l { type = POINT\n range = 10\n}");
    Owned<Light> point(Light::create(p.get()));
    point->setInnerAngle(1.0f); // not a spot: ignored
    QCOMPARE(point->getInnerAngle(), 0.0f);
    QVERIFY(!Light::create(props("light l { type = AREA }").get()));
    QVERIFY(!Light::create(nullptr));
}

void TestSceneGraph::viewSpaceGettersUseActiveCamera()
{
    Owned<Scene> scene(Scene::create("s"));
    Owned<Node> object(Node::create("object"));
    scene->addNode(object.get());
    object->setTranslation(1, 2, 3);
    // No camera: identity view.
    QVERIFY(near(object->getTranslationView(), Vector3(1, 2, 3)));

    Owned<Node> eye(Node::create("eye"));
    Owned<Camera> camera(Camera::createPerspective(60, 1, 1, 100));
    eye->setCamera(camera.get());
    eye->setTranslation(1, 2, 13);
    scene->addNode(eye.get());

    QVERIFY(near(object->getTranslationView(), Vector3(0, 0, -10)));
    QVERIFY(near(object->getForwardVectorView(), Vector3(0, 0, -1)));
    QVERIFY(near(object->getWorldViewProjectionMatrix(),
                 camera->getProjectionMatrix() * camera->getViewMatrix() * object->getWorldMatrix(), 1e-3f));
    QVERIFY(near(object->getInverseTransposeWorldViewMatrix() * object->getWorldViewMatrix().transposed(), Matrix(),
                 1e-3f));

    // Descendants reach the scene through their top ancestor.
    Node* child = addChild(object.get(), "child");
    QCOMPARE(child->getScene(), scene.get());
    QVERIFY(near(child->getTranslationView(), Vector3(0, 0, -10)));
}

QTEST_APPLESS_MAIN(TestSceneGraph)
#include "tst_scenegraph.moc"

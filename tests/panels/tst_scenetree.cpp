// The "Scene" tree and "Properties" list of a scene graph over an engine
// scene laid out like the viewer's, and copying node names from the main
// window's tree.

#include "AppTestSupport.h"
#include "Drawable.h"
#include "GlItem.h"
#include "Joint.h"
#include "Light.h"
#include "MainViewController.h"
#include "MainWindowController.h"
#include "MenuManager.h"
#include "Node.h"
#include "Ref.h"
#include "Scene.h"
#include "SceneGraph.h"
#include "VelmoraResources.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QStandardItemModel>
#include <QTreeView>
#include <QtTest>

#include <memory>

using namespace engine;

namespace {

// Stands in for a model with the given number of mesh parts.
struct PartsModel : public Ref, public Drawable {
    explicit PartsModel(unsigned int parts)
        : m_parts(parts)
    {
    }
    bool hasMesh() const override { return true; }
    unsigned int meshPartCount() const override { return m_parts; }
    unsigned int m_parts;
};

Node* addNode(Node* parent, Node* node, unsigned int parts = 0)
{
    parent->addChild(node);
    node->release();
    if (parts) {
        PartsModel* model = new PartsModel(parts);
        node->setDrawable(model);
        model->release();
    }
    return node;
}

Node* addTopLevel(Scene* scene, const char* id)
{
    Node* node = Node::create(id);
    scene->addNode(node);
    node->release();
    return node;
}

// The model's nodes below the viewer's root, beside the viewer's own nodes.
Scene* createScene()
{
    Scene* scene = Scene::create();
    addNode(addTopLevel(scene, "grid"), Node::create("axes"));
    addTopLevel(scene, "CameraNode");
    Node* root = addTopLevel(scene, SceneGraph::rootNodeId);
    Node* body = addNode(root, Node::create("body"), 1);
    Node* hip = addNode(body, Joint::create("hip"));
    addNode(hip, Node::create("hat"), 1); // below a joint: hidden with it
    Node* car = addNode(root, Node::create("car"));
    addNode(car, Node::create("wheel_L"), 3);
    addNode(car, Node::create("wheel"), 1);
    addNode(root, Node::create("[bracket]name"), 2);
    Node* spot = addNode(root, Node::create("spot"));
    Light* light = Light::createSpot(Vector3(1, 0.5f, 0), 4, 0.5f, 1);
    spot->setLight(light);
    light->release();
    addTopLevel(scene, "SelectionNode");
    return scene;
}

void dump(const QStandardItem* item, int depth, QStringList* lines)
{
    for (int row = 0; row < item->rowCount(); ++row) {
        const QStandardItem* child = item->child(row);
        lines->append(QString(depth * 2, ' ') + child->text() + (child->icon().isNull() ? "" : " *"));
        dump(child, depth + 1, lines);
    }
}

struct SceneRelease {
    void operator()(Scene* scene) const { scene->release(); }
};

} // namespace

class SceneTreeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        initVelmoraResources();
        qRegisterMetaType<engine::Node*>();
    }
    void init();
    void treeListsModelNodesOnly();
    void selectionFindsTheNamedNode_data();
    void selectionFindsTheNamedNode();
    void spotLightShowsNineRowsInOrder();
    void copyingNodeNames();

private:
    std::unique_ptr<Scene, SceneRelease> m_scene;
    std::unique_ptr<SceneGraph> m_graph;
};

void SceneTreeTest::init()
{
    m_scene.reset(createScene());
    m_graph = std::make_unique<SceneGraph>("model.gpb", "1.7", 4);
    new QAbstractItemModelTester(m_graph->sceneModel(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                 m_graph.get());
    new QAbstractItemModelTester(m_graph->propertiesModel(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                 m_graph.get());
    m_graph->setScene(m_scene.get());
}

void SceneTreeTest::treeListsModelNodesOnly()
{
    QSignalSpy shown(m_graph.get(), &SceneGraph::updateSceneGraphView);
    m_graph->build();
    m_graph->build(); // a second build replaces, never appends
    QCOMPARE(shown.count(), 2);
    QStringList lines;
    dump(m_graph->sceneModel()->invisibleRootItem(), 0, &lines);
    QCOMPARE(lines,
             (QStringList {"body *", "car", "  wheel_L *", "    wheel_L[0] *", "    wheel_L[1] *", "    wheel_L[2] *",
                           "  wheel *", "[bracket]name *", "  [bracket]name[0] *", "  [bracket]name[1] *", "spot *"}));
    QVERIFY(!(m_graph->sceneModel()->item(0)->flags() & Qt::ItemIsEditable));
}

void SceneTreeTest::selectionFindsTheNamedNode_data()
{
    QTest::addColumn<QString>("itemText");
    QTest::addColumn<QString>("node"); // empty: none
    QTest::addColumn<bool>("meshItem");
    QTest::newRow("mesh part") << "wheel_L[1]"
                               << "wheel_L" << true;
    QTest::newRow("name that begins another") << "wheel"
                                              << "wheel" << true;
    QTest::newRow("leading bracket") << "[bracket]name"
                                     << "[bracket]name" << true;
    QTest::newRow("leading bracket part") << "[bracket]name[1]"
                                          << "[bracket]name" << true;
    QTest::newRow("light") << "spot"
                           << "spot" << false;
    QTest::newRow("viewer node") << "grid"
                                 << "" << false;
    QTest::newRow("prefix only") << "whe"
                                 << "" << false;
    QTest::newRow("bad part") << "wheel[x]"
                              << "" << false;
}

void SceneTreeTest::selectionFindsTheNamedNode()
{
    QFETCH(QString, itemText);
    QFETCH(QString, node);
    QFETCH(bool, meshItem);
    m_graph->build();
    QSignalSpy selected(m_graph.get(), &SceneGraph::nodeSelected);
    QSignalSpy properties(m_graph.get(), &SceneGraph::updatePropertiesView);
    QCOMPARE(m_graph->isMeshItem(itemText), meshItem);
    m_graph->selectNode(itemText);
    QCOMPARE(selected.count(), 1);
    Node* found = selected.at(0).at(0).value<Node*>();
    QCOMPARE(found ? QString::fromUtf8(found->getId()) : QString(), node);
    QCOMPARE(properties.count(), node.isEmpty() ? 0 : 1);
}

void SceneTreeTest::spotLightShowsNineRowsInOrder()
{
    m_graph->build();
    m_graph->selectNode("spot");
    QStringList labels;
    QStandardItemModel* model = m_graph->propertiesModel();
    for (int row = 0; row < model->rowCount(); ++row)
        labels << model->item(row)->text().section("\n    ", 0, 0);
    QCOMPARE(labels,
             (QStringList {"Direction", "Inner Angle", "Inner AngleCos", "Inverse Range", "Light Color", "Outer Angle",
                           "Outer AngleCos", "Position", "Spot Light"}));
    QCOMPARE(model->item(4)->text(), QStringLiteral("Light Color\n    1, 0.5, 0"));
}

void SceneTreeTest::copyingNodeNames()
{
    MainWindowController controller(nullptr);
    MainViewController* view = controller.mainViewController();
    SceneGraph* graph = m_graph.release(); // the view takes it over
    // The viewport finds no bundle at the graph's path and says so; the scene
    // made here stands in for the one it would have loaded.
    QString failure;
    answerNextBox(&failure);
    view->newSceneGraphIsReadyToDisplay(graph, nullptr);
    QVERIFY(!failure.isEmpty());
    view->sceneLoaded(m_scene.get(), 10, 3);
    QTreeView* tree = view->sceneTree();
    QClipboard* clipboard = QGuiApplication::clipboard();

    // Nested model nodes, mesh parts included, one per line; no selection left.
    emit controller.menuManager()->copyAllModelNodes();
    QCOMPARE(clipboard->text(),
             QStringLiteral("body\nwheel_L\nwheel_L[0]\nwheel_L[1]\nwheel_L[2]\nwheel\n"
                            "[bracket]name\n[bracket]name[0]\n[bracket]name[1]"));
    QVERIFY(!tree->selectionModel()->hasSelection());

    // Ctrl+C over items that name no model, or over nothing, keeps the clipboard.
    clipboard->setText("keep me");
    QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    QVERIFY(view->eventFilter(tree, &copy));
    QCOMPARE(clipboard->text(), QStringLiteral("keep me"));
    const QModelIndex car = graph->sceneModel()->index(1, 0);
    tree->selectionModel()->select(car, QItemSelectionModel::Select);
    tree->selectionModel()->select(graph->sceneModel()->index(3, 0), QItemSelectionModel::Select);
    QVERIFY(view->eventFilter(tree, &copy));
    QCOMPARE(clipboard->text(), QStringLiteral("keep me"));

    // Choosing an item in the tree selects its node for the viewport.
    QSignalSpy selected(graph, &SceneGraph::nodeSelected);
    tree->setCurrentIndex(graph->sceneModel()->index(0, 0, car));
    QCOMPARE(selected.count(), 1);
    QCOMPARE(QString::fromUtf8(selected.at(0).at(0).value<Node*>()->getId()), QStringLiteral("wheel_L"));
    QVERIFY(view->eventFilter(tree, &copy));
    QCOMPARE(clipboard->text(), QStringLiteral("wheel_L"));
}

QTEST_MAIN(SceneTreeTest)
#include "tst_scenetree.moc"

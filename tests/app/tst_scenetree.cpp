// The "Scene" tree, the "Properties" rows and copying node names, for models
// our encoder converts the way an import does, loaded by the real viewport of
// the main window.

#include "AnimationControlButton.h"
#include "AnimationTimeline.h"
#include "AppTestSupport.h"
#include "Camera.h"
#include "GlItem.h"
#include "Loader.h"
#include "MainViewController.h"
#include "Node.h"
#include "Scene.h"
#include "SceneGraph.h"
#include "StatusBarController.h"
#include "WorkspaceService.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStandardItemModel>
#include <QTreeView>

#include <memory>

namespace {

QString sample(const char* name) { return QStringLiteral(VELMORA_SOURCE_DIR "/samples/") + name; }

QString shared(const char* path) { return qEnvironmentVariable("VELMORA_SHARED_MODELS") + '/' + path; }

// Only a shared model may be missing; the samples are part of the project.
bool sharedFileAbsent(const QString& source) { return !source.startsWith(sample("")) && !QFileInfo::exists(source); }

// Gives a node another name of the same length in every file of the model
// folder, so the bundle's offsets and its material names stay valid.
bool rename(const QString& folder, const QString& fromTo)
{
    const QByteArray from = fromTo.section('=', 0, 0).toUtf8();
    const QByteArray to = fromTo.section('=', 1).toUtf8();
    for (const char* name : {"model.gpb", "model.material"}) {
        QFile file(folder + '/' + QLatin1String(name));
        if (!file.open(QIODevice::ReadWrite) || from.size() != to.size())
            return false;
        const QByteArray bytes = file.readAll().replace(from, to);
        file.seek(0);
        file.write(bytes);
    }
    return true;
}

QString iconKind(const QIcon& icon)
{
    const QImage image = icon.pixmap(16).toImage();
    for (const char* kind : {"Light", "Cam", "Mesh", "Joint", "Empty"}) {
        if (!image.isNull() && image == QIcon(QStringLiteral(":/IconSG") + kind).pixmap(16).toImage())
            return QStringLiteral(" (%1)").arg(kind);
    }
    return icon.isNull() ? QString() : QStringLiteral(" (?)");
}

void dump(const QStandardItem* item, int depth, QStringList* lines)
{
    for (int row = 0; row < item->rowCount(); ++row) {
        const QStandardItem* child = item->child(row);
        lines->append(QString(depth * 2, ' ') + child->text() + iconKind(child->icon()));
        QVERIFY(!(child->flags() & Qt::ItemIsEditable));
        dump(child, depth + 1, lines);
    }
}

} // namespace

class SceneTreeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void treeOfConvertedModel_data();
    void treeOfConvertedModel();
    void propertiesOfSelectedItem_data();
    void propertiesOfSelectedItem();
    void copyingNodeNames();
    void clipPlaysToItsEnd();
    void lightStaysPutWhenTheCameraOrbits();
    void timelineDraggingPosesTheModel();

private:
    SceneGraph* open(const QString& source, const QString& rename = QString());

    QStringList shownProperties(SceneGraph* graph, const QString& item) const;
    QImage drawnAt(int milliseconds) const;

    QTemporaryDir m_temp;
    engine::Scene* m_scene = nullptr;
    std::unique_ptr<WorkspaceService> m_service;
    UserSettings m_settings;
    RecordingTracker m_tracker;
    std::unique_ptr<MainWindowController> m_controller;
};

void SceneTreeTest::initTestCase()
{
    initVelmoraResources();
    qRegisterMetaType<engine::Node*>();
    qRegisterMetaType<engine::Scene*>();
    qRegisterMetaType<QStandardItemModel*>();
    // The build tree is laid out as an installation: the encoder and the
    // shaders lie where the application looks for them.
    m_service = std::make_unique<WorkspaceService>(m_temp.path(), qEnvironmentVariable("VELMORA_BUILD_DIR"));
    QVERIFY2(QFileInfo(m_service->encoderExecutable()).isExecutable(), "the model encoder is not built");
    m_controller = std::make_unique<MainWindowController>(nullptr, AppServices {m_settings, m_tracker}, *m_service);
    m_controller->mainWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_controller->mainWindow()));
    QTRY_VERIFY(findInWindow<GlItem>(*m_controller, "viewport")->isRenderingEnabled());
}

void SceneTreeTest::cleanupTestCase()
{
    m_controller.reset();
    if (m_service)
        m_service->deleteCurrentWorkspace();
}

// Converts as an import does and hands the result to the main window, whose
// viewport loads it and has the scene graph build its tree. Null when the
// encoder cannot convert the file or the viewport does not show it.
SceneGraph* SceneTreeTest::open(const QString& source, const QString& fromTo)
{
    m_service->setModelFile(source);
    Loader loader(source, *m_service);
    QStringList result;
    connect(&loader, &Loader::loaderDidFinish, this, [&](bool, const LoadedModel& model) {
        result = QStringList {model.modelPath, model.version, QString::number(model.format)};
    });
    loader.run();
    if (result.size() != 3 || !QFileInfo::exists(m_service->modelFile()))
        return nullptr;
    if (!fromTo.isEmpty() && !rename(m_service->modelFolder(), fromTo))
        return nullptr;
    SceneGraph* graph = new SceneGraph(result[0], result[1], result[2].toInt());
    for (QStandardItemModel* model : {graph->sceneModel(), graph->propertiesModel()})
        new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::QtTest, graph);
    const LoadResult loaded = m_controller->findChild<MainViewController*>()->newSceneGraphIsReadyToDisplay(graph);
    m_scene = loaded.scene;
    return loaded.shown() ? graph : nullptr;
}

void SceneTreeTest::treeOfConvertedModel_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("rename");
    QTest::addColumn<QStringList>("tree");
    // Skinned: the bones below the rig are not listed; the mesh's three
    // materials make three parts.
    QTest::newRow("skinned sample") << sample("velmora-sample.fbx") << QString()
                                    << QStringList {"Figure (Mesh)", "  Figure[0] (Mesh)", "  Figure[1] (Mesh)",
                                                    "  Figure[2] (Mesh)", "Rig (Joint)"};
    // Lights and the camera sit on child nodes that turn them the engine's way.
    QTest::newRow("stage") << sample("velmora-stage.fbx") << "Crate=[Box]"
                           << QStringList {"Ground (Mesh)",        "[Box] (Mesh)",         "Ball (Mesh)",
                                           "Sun (Empty)",          "  Sun_light (Light)",  "Lamp (Light)",
                                           "Spot (Empty)",         "  Spot_light (Light)", "Camera (Empty)",
                                           "  Camera_camera (Cam)"};
    QTest::newRow("three materials") << shared("generated/b_three_materials.fbx")
                                     << "ThreeMaterialCube=[Three Materials]"
                                     << QStringList {"RootNode (Empty)", "  [Three Materials] (Mesh)",
                                                     "    [Three Materials][0] (Mesh)",
                                                     "    [Three Materials][1] (Mesh)",
                                                     "    [Three Materials][2] (Mesh)"};
    // Pivots fold into their nodes: no "_$AssimpFbx$_" helpers between them.
    QTest::newRow("pivots") << shared("assimp/test/models/FBX/cubes_with_mirroring_and_pivot.fbx") << QString()
                            << QStringList {"Cube2 (Mesh)", "  Cube1 (Mesh)", "Cube3 (Mesh)", "  Cube1__2 (Mesh)"};
    QTest::newRow("skinned, three takes") << shared("ufbx/data/blender_279_sausage_7400_binary.fbx") << QString()
                                          << QStringList {"Skeleton (Joint)", "Skin (Mesh)"};
}

void SceneTreeTest::treeOfConvertedModel()
{
    QFETCH(QString, source);
    QFETCH(QString, rename);
    QFETCH(QStringList, tree);
    if (sharedFileAbsent(source))
        QSKIP("shared model absent");
    SceneGraph* graph = open(source, rename);
    QVERIFY2(graph, "the model was not converted and shown");
    QStringList lines;
    dump(graph->sceneModel()->invisibleRootItem(), 0, &lines);
    QCOMPARE(lines.join(" | "), tree.join(" | "));
    // A second build replaces the tree, never appends to it.
    graph->build();
    QCOMPARE(graph->sceneModel()->rowCount(), tree.filter(QRegularExpression("^\\S")).size());
}

void SceneTreeTest::propertiesOfSelectedItem_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("rename");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("node"); // the node selected; empty: none
    QTest::addColumn<bool>("mesh");
    QTest::addColumn<QString>("rowsText"); // "label" or "label=value", in order, joined by " | "

    const QString three = shared("generated/b_three_materials.fbx");
    const QString textured = "Material=BlueTextured | Color=1, 1, 1, 1 | MIP map=true | MagFilter=LINEAR | "
                             "MinFilter=LINEAR_MIPMAP_LINEAR | Specular=25 | Specular Color=0.0125, 0.0125, 0.2 | "
                             "Texture Path=tex/checker.png | Texture Size=64x64 | WrapS=REPEAT | WrapT=REPEAT";
    // The node shows its mesh and names its materials; each part shows its own.
    QTest::newRow("node names its materials")
        << three << QString() << "ThreeMaterialCube"
        << "ThreeMaterialCube" << true << "Vertices=24 | Parts=3 | Materials=Red, Green, BlueTextured";
    QTest::newRow("mesh part selects its node")
        << three << QString() << "ThreeMaterialCube[1]"
        << "ThreeMaterialCube" << true
        << "Material=Green | Color=0.05, 0.8, 0.05, 1 | Specular=25 | Specular Color=0.0125, 0.2, 0.0125";
    QTest::newRow("bracketed name part") << three << "ThreeMaterialCube=[Three Materials]"
                                         << "[Three Materials][2]"
                                         << "[Three Materials]" << true << textured;
    QTest::newRow("name that only begins one")
        << three << QString() << "ThreeMaterial" << QString() << false << QString();
    QTest::newRow("viewer's own node") << three << QString() << "CameraNode" << QString() << false << QString();
    const QString figure = sample("velmora-sample.fbx");
    QTest::newRow("skinned node") << figure << QString() << "Figure"
                                  << "Figure" << true << "Vertices=818 | Parts=3 | Materials=Skin, Band, Cap";
    QTest::newRow("textured part") << figure << QString() << "Figure[0]"
                                   << "Figure" << true
                                   << "Material=Skin | Color=1, 1, 1, 1 | MIP map | MagFilter | MinFilter | "
                                      "Specular=25 | Specular Color=0.2, 0.2, 0.2 | "
                                      "Texture Path=tex/velmora-sample-skin.png | Texture Size=128x128 | WrapS | WrapT";
    QTest::newRow("second part") << figure << QString() << "Figure[1]"
                                 << "Figure" << true
                                 << "Material=Band | Color=0.75, 0.12, 0.15, 1 | Specular=42.25 | "
                                    "Specular Color=0.1875, 0.03, 0.0375";
    QTest::newRow("third part") << figure << QString() << "Figure[2]"
                                << "Figure" << true
                                << "Material=Cap | Color=0.85, 0.85, 0.9, 1 | Specular=64 | "
                                   "Specular Color=0.34, 0.34, 0.36";
    // Lights and cameras in world space and degrees, as the file placed them
    // (Blender's Z-up turned Y-up: x, z, -y).
    const QString stage = sample("velmora-stage.fbx");
    QTest::newRow("spot light") << stage << QString() << "Spot_light"
                                << "Spot_light" << false
                                << "Type=Spot | Position=-2.5, 4, 2.5 | Direction | Inner Angle=14\u00b0 | "
                                   "Outer Angle=20\u00b0 | Range | Light Color=0.96, 0.96, 0.96";
    QTest::newRow("point light") << stage << QString() << "Lamp"
                                 << "Lamp" << false
                                 << "Type=Point | Position=2.5, 2.5, 2 | Range | Light Color=1, 0.85, 0.6";
    QTest::newRow("sun") << stage << QString() << "Sun_light"
                         << "Sun_light" << false << "Type=Directional | Direction | Light Color";
    // A 35 mm lens on a 36 mm wide 16:9 frame.
    QTest::newRow("camera") << stage << QString() << "Camera_camera"
                            << "Camera_camera" << false
                            << "Type=Perspective | Field of View=32.2688\u00b0 | Near Plane=0.1 | Far Plane=1000 | "
                               "Aspect Ratio=1.77778";
    QTest::newRow("light's parent") << stage << QString() << "Spot"
                                    << "Spot" << false << QString();
}

void SceneTreeTest::propertiesOfSelectedItem()
{
    QFETCH(QString, source);
    QFETCH(QString, rename);
    QFETCH(QString, item);
    QFETCH(QString, node);
    QFETCH(bool, mesh);
    QFETCH(QString, rowsText);
    const QStringList rows = rowsText.isEmpty() ? QStringList() : rowsText.split(" | ");
    if (sharedFileAbsent(source))
        QSKIP("shared model absent");
    SceneGraph* graph = open(source, rename);
    QVERIFY2(graph, "the model was not converted and shown");
    QSignalSpy selected(graph, &SceneGraph::nodeSelected);
    QSignalSpy shown(graph, &SceneGraph::updatePropertiesView);
    graph->selectNode(item);
    QCOMPARE(selected.count(), 1);
    const engine::Node* found = selected.at(0).at(0).value<engine::Node*>();
    QCOMPARE(found ? QString::fromUtf8(found->getId()) : QString(), node);
    QCOMPARE(graph->isMeshItem(item), mesh);
    QCOMPARE(shown.count(), node.isEmpty() ? 0 : 1);
    QStringList shownRows;
    QStandardItemModel* model = graph->propertiesModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString label = model->item(row)->text().section("\n    ", 0, 0);
        const QString value = model->item(row)->text().section("\n    ", 1);
        shownRows << (row < rows.size() && !rows[row].contains('=') ? label : label + '=' + value);
    }
    QCOMPARE(shownRows, rows);
}

void SceneTreeTest::copyingNodeNames()
{
    if (sharedFileAbsent(shared("generated/b_three_materials.fbx")))
        QSKIP("shared model absent");
    SceneGraph* graph = open(shared("generated/b_three_materials.fbx"));
    QVERIFY2(graph, "the model was not converted and shown");
    MainViewController* view = m_controller->findChild<MainViewController*>(); // takes the tree's keys
    QTreeView* tree = findInWindow<QTreeView>(*m_controller, "sceneTree");
    QClipboard* clipboard = QGuiApplication::clipboard();

    // Every node, of whatever kind, mesh parts included, one per line; no selection left.
    menuAction(m_controller->mainWindow(), "copyNodesAction")->trigger();
    QCOMPARE(clipboard->text(),
             QStringLiteral("RootNode\nThreeMaterialCube\nThreeMaterialCube[0]\nThreeMaterialCube[1]\n"
                            "ThreeMaterialCube[2]"));
    // The status bar counts the mesh once, not its parts.
    QVERIFY(m_controller->mainWindow()->statusBarController()->statisticsLabel()->text().contains(
        "Distinct meshes: 1 - Vertices: 24 - "));
    QVERIFY(!tree->selectionModel()->hasSelection());

    // Ctrl+C over nothing, or over an item that names no model, keeps the clipboard.
    clipboard->setText("keep me");
    QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    QVERIFY(view->eventFilter(tree, &copy));
    QCOMPARE(clipboard->text(), QStringLiteral("keep me"));
    const QModelIndex root = graph->sceneModel()->index(0, 0);
    tree->selectionModel()->select(root, QItemSelectionModel::Select);
    QVERIFY(view->eventFilter(tree, &copy));
    QCOMPARE(clipboard->text(), QStringLiteral("keep me"));

    // Choosing a part in the tree selects its node for the viewport.
    QSignalSpy selected(graph, &SceneGraph::nodeSelected);
    tree->setCurrentIndex(graph->sceneModel()->index(2, 0, graph->sceneModel()->index(0, 0, root)));
    QCOMPARE(selected.count(), 1);
    QCOMPARE(QString::fromUtf8(selected.at(0).at(0).value<engine::Node*>()->getId()),
             QStringLiteral("ThreeMaterialCube"));
    QVERIFY(view->eventFilter(tree, &copy));
    QCOMPARE(clipboard->text(), QStringLiteral("ThreeMaterialCube[2]"));
    // Its property rows copy as "Label: value", one per line.
    view->copyPropertyRows(true);
    QVERIFY2(clipboard->text().split('\n').contains("MagFilter: LINEAR"), qPrintable(clipboard->text()));
}

// The sample's two takes are 40 frames at 30 per second: a clip played to
// its end shows the end of its time line and the play image again.
void SceneTreeTest::clipPlaysToItsEnd()
{
    QVERIFY2(open(sample("velmora-sample.fbx")), "the sample was not converted and shown");
    QWidget* list = m_controller->mainWindow()->findChild<QWidget*>("animationList");
    const QList<AnimationControlButton*> buttons = list->findChildren<AnimationControlButton*>();
    QCOMPARE(buttons.size(), 2);
    AnimationControlButton* button = buttons.first();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->state(), AnimationControlButton::Playing);
    QTRY_COMPARE_WITH_TIMEOUT(button->state(), AnimationControlButton::Stopped, 60000);
    QCOMPARE(button->parentWidget()->findChild<QLabel*>("0")->text(), QStringLiteral("0:01.33 / 0:01.33"));
}

QStringList SceneTreeTest::shownProperties(SceneGraph* graph, const QString& item) const
{
    graph->selectNode(item);
    QStringList rows;
    for (int row = 0; row < graph->propertiesModel()->rowCount(); ++row)
        rows << graph->propertiesModel()->item(row)->text();
    return rows;
}

// World space: the camera's orbit moves the camera, never the lights.
void SceneTreeTest::lightStaysPutWhenTheCameraOrbits()
{
    SceneGraph* graph = open(sample("velmora-stage.fbx"));
    QVERIFY2(graph, "the committed sample was not converted and shown");
    const QStringList before = shownProperties(graph, "Spot_light");
    engine::Node* camera = m_scene->getActiveCamera()->getNode();
    const engine::Vector3 from = camera->getTranslationWorld();
    GlItem* viewport = findInWindow<GlItem>(*m_controller, "viewport");
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPoint(160, 130), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(160, 130));
    QVERIFY(camera->getTranslationWorld() != from);
    QCOMPARE(shownProperties(graph, "Spot_light"), before);
}

QImage SceneTreeTest::drawnAt(int milliseconds) const
{
    QSlider* slider = findInWindow<QSlider>(*m_controller, "timelineSlider");
    slider->setSliderDown(true);
    slider->setSliderPosition(milliseconds + 1); // a drag that ends where it began moves nothing
    slider->setSliderPosition(milliseconds);
    slider->setSliderDown(false);
    return findInWindow<GlItem>(*m_controller, "viewport")->grabFramebuffer();
}

// The skin follows the slider whether the clip stands or was paused, and the
// same time draws the same pose.
void SceneTreeTest::timelineDraggingPosesTheModel()
{
    QVERIFY2(open(sample("velmora-sample.fbx")), "the committed sample was not converted and shown");
    AnimationTimeline* timeline = findInWindow<AnimationTimeline>(*m_controller, "animationTimeline");
    timeline->chooseClip(timeline->findChild<QComboBox*>()->itemText(1)); // the second take bends the figure
    QVERIFY(timeline->clip().contains("Wave"));
    QCOMPARE(timeline->timeLabel()->text(), QStringLiteral("0:00.00 / 0:01.33"));
    const QImage start = drawnAt(0);
    const QImage middle = drawnAt(timeline->slider()->maximum() / 2);
    QVERIFY(start != middle);
    QCOMPARE(drawnAt(0), start);
    QTest::mouseClick(timeline->playButton(), Qt::LeftButton);
    QTest::mouseClick(timeline->playButton(), Qt::LeftButton);
    QCOMPARE(timeline->playButton()->text(), QStringLiteral("Play"));
    QCOMPARE(drawnAt(timeline->slider()->maximum() / 2), middle);
    QCOMPARE(drawnAt(0), start);
}

QTEST_MAIN(SceneTreeTest)
#include "tst_scenetree.moc"

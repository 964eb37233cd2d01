// The main window as the user first sees it, and how the controller follows
// the life of a model: opening, loaded, failed, exported. Also the scene
// tree's selection and clipboard rules.

#include "LoadingIndicatorView.h"
#include "LoadingIndicatorViewController.h"
#include "MainViewController.h"
#include "MainWindow.h"
#include "MainWindowController.h"
#include "MenuManager.h"
#include "ModalDialogCloser.h"
#include "RecordingTracker.h"
#include "SceneTreeSelection.h"
#include "StatusBarController.h"
#include "ToolBarController.h"
#include "VelmoraResources.h"

#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

QString blanks(int count)
{
    return QString(count, QLatin1Char(' '));
}

QString writeFile(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(QByteArray(int(size), 'v'));
    return path;
}

QStandardItem* item(const QString& text)
{
    return new QStandardItem(text);
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowStartsInItsStartState();
    void toolBarHasOpenExportAndResetCamera();
    void centralAreaHasTreesViewportAndCollapsedAnimationPane();
    void modelWillLoadTracksClearsAndShowsIndicator();
    void newModelLoadedSetsTitleEnablesExportHidesIndicator();
    void loadResultsSwitchExport();
    void sceneStatisticsUseTheLoadedFileSize();
    void exportProgressAndMessageTimings();
    void olderExportTimersDoNotWipeANewerExport();
    void framerateReachesTheStatusBar();
    void animationPaneOpensAndCollapses();
    void toolBarButtonsOpenTheMenuDialogs_data();
    void toolBarButtonsOpenTheMenuDialogs();
    void closingTheWindowAnnouncesIt();

    void copyAllCopiesNestedModelNodesAndClearsSelection();
    void copyOfNonModelItemsEmptiesTheClipboard();
    void selectionKeysOnTheMainWindow();

private:
    std::unique_ptr<ScopedRecordingTracker> m_recording;
    std::unique_ptr<MainWindowController> m_controller;
    QTemporaryDir m_dir;
};

void MainWindowTest::initTestCase()
{
    initVelmoraResources();
    QVERIFY(m_dir.isValid());
}

void MainWindowTest::init()
{
    m_recording = std::make_unique<ScopedRecordingTracker>();
    m_controller = std::make_unique<MainWindowController>(nullptr);
    m_controller->mainWindow()->show();
    m_controller->mainWindow()->resize(1000, 600);
    QVERIFY(QTest::qWaitForWindowExposed(m_controller->mainWindow()));
}

void MainWindowTest::cleanup()
{
    ModalDialogCloser::cancelAll();
    m_controller.reset();
    m_recording.reset();
}

void MainWindowTest::windowStartsInItsStartState()
{
    MainWindow* window = m_controller->mainWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("Velmora 3D Encoder"));
    QCOMPARE(window->size(), QSize(1000, 600));
    QVERIFY(!window->windowIcon().isNull());

    QStringList menus;
    for (QAction* action : window->menuBar()->actions())
        menus << action->text();
    QCOMPARE(menus, (QStringList{"&File", "&Model", "&Window", "&Help"}));

    QVERIFY(!m_controller->menuManager()->exportAction()->isEnabled());
    QVERIFY(!window->toolBarController()->exportAction()->isEnabled());
    QVERIFY(window->toolBarController()->openAction()->isEnabled());
    QVERIFY(m_controller->menuManager()->openAction()->isEnabled());

    StatusBarController* statusBar = window->statusBarController();
    QCOMPARE(window->statusBar(), statusBar->statusBar());
    QCOMPARE(statusBar->statisticsLabel()->text(),
             QStringLiteral("To get started drag a supported 3D file onto the canvas"));
    QVERIFY(statusBar->statisticsLabel()->isVisible());
    QVERIFY(!statusBar->statusBar()->isSizeGripEnabled());
    QVERIFY(!m_controller->loadingIndicator()->view()->isVisible());
    QVERIFY(!m_controller->menuManager()->showLoggingWindowAction()->isChecked());
    QCOMPARE(m_recording->tracker.calls, QStringList());
}

void MainWindowTest::toolBarHasOpenExportAndResetCamera()
{
    ToolBarController* controller = m_controller->mainWindow()->toolBarController();
    QToolBar* toolBar = controller->toolBar();
    QCOMPARE(toolBar->windowTitle(), QStringLiteral("Main Toolbar"));
    QVERIFY(!toolBar->isMovable());
    QVERIFY(!toolBar->isFloatable());

    const QList<QAction*> actions = toolBar->actions();
    QCOMPARE(actions.size(), 4);
    QCOMPARE(actions.at(0), controller->openAction());
    QCOMPARE(actions.at(1), controller->exportAction());
    QCOMPARE(actions.at(3), controller->resetCameraAction());
    // The third entry is the spacer that pushes Reset Camera to the right.
    QWidget* spacer = toolBar->widgetForAction(actions.at(2));
    QVERIFY(spacer);
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QVERIFY(toolBar->widgetForAction(actions.at(3))->geometry().left()
            > toolBar->width() - toolBar->widgetForAction(actions.at(3))->width() - 20);

    const QStringList texts = {"Open", "Export", "Reset Camera"};
    const QList<QAction*> buttons = {controller->openAction(), controller->exportAction(),
                                     controller->resetCameraAction()};
    for (int i = 0; i < buttons.size(); ++i) {
        QCOMPARE(buttons[i]->text(), texts[i]);
        QCOMPARE(buttons[i]->toolTip(), texts[i]);
        QVERIFY(!buttons[i]->icon().isNull());
    }

    QSignalSpy reset(controller, &ToolBarController::resetCameraSignal);
    controller->resetCameraAction()->trigger();
    QCOMPARE(reset.count(), 1);
    // Before a model has loaded the Export button cannot be pressed.
    QVERIFY(!toolBar->widgetForAction(controller->exportAction())->isEnabled());
    QVERIFY(toolBar->widgetForAction(controller->openAction())->isEnabled());
}

void MainWindowTest::centralAreaHasTreesViewportAndCollapsedAnimationPane()
{
    MainViewController* view = m_controller->mainViewController();
    QCOMPARE(m_controller->mainWindow()->centralWidget(), view->mainSplitter());
    QCOMPARE(view->mainSplitter()->orientation(), Qt::Horizontal);
    QCOMPARE(view->mainSplitter()->count(), 3);
    QCOMPARE(view->mainSplitter()->widget(1), view->viewport());
    QVERIFY(view->viewport()->minimumWidth() >= 500);
    QVERIFY(view->viewport()->minimumHeight() >= 400);

    const QList<int> sizes = view->mainSplitter()->sizes();
    QVERIFY(sizes.at(0) > 0);
    QVERIFY(sizes.at(1) >= 500);
    QCOMPARE(sizes.at(2), 0);

    auto header = [](QTreeView* tree) {
        return tree->model()->headerData(0, Qt::Horizontal).toString();
    };
    QCOMPARE(header(view->sceneTree()), QStringLiteral("Scene"));
    QCOMPARE(header(view->propertyTree()), QStringLiteral("Properties"));
    QCOMPARE(view->sceneTree()->model()->rowCount(), 0);
    QCOMPARE(view->propertyTree()->model()->rowCount(), 0);
    QCOMPARE(view->sceneTree()->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(view->sceneTree()->contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(view->sceneTree()->focusPolicy(), Qt::NoFocus);
    QCOMPARE(view->propertyTree()->focusPolicy(), Qt::NoFocus);
    QVERIFY(!view->propertyTree()->uniformRowHeights());
}

void MainWindowTest::modelWillLoadTracksClearsAndShowsIndicator()
{
    MainViewController* view = m_controller->mainViewController();
    view->addItemToAnimations(QStringLiteral("walk"));
    QVERIFY(view->mainSplitter()->sizes().at(2) > 0);

    m_controller->modelWillLoad(QStringLiteral("/models/Robot.Fbx"));
    QCOMPARE(m_recording->tracker.calls, QStringList{"event:model/open_ext/fbx/1"});
    QCOMPARE(view->mainSplitter()->sizes().at(2), 0);
    LoadingIndicatorView* indicator = m_controller->loadingIndicator()->view();
    QVERIFY(indicator->isVisible());
    QCOMPARE(indicator->messageLabel()->text(), QStringLiteral("Opening file: Robot.Fbx"));
    QCOMPARE(indicator->progressBar()->maximum(), 0);

    m_controller->modelWillLoad(QStringLiteral("/models/box.obj"));
    QCOMPARE(m_recording->tracker.calls.last(), QStringLiteral("event:model/open_ext/obj/1"));
    QCOMPARE(indicator->messageLabel()->text(), QStringLiteral("Opening file: box.obj"));
    QVERIFY(indicator->isVisible());
}

void MainWindowTest::newModelLoadedSetsTitleEnablesExportHidesIndicator()
{
    const QString path = writeFile(m_dir.filePath(QStringLiteral("crate.fbx")), 3000);
    m_controller->modelWillLoad(path);
    m_controller->newModelLoaded(path);
    QCOMPARE(m_controller->mainWindow()->windowTitle(), QStringLiteral("Velmora 3D Encoder - crate.fbx"));
    QCOMPARE(m_controller->fileSize(), quint64(3000));
    QVERIFY(m_controller->menuManager()->exportAction()->isEnabled());
    QVERIFY(m_controller->mainWindow()->toolBarController()->exportAction()->isEnabled());
    QVERIFY(!m_controller->loadingIndicator()->view()->isVisible());
}

void MainWindowTest::loadResultsSwitchExport()
{
    MenuManager* menu = m_controller->menuManager();
    ToolBarController* toolBar = m_controller->mainWindow()->toolBarController();

    m_controller->sceneImportSuccessful(nullptr, 10, 1);
    QVERIFY(menu->exportAction()->isEnabled());
    QVERIFY(toolBar->exportAction()->isEnabled());

    // Opening another file keeps export until that load fails.
    m_controller->modelWillLoad(QStringLiteral("/models/next.vm3"));
    QVERIFY(menu->exportAction()->isEnabled());
    m_controller->errorLoadingNewModel(QStringLiteral("broken"));
    QVERIFY(!m_controller->loadingIndicator()->view()->isVisible());
    QVERIFY(menu->exportAction()->isEnabled());

    m_controller->sceneImportFailed(QStringLiteral("no scene"));
    QVERIFY(!menu->exportAction()->isEnabled());
    QVERIFY(!toolBar->exportAction()->isEnabled());
}

void MainWindowTest::sceneStatisticsUseTheLoadedFileSize()
{
    const QString path = writeFile(m_dir.filePath(QStringLiteral("stats.fbx")), 1536);
    m_controller->newModelLoaded(path);
    m_controller->setSceneStatistics(1234, 5);
    QLabel* label = m_controller->mainWindow()->statusBarController()->statisticsLabel();
    QCOMPARE(label->text(),
             QStringLiteral("<font color='Black'>Vertices: 1234 - Meshes: 5 - File size: 1.5 kB</font>"));
    QCOMPARE(m_controller->vertexCount(), quint32(1234));
    QCOMPARE(m_controller->meshCount(), quint32(5));

    m_controller->setSceneStatistics(0, 0);
    QCOMPARE(label->text(), QStringLiteral("To get started drag a supported 3D file onto the canvas"));

    // The statistics reach the status bar through the main view as well.
    m_controller->mainViewController()->sceneLoaded(nullptr, 7, 2);
    QVERIFY(label->text().contains(QStringLiteral("Vertices: 7 - Meshes: 2")));
}

void MainWindowTest::exportProgressAndMessageTimings()
{
    StatusBarController* statusBar = m_controller->mainWindow()->statusBarController();
    QLabel* message = statusBar->messageLabel();
    QProgressBar* progress = statusBar->progressBar();

    m_controller->modelExportStarted(QStringLiteral("/ws/res/model"), QStringLiteral("/out/ship.vm3"));
    QCOMPARE(message->text(), QStringLiteral("Exporting 3D model to: ship.vm3"));
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 0);

    QElapsedTimer clock;
    clock.start();
    m_controller->modelExported(QStringLiteral("/out/ship.vm3"));
    // The progress stops at the next turn of the event loop...
    QTRY_COMPARE_WITH_TIMEOUT(progress->maximum(), 1, 90);
    QCOMPARE(message->text(), blanks(18));
    // ...and the result shows about 100 ms after the export finished...
    QTRY_COMPARE_WITH_TIMEOUT(message->text(), QStringLiteral("Exported to: ship.vm3"), 2000);
    const qint64 shownAt = clock.elapsed();
    QVERIFY2(shownAt >= 95, qPrintable(QString::number(shownAt)));
    // ...for three seconds.
    QTest::qWait(2500);
    QCOMPARE(message->text(), QStringLiteral("Exported to: ship.vm3"));
    QTRY_COMPARE_WITH_TIMEOUT(message->text(), blanks(18), 2000);
    QVERIFY(clock.elapsed() - shownAt >= 2800);
}

void MainWindowTest::olderExportTimersDoNotWipeANewerExport()
{
    StatusBarController* statusBar = m_controller->mainWindow()->statusBarController();
    m_controller->modelExported(QStringLiteral("/out/first.vm3"));
    QTRY_COMPARE_WITH_TIMEOUT(statusBar->messageLabel()->text(), QStringLiteral("Exported to: first.vm3"), 2000);
    m_controller->modelExportStarted(QString(), QStringLiteral("/out/second.vm3"));
    // The first export's clearing time passes while the second one still runs.
    QTest::qWait(3300);
    QCOMPARE(statusBar->messageLabel()->text(), QStringLiteral("Exporting 3D model to: second.vm3"));
    QCOMPARE(statusBar->progressBar()->maximum(), 0);

    // Likewise a result still waiting for its 100 ms never replaces a newer progress.
    m_controller->modelExported(QStringLiteral("/out/second.vm3"));
    m_controller->modelExportStarted(QString(), QStringLiteral("/out/third.vm3"));
    QTest::qWait(300);
    QCOMPARE(statusBar->messageLabel()->text(), QStringLiteral("Exporting 3D model to: third.vm3"));
}

void MainWindowTest::framerateReachesTheStatusBar()
{
    QLabel* label = m_controller->mainWindow()->statusBarController()->framerateLabel();
    QCOMPARE(label->text(), QStringLiteral("60 fps"));
    m_controller->newFramerateAvailable(42);
    QCOMPARE(label->text(), QStringLiteral("42 fps"));
    m_controller->newFramerateAvailable(-1);
    QCOMPARE(label->text(), QStringLiteral("-1 fps"));
}

void MainWindowTest::animationPaneOpensAndCollapses()
{
    MainViewController* view = m_controller->mainViewController();
    view->addItemToAnimations(QStringLiteral("run"));
    const QList<int> open = view->mainSplitter()->sizes();
    QVERIFY(open.at(2) > 0);
    QVERIFY(qAbs(open.at(2) - open.at(0)) <= 2); // both side panes the same width
    view->addItemToAnimations(QStringLiteral("jump"));
    QCOMPARE(view->mainSplitter()->sizes(), open);
    view->clearAnimationModel();
    QCOMPARE(view->mainSplitter()->sizes().at(2), 0);
    view->clearAnimationModel();
    QCOMPARE(view->mainSplitter()->sizes().at(2), 0);
}

void MainWindowTest::toolBarButtonsOpenTheMenuDialogs_data()
{
    QTest::addColumn<bool>("exporting");
    QTest::addColumn<QString>("caption");
    QTest::newRow("open") << false << "Open file containing 3D model";
    QTest::newRow("export") << true << "Export to vm3";
}

void MainWindowTest::toolBarButtonsOpenTheMenuDialogs()
{
    QFETCH(bool, exporting);
    QFETCH(QString, caption);
    ToolBarController* toolBar = m_controller->mainWindow()->toolBarController();
    m_controller->sceneImportSuccessful(nullptr, 1, 1);

    QString seenCaption;
    ModalDialogCloser::answerNext([&seenCaption](QWidget* dialog) {
        seenCaption = dialog->windowTitle();
        static_cast<QDialog*>(dialog)->reject();
    });
    QSignalSpy opened(m_controller->menuManager(), &MenuManager::open3dModel);
    QSignalSpy exported(m_controller->menuManager(), &MenuManager::exportToFile);
    (exporting ? toolBar->exportAction() : toolBar->openAction())->trigger();
    QCOMPARE(seenCaption, caption);
    // A cancelled dialog does nothing.
    QCOMPARE(opened.count(), 0);
    QCOMPARE(exported.count(), 0);
}

void MainWindowTest::closingTheWindowAnnouncesIt()
{
    QSignalSpy closing(m_controller->mainWindow(), &MainWindow::windowWillClose);
    QVERIFY(m_controller->mainWindow()->close());
    QCOMPARE(closing.count(), 1);
    QVERIFY(!m_controller->mainWindow()->isVisible());
}

void MainWindowTest::copyAllCopiesNestedModelNodesAndClearsSelection()
{
    // root
    //   group
    //     wheel_L      (model)
    //     wheel_R[1]   (model part)
    //   camera
    // lamp
    QStandardItemModel model;
    QStandardItem* root = item("root");
    QStandardItem* group = item("group");
    group->appendRow(item("wheel_L"));
    group->appendRow(item("wheel_R[1]"));
    root->appendRow(group);
    root->appendRow(item("camera"));
    model.appendRow(root);
    model.appendRow(item("lamp"));
    QTreeView tree;
    tree.setModel(&model);
    tree.setSelectionMode(QAbstractItemView::ExtendedSelection);

    const auto isModel = [](const QString& text) { return text.startsWith(QLatin1String("wheel")); };
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));

    tree.selectionModel()->select(model.index(1, 0), QItemSelectionModel::Select);
    QCOMPARE(SceneTreeSelection::selectAllModelNodes(&tree, isModel), 2);
    QCOMPARE(SceneTreeSelection::selectedModelNodeNames(&tree, isModel),
             (QStringList{"wheel_L", "wheel_R[1]"}));
    // The lamp stays selected but is no model, so it is not copied.
    QCOMPARE(SceneTreeSelection::copySelectedModelNodes(&tree, isModel), 2);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("wheel_L\nwheel_R[1]"));

    // Without a predicate nothing is a model node, and nothing breaks.
    tree.clearSelection();
    QCOMPARE(SceneTreeSelection::selectAllModelNodes(&tree, {}), 0);
    QCOMPARE(SceneTreeSelection::selectAllModelNodes(nullptr, isModel), 0);
    QCOMPARE(SceneTreeSelection::selectedModelNodeNames(nullptr, isModel), QStringList());

    // The whole copy-all sequence through the main view leaves no selection.
    MainViewController* view = m_controller->mainViewController();
    QStandardItemModel* sceneModel = new QStandardItemModel(view->sceneTree());
    sceneModel->appendRow(item("only"));
    view->updateSceneGraphView(sceneModel);
    view->sceneTree()->selectAll();
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    emit m_controller->menuManager()->copyAllModelNodes();
    QVERIFY(!view->sceneTree()->selectionModel()->hasSelection());
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
}

void MainWindowTest::copyOfNonModelItemsEmptiesTheClipboard()
{
    QStandardItemModel model;
    model.appendRow(item("light"));
    model.appendRow(item("camera"));
    QTreeView tree;
    tree.setModel(&model);
    tree.selectAll();
    QGuiApplication::clipboard()->setText(QStringLiteral("previous text"));
    QCOMPARE(SceneTreeSelection::copySelectedModelNodes(&tree, [](const QString&) { return false; }), 0);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
}

void MainWindowTest::selectionKeysOnTheMainWindow()
{
    MainViewController* view = m_controller->mainViewController();
    QStandardItemModel* sceneModel = new QStandardItemModel(view->sceneTree());
    sceneModel->appendRow(item("node"));
    view->updateSceneGraphView(sceneModel);
    view->sceneTree()->selectAll();
    QVERIFY(view->sceneTree()->selectionModel()->hasSelection());

    QGuiApplication::clipboard()->setText(QStringLiteral("previous text"));
    QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    QVERIFY(view->eventFilter(m_controller->mainWindow(), &copy));
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());

    // Select All starts from an empty selection and adds model nodes only.
    QKeyEvent selectAll(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(view->eventFilter(view->sceneTree(), &selectAll));
    QVERIFY(!view->sceneTree()->selectionModel()->hasSelection());

    // Plain keys pass through.
    QKeyEvent plain(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier);
    QVERIFY(!view->eventFilter(m_controller->mainWindow(), &plain));
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"

// The main window and its menus: the start state, how the window follows the
// life of a model, the export status timings, the radio groups kept in step
// with the user settings, the information box and reload question, the open
// and export dialogs, and the scene tree's clipboard rules.

#include "AppTestSupport.h"
#include "GlItem.h"
#include "MainViewController.h"
#include "ModelManager.h"
#include "SceneTreeSelection.h"
#include "ToolBarController.h"
#include "UserSettings.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QSplitter>
#include <QStandardItemModel>
#include <QToolBar>
#include <QTreeView>

#include <memory>

namespace {

// Runs `trigger` and answers every message box it shows with `button` (Ok if
// the box has no such button); returns the box texts in order.
QStringList answerBoxes(const std::function<void()>& trigger, QMessageBox::StandardButton button)
{
    QStringList seen;
    std::function<void(QWidget*)> answer = [&](QWidget* widget) {
        QMessageBox* box = qobject_cast<QMessageBox*>(widget);
        if (!box)
            return ModalDialogCloser::dismiss(widget);
        seen << box->text();
        ModalDialogCloser::answerNext(answer, box); // be ready for a box that follows
        (box->button(button) ? box->button(button) : box->button(QMessageBox::Ok))->click();
    };
    ModalDialogCloser::answerNext(answer);
    trigger();
    ModalDialogCloser::cancelAll();
    return seen;
}

// Answers the next file dialog: records its start folder, then picks `path`
// by typing it (selectFile() is ignored while the field has focus) or cancels
// when `path` is empty. A message box that follows goes to `nextBox`.
void answerFileDialog(const QString& path, QString* folder, QString* nextBox = nullptr)
{
    ModalDialogCloser::answerNext([=](QWidget* widget) {
        QFileDialog* dialog = qobject_cast<QFileDialog*>(widget);
        *folder = dialog->directory().absolutePath();
        if (nextBox)
            answerNextBox(nextBox, dialog);
        QLineEdit* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (path.isEmpty() || !edit)
            return static_cast<QDialog*>(dialog)->reject();
        edit->setText(path);
        static_cast<QDialog*>(dialog)->accept();
    });
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowStartsInItsStartState(); // first: no setting stored yet
    void windowFollowsTheModelLifeCycle();
    void exportStatusTimingsAndStaleTimers();
    void radioGroupsKeepExactlyOneCheckAndStoreTheChoice();
    void infoBoxRulesAndReloadQuestion();
    void openDialogRemembersItsFolder();
    void exportToUnwritablePathIsRefused();
    void exportDialogSuggestsTheModelNameAndAddsTheSuffix();
    void copyAllCopiesModelNodesOnly();
    void openRecentKeepsTheNewestTen();

private:
    std::unique_ptr<RecordingTracker> m_recording;
    std::unique_ptr<MainWindowController> m_controller;
    MenuManager* m_menu = nullptr;
    QTemporaryDir m_dir;
};

void WindowTest::initTestCase() { initVelmoraResources(); }

void WindowTest::init()
{
    m_recording = std::make_unique<RecordingTracker>();
    m_controller = std::make_unique<MainWindowController>(nullptr);
    m_menu = m_controller->menuManager();
    // As the program does.
    m_controller->mainWindow()->show();
    m_controller->mainWindow()->resize(1000, 600);
    QVERIFY(QTest::qWaitForWindowExposed(m_controller->mainWindow()));
}

void WindowTest::cleanup()
{
    ModalDialogCloser::cancelAll();
    m_controller.reset();
    m_recording.reset();
    UserSettings& settings = UserSettings::instance();
    settings.setAnimationGroupingRoot();
    settings.setBackfaceCullingOff();
    settings.setShowImportInfo(true);
}

void WindowTest::windowStartsInItsStartState()
{
    MainWindow* window = m_controller->mainWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("Velmora 3D Encoder"));
    QVERIFY(!window->toolBarController()->exportAction()->isEnabled());
    QVERIFY(!m_menu->exportAction()->isEnabled());
    QCOMPARE(window->statusBarController()->statisticsLabel()->text(),
             QStringLiteral("To get started drag a supported 3D file onto the canvas"));
    QVERIFY(!m_controller->loadingIndicator()->view()->isVisible());
    QCOMPARE(m_controller->mainViewController()->mainSplitter()->sizes().at(2), 0); // animation pane collapsed

    // Reset Camera reaches the viewport once it renders (the viewport records it).
    MainViewController* view = m_controller->mainViewController();
    QTRY_VERIFY(view->viewport()->isRenderingEnabled());
    m_recording->calls.clear();
    window->toolBarController()->toolBar()->actions().at(3)->trigger();
    QCOMPARE(m_recording->calls, QStringList {"event:usage/toolbar/reset_cam/1"});

    // Fresh settings: group on root nodes, culling off, info box not silenced.
    QVERIFY(m_menu->groupingRootAction()->isChecked() && !m_menu->groupingNoneAction()->isChecked());
    QVERIFY(m_menu->cullingOffAction()->isChecked() && !m_menu->cullingCwAction()->isChecked());
    QVERIFY(!m_menu->importInfoCheckBox()->isChecked());

    // The logging window opened by itself: the check mark follows, nothing
    // is emitted, and the next click hides it.
    QSignalSpy shown(m_menu, &MenuManager::showLoggingWindow);
    m_menu->userDidChangedLoggingWindowVisibility(true);
    m_menu->showLoggingWindowAction()->trigger();
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toBool(), false);
}

void WindowTest::windowFollowsTheModelLifeCycle()
{
    MainViewController* view = m_controller->mainViewController();
    view->addItemToAnimations(QStringLiteral("walk"));
    QVERIFY(view->mainSplitter()->sizes().at(2) > 0);

    const QString path = writeFile(m_dir.filePath("crate.fbx"), QByteArray(1536, 'v'));
    m_controller->modelWillLoad(path);
    QCOMPARE(m_recording->calls, QStringList {"event:model/open_ext/fbx/1"});
    QCOMPARE(view->mainSplitter()->sizes().at(2), 0);
    LoadingIndicatorView* indicator = m_controller->loadingIndicator()->view();
    m_controller->newModelLoaded(path);
    QCOMPARE(m_controller->mainWindow()->windowTitle(), QStringLiteral("Velmora 3D Encoder - crate.fbx"));
    QVERIFY(m_menu->exportAction()->isEnabled());
    // Statistics carry the loaded file's size.
    m_controller->mainViewController()->sceneLoaded(nullptr, 1234, 5);
    QCOMPARE(m_controller->mainWindow()->statusBarController()->statisticsLabel()->text(),
             QStringLiteral("<font color='Black'>Vertices: 1234 - Meshes: 5 - File size: 1.5 kB</font>"));

    // A new open takes export away at once; when it fails, the previous
    // model's name leaves the title too (its workspace is gone).
    QString seen;
    answerNextBox(&seen);
    m_controller->modelWillLoad(QStringLiteral("/models/next.vm3"));
    m_controller->modelManager()->importModel(QStringLiteral("/models/next.vm3"));
    QVERIFY(seen.startsWith(QStringLiteral("Ooops")));
    QVERIFY(!indicator->isVisible());
    QVERIFY(!m_menu->exportAction()->isEnabled());
    QVERIFY(!m_controller->mainWindow()->toolBarController()->exportAction()->isEnabled());
    QCOMPARE(m_controller->mainWindow()->windowTitle(), QStringLiteral("Velmora 3D Encoder"));
}

void WindowTest::exportStatusTimingsAndStaleTimers()
{
    StatusBarController* statusBar = m_controller->mainWindow()->statusBarController();
    QLabel* message = statusBar->messageLabel();
    m_controller->modelExportStarted(QString(), QStringLiteral("/out/ship.vm3"));
    QCOMPARE(message->text(), QStringLiteral("Exporting 3D model to: ship.vm3"));

    // The result shows 100 ms after the export finished, for three seconds
    // (lower bounds 5 % below: coarse timers may fire that much early).
    QElapsedTimer clock;
    clock.start();
    m_controller->modelExported(QStringLiteral("/out/ship.vm3"));
    QTRY_COMPARE_WITH_TIMEOUT(message->text(), QStringLiteral("Exported to: ship.vm3"), 30000);
    QVERIFY2(clock.elapsed() >= 95, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(statusBar->progressBar()->maximum(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(message->text(), QString(18, ' '), 30000);
    QVERIFY2(clock.elapsed() >= 2945, qPrintable(QString::number(clock.elapsed())));

    // The first export's clearing time passes while a second one runs.
    m_controller->modelExported(QStringLiteral("/out/first.vm3"));
    QTRY_COMPARE_WITH_TIMEOUT(message->text(), QStringLiteral("Exported to: first.vm3"), 30000);
    m_controller->modelExportStarted(QString(), QStringLiteral("/out/second.vm3"));
    QTest::qWait(3300);
    QCOMPARE(message->text(), QStringLiteral("Exporting 3D model to: second.vm3"));
    QCOMPARE(statusBar->progressBar()->maximum(), 0);
    // A result still waiting for its 100 ms never replaces a newer progress.
    m_controller->modelExported(QStringLiteral("/out/second.vm3"));
    m_controller->modelExportStarted(QString(), QStringLiteral("/out/third.vm3"));
    QTest::qWait(300);
    QCOMPARE(message->text(), QStringLiteral("Exporting 3D model to: third.vm3"));
}

void WindowTest::radioGroupsKeepExactlyOneCheckAndStoreTheChoice()
{
    UserSettings::instance().setShowImportInfo(false);
    const QList<QAction*> all
        = {m_menu->groupingNoneAction(),   m_menu->groupingRootAction(), m_menu->groupingTakeAction(),
           m_menu->cullingOffAction(),     m_menu->cullingCcwAction(),   m_menu->cullingCwAction(),
           m_menu->cullingMaterialAction()};
    const QStringList stored = {"none", "root", "take", "off", "ccw", "cw", "material"};
    for (int entry : {0, 2, 4, 6, 3}) {
        // The groups are kept by hand: triggering a checked entry unchecks it
        // first, and the slot must check it again.
        all[entry]->trigger();
        all[entry]->trigger();
        int checked = 0;
        for (QAction* action : all)
            checked += action->isChecked() ? 1 : 0;
        QVERIFY(all[entry]->isChecked());
        QCOMPARE(checked, 2);
        // Written through at once: a fresh read of the store sees the choice.
        UserSettings fresh;
        QCOMPARE(entry < 3 ? fresh.animationGrouping() : fresh.backfaceCulling(), stored[entry]);
    }
}

void WindowTest::infoBoxRulesAndReloadQuestion()
{
    const QString info
        = QStringLiteral("Changes on animation grouping will take effect only after the next opening of a 3D model.");
    const QString reloadText = QStringLiteral("Reload the 3D model?");
    QSignalSpy reload(m_menu, &MenuManager::reopen3dModel);
    // Without a model: only the information box, never the question.
    QCOMPARE(answerBoxes([this] { m_menu->groupingTakeAction()->trigger(); }, QMessageBox::Yes), QStringList {info});
    QCOMPARE(answerBoxes([this] { m_menu->cullingCwAction()->trigger(); }, QMessageBox::Yes), QStringList {info});
    QCOMPARE(reload.count(), 0);

    // With a model: the information box first, then the question.
    m_controller->sceneImportSuccessful(nullptr, 1, 1);
    QCOMPARE(answerBoxes([this] { m_menu->groupingNoneAction()->trigger(); }, QMessageBox::Yes),
             (QStringList {info, reloadText}));
    QCOMPARE(reload.count(), 1);
    QCOMPARE(answerBoxes([this] { m_menu->cullingCcwAction()->trigger(); }, QMessageBox::No),
             (QStringList {info, reloadText}));
    QCOMPARE(reload.count(), 1);

    // Ticking "Do not show this message anymore" silences the box, for good.
    ModalDialogCloser::answerNext([](QWidget* widget) {
        QMessageBox* box = qobject_cast<QMessageBox*>(widget);
        box->checkBox()->setChecked(true);
        ModalDialogCloser::answerNext([](QWidget* question) { ModalDialogCloser::dismiss(question); }, box);
        box->button(QMessageBox::Ok)->click();
    });
    m_menu->groupingRootAction()->trigger();
    ModalDialogCloser::cancelAll();
    QVERIFY(!UserSettings().showImportInfo());
    QCOMPARE(answerBoxes([this] { m_menu->groupingTakeAction()->trigger(); }, QMessageBox::No),
             QStringList {reloadText});

    // Reset brings it back, with the check box cleared.
    m_menu->resetInfoAction()->trigger();
    QVERIFY(UserSettings().showImportInfo());
    QVERIFY(!m_menu->importInfoCheckBox()->isChecked());
    QCOMPARE(answerBoxes([this] { m_menu->cullingOffAction()->trigger(); }, QMessageBox::No).size(), 2);
}

void WindowTest::openDialogRemembersItsFolder()
{
    const QString model = writeFile(m_dir.filePath("models/a.fbx"));
    const QString folder = QFileInfo(model).absolutePath();
    QSignalSpy opened(m_menu, &MenuManager::open3dModel);
    QString start, failure;
    answerFileDialog(model, &start, &failure);
    m_controller->mainWindow()->toolBarController()->openAction()->trigger();
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opened.at(0).at(0).toString(), model);
    // The tool bar button opens the menu's dialog; the window controller hears of it too.
    QCOMPARE(m_controller->loadingIndicator()->view()->messageLabel()->text(), QStringLiteral("Opening file: a.fbx"));
    QCOMPARE(UserSettings().lastImportPath(), folder);
    // No encoder beside this test program: the import fails and says so.
    QTRY_VERIFY_WITH_TIMEOUT(!failure.isEmpty(), ModalDialogCloser::waitMs);

    // The next dialog starts there; cancelling it changes nothing.
    answerFileDialog(QString(), &start);
    m_menu->openMenuClicked();
    QCOMPARE(start, folder);
    QCOMPARE(opened.count(), 1);
    QCOMPARE(UserSettings().lastImportPath(), folder);
}

void WindowTest::openRecentKeepsTheNewestTen()
{
    QMenu* recent = m_controller->mainWindow()->findChild<QMenu*>(QStringLiteral("recentFilesMenu"));
    QVERIFY(recent);
    const auto entries = [recent] {
        emit recent->aboutToShow();
        QStringList texts;
        for (QAction* action : recent->actions()) {
            if (!action->isSeparator() && action->objectName() != QLatin1String("clearRecentFilesAction"))
                texts << QFileInfo(action->text()).fileName() + (action->isEnabled() ? "" : " (gone)");
        }
        return texts;
    };
    QStringList expected;
    // Every road of opening a model passes here; eleven files, then the fourth again.
    for (int i = 0; i <= 10; ++i)
        m_controller->modelWillLoad(writeFile(m_dir.filePath(QString("recent/f%1.fbx").arg(i))));
    m_controller->modelWillLoad(m_dir.filePath("recent/f3.fbx"));
    expected = QStringList {"f3.fbx", "f10.fbx", "f9.fbx", "f8.fbx", "f7.fbx",
                            "f6.fbx", "f5.fbx",  "f4.fbx", "f2.fbx", "f1.fbx"};
    QCOMPARE(entries(), expected);

    QVERIFY(QFile::remove(m_dir.filePath("recent/f5.fbx")));
    expected[6] = "f5.fbx (gone)";
    QCOMPARE(entries(), expected);
    // What the next run reads.
    QCOMPARE(UserSettings().recentFiles().size(), 10);
    QCOMPARE(UserSettings().recentFiles().first(), m_dir.filePath("recent/f3.fbx"));

    QAction* clear = recent->actions().last();
    QVERIFY(clear->objectName() == QLatin1String("clearRecentFilesAction") && clear->isEnabled());
    clear->trigger();
    QCOMPARE(entries(), QStringList());
    QVERIFY(UserSettings().recentFiles().isEmpty());
}

void WindowTest::exportToUnwritablePathIsRefused()
{
    QSignalSpy exporting(m_menu, &MenuManager::exportToFile);
    // A "folder" that is really a file cannot hold the export, whoever runs the test.
    const QString target = writeFile(m_dir.filePath("plain-file")) + QStringLiteral("/model.vm3");
    QString seen;
    answerNextBox(&seen);
    m_menu->exportToChosenFile(target);
    QCOMPARE(seen, QStringLiteral("You don't have permissions to export to the selected directory|") + target);
    QCOMPARE(exporting.count(), 0);
    QVERIFY(!QFile::exists(target));
}

void WindowTest::exportDialogSuggestsTheModelNameAndAddsTheSuffix()
{
    QSignalSpy exporting(m_menu, &MenuManager::exportToFile);
    m_menu->setExportName(QStringLiteral("/models/Ship hull.fbx"));
    QString suggested;
    ModalDialogCloser::answerNext([&](QWidget* widget) {
        QLineEdit* edit = widget->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        suggested = edit->text();
        edit->setText(m_dir.filePath("ship"));
        static_cast<QDialog*>(widget)->accept();
    });
    m_menu->exportMenuClicked();
    QCOMPARE(suggested, QStringLiteral("Ship hull.vm3"));
    // A name without a suffix, from the dialog or not, gets ".vm3": it could not be opened again.
    m_menu->exportToChosenFile(m_dir.filePath("boat"));
    QCOMPARE(exporting.count(), 2);
    QCOMPARE(exporting.at(0).at(1).toString(), m_dir.filePath("ship.vm3"));
    QCOMPARE(exporting.at(1).at(1).toString(), m_dir.filePath("boat.vm3"));
}

void WindowTest::copyAllCopiesModelNodesOnly()
{
    // group > {wheel_L, group > wheel_R[1]}, lamp
    QStandardItemModel model;
    QStandardItem* group = new QStandardItem("group");
    group->appendRows({new QStandardItem("wheel_L"), new QStandardItem("group")});
    group->child(1)->appendRow(new QStandardItem("wheel_R[1]"));
    model.appendRow(group);
    model.appendRow(new QStandardItem("lamp"));
    QTreeView tree;
    tree.setModel(&model);
    tree.setSelectionMode(QAbstractItemView::ExtendedSelection);
    const auto isModel = [](const QString& text) { return text.startsWith(QLatin1String("wheel")); };
    // The selected lamp is no model node, so it is not copied.
    tree.selectionModel()->select(model.index(1, 0), QItemSelectionModel::Select);
    QCOMPARE(SceneTreeSelection::selectAllModelNodes(&tree, isModel), 2);
    QCOMPARE(SceneTreeSelection::copySelectedModelNodes(&tree, isModel), 2);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("wheel_L\nwheel_R[1]"));

    // Through the main window's keys: copying only non-model nodes leaves the
    // clipboard alone, and select-all starts from an empty selection.
    MainViewController* view = m_controller->mainViewController();
    QStandardItemModel* sceneModel = new QStandardItemModel(view->sceneTree());
    sceneModel->appendRow(new QStandardItem("node"));
    view->updateSceneGraphView(sceneModel);
    view->sceneTree()->selectAll();
    QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    QGuiApplication::clipboard()->setText(QStringLiteral("copied elsewhere"));
    QVERIFY(view->eventFilter(m_controller->mainWindow(), &copy));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("copied elsewhere"));
    QKeyEvent selectAll(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(view->eventFilter(view->sceneTree(), &selectAll));
    QVERIFY(!view->sceneTree()->selectionModel()->hasSelection());
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"

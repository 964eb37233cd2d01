// The menus: their entries, the radio groups kept in step with the user
// settings, the information box and reload question rules, the open and
// export dialogs, the logging window entry and the web links.

#include "BuildConfig.h"
#include "LoadingIndicatorView.h"
#include "LoadingIndicatorViewController.h"
#include "MainWindow.h"
#include "MainWindowController.h"
#include "MenuManager.h"
#include "ModalDialogCloser.h"
#include "RecordingTracker.h"
#include "UserSettings.h"
#include "VelmoraResources.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

struct MenuEntry {
    QString text;
    QKeySequence shortcut;
    QString statusTip;
    bool checkable;
};

// Texts of a menu's entries in order; separators as "-", sub-menus as ">title".
QStringList entryTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            texts << QStringLiteral("-");
        else if (action->menu())
            texts << QStringLiteral(">") + action->text();
        else
            texts << action->text();
    }
    return texts;
}

QMenu* subMenu(QMenu* menu, const QString& title)
{
    for (QAction* action : menu->actions())
        if (action->menu() && action->text() == title)
            return action->menu();
    return nullptr;
}

QString writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(content);
    return path;
}

// Types the path into the dialog's file name field. selectFile() leaves the
// field alone while it has the keyboard focus, so it cannot be relied on.
bool typeFileName(QFileDialog* dialog, const QString& path)
{
    QLineEdit* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!edit)
        return false;
    edit->setText(path);
    return true;
}

void chooseFile(QFileDialog* dialog, const QString& path)
{
    if (typeFileName(dialog, path))
        static_cast<QDialog*>(dialog)->accept();
    else
        static_cast<QDialog*>(dialog)->reject();
}

// Records the URLs that would have gone to the system's web browser.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// Runs `trigger` and answers every modal box it shows with `button`,
// returning the texts of the boxes in the order they appeared.
QStringList answerBoxes(const std::function<void()>& trigger, QMessageBox::StandardButton button,
                        QList<QMessageBox*>* seen = nullptr)
{
    QStringList texts;
    std::function<void(QWidget*)> answer;
    answer = [&texts, &answer, button, seen](QWidget* widget) {
        QMessageBox* box = qobject_cast<QMessageBox*>(widget);
        if (!box) {
            widget->close();
            return;
        }
        texts << box->text();
        if (seen)
            *seen << box;
        // Be ready for a box that follows this one.
        ModalDialogCloser::answerNext(answer, box);
        if (QAbstractButton* chosen = box->button(button))
            chosen->click();
        else
            box->button(QMessageBox::Ok)->click();
    };
    ModalDialogCloser::answerNext(answer);
    trigger();
    ModalDialogCloser::cancelAll();
    return texts;
}

} // namespace

class MenuTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void freshSettingsCheckRootGroupingAndCullingOff();
    void menusListTheirEntriesInOrder();
    void entriesHaveTheirShortcutsAndTips();
    void radioGroupsKeepExactlyOneCheckAndStoreTheChoice_data();
    void radioGroupsKeepExactlyOneCheckAndStoreTheChoice();
    void infoBoxWithoutModelNeverAsksToReload();
    void infoBoxCheckBoxSilencesAndResetBringsItBack();
    void reloadQuestionOnlyWithALoadedModel();
    void openDialogStartsAtLastFolderAndRemembersTheNewOne();
    void cancelledOpenDialogDoesNothing();
    void exportDialogKeepsAnExistingTargetIntact();
    void exportToUnwritablePathLeavesNothingBehind();
    void loggingWindowEntryFollowsTheWindow();
    void plainEntriesEmitTheirSignals();
    void webLinksGoToTheBrowser();
    void quitClosesTheWindow();

private:
    std::unique_ptr<ScopedRecordingTracker> m_recording;
    std::unique_ptr<MainWindowController> m_controller;
    MenuManager* m_menu = nullptr;
    QTemporaryDir m_dir;
};

void MenuTest::initTestCase()
{
    initVelmoraResources();
    QVERIFY(m_dir.isValid());
}

void MenuTest::init()
{
    m_recording = std::make_unique<ScopedRecordingTracker>();
    m_controller = std::make_unique<MainWindowController>(nullptr);
    m_menu = m_controller->menuManager();
    m_controller->mainWindow()->show();
}

void MenuTest::cleanup()
{
    ModalDialogCloser::cancelAll();
    m_controller.reset();
    m_recording.reset();
    UserSettings& settings = UserSettings::instance();
    settings.setAnimationGroupingRoot();
    settings.setBackfaceCullingOff();
    settings.setShowImportInfo(true);
}

void MenuTest::freshSettingsCheckRootGroupingAndCullingOff()
{
    // Runs first, before any test stored a value.
    QVERIFY(m_menu->groupingRootAction()->isChecked());
    QVERIFY(!m_menu->groupingNoneAction()->isChecked());
    QVERIFY(!m_menu->groupingTakeAction()->isChecked());
    QVERIFY(m_menu->cullingOffAction()->isChecked());
    QVERIFY(!m_menu->cullingCcwAction()->isChecked());
    QVERIFY(!m_menu->cullingCwAction()->isChecked());
    QVERIFY(!m_menu->cullingMaterialAction()->isChecked());
    QVERIFY(!m_menu->importInfoCheckBox()->isChecked());

    QString startFolder;
    ModalDialogCloser::answerNext([&startFolder](QWidget* dialog) {
        startFolder = static_cast<QFileDialog*>(dialog)->directory().absolutePath();
        static_cast<QDialog*>(dialog)->reject();
    });
    m_menu->openMenuClicked();
    QCOMPARE(startFolder, QDir::homePath());
}

void MenuTest::menusListTheirEntriesInOrder()
{
    QCOMPARE(entryTexts(m_menu->fileMenu()), (QStringList{"&Open fbx/vm3...", "&Export to vm3...", "&Quit"}));
    QCOMPARE(entryTexts(m_menu->modelMenu()),
             (QStringList{"Copy Nodes List", ">Animation Grouping", ">Backface Culling"}));
    QCOMPARE(entryTexts(subMenu(m_menu->modelMenu(), "Animation Grouping")),
             (QStringList{"No grouping", "Group on root nodes", "Group on takes"}));
    QCOMPARE(entryTexts(subMenu(m_menu->modelMenu(), "Backface Culling")),
             (QStringList{"Off", "On (CCW)", "On (CW)", "Material"}));
    QCOMPARE(entryTexts(m_menu->windowMenu()), QStringList{"&Show Logging Window"});
    QCOMPARE(entryTexts(m_menu->helpMenu()),
             (QStringList{"&About", "-", "Reset dialog info settings", "&Preferences", "&Check for updates", "-",
                          "Velmora 3D Encoder Help", "&Feedback", "-", "&System Info"}));
    QCOMPARE(m_menu->fileMenu()->title(), QStringLiteral("&File"));
    QCOMPARE(m_menu->modelMenu()->title(), QStringLiteral("&Model"));
    QCOMPARE(m_menu->windowMenu()->title(), QStringLiteral("&Window"));
    QCOMPARE(m_menu->helpMenu()->title(), QStringLiteral("&Help"));
    // The two radio groups are kept by hand, not by an action group.
    QVERIFY(!m_menu->groupingRootAction()->actionGroup());
    QVERIFY(!m_menu->cullingOffAction()->actionGroup());
}

void MenuTest::entriesHaveTheirShortcutsAndTips()
{
    QCOMPARE(m_menu->openAction()->shortcuts(), QKeySequence::keyBindings(QKeySequence::Open));
    QCOMPARE(m_menu->openAction()->statusTip(), QStringLiteral("Open ac existing 3d-Model in fbx- or vm3 format"));
    QCOMPARE(m_menu->exportAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+E")));
    QCOMPARE(m_menu->exportAction()->statusTip(), QStringLiteral("Export the current model to vm3 format"));
    QCOMPARE(m_menu->quitAction()->shortcuts(), QKeySequence::keyBindings(QKeySequence::Quit));
    QCOMPARE(m_menu->quitAction()->statusTip(), QStringLiteral("Quit Application"));
    QCOMPARE(m_menu->showLoggingWindowAction()->statusTip(), QStringLiteral("Open the logging window"));
    QVERIFY(m_menu->showLoggingWindowAction()->isCheckable());
    const QList<QAction*> help = m_menu->helpMenu()->actions();
    QCOMPARE(help.at(4)->menuRole(), QAction::ApplicationSpecificRole);
}

void MenuTest::radioGroupsKeepExactlyOneCheckAndStoreTheChoice_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<QString>("culling");
    QTest::newRow("no grouping") << 0 << "none" << "off";
    QTest::newRow("group on root nodes") << 1 << "root" << "off";
    QTest::newRow("group on takes") << 2 << "take" << "off";
    QTest::newRow("culling off") << 3 << "root" << "off";
    QTest::newRow("culling ccw") << 4 << "root" << "ccw";
    QTest::newRow("culling cw") << 5 << "root" << "cw";
    QTest::newRow("culling material") << 6 << "root" << "material";
}

void MenuTest::radioGroupsKeepExactlyOneCheckAndStoreTheChoice()
{
    QFETCH(int, entry);
    QFETCH(QString, grouping);
    QFETCH(QString, culling);
    UserSettings::instance().setShowImportInfo(false);
    const QList<QAction*> groupingActions = {m_menu->groupingNoneAction(), m_menu->groupingRootAction(),
                                             m_menu->groupingTakeAction()};
    const QList<QAction*> cullingActions = {m_menu->cullingOffAction(), m_menu->cullingCcwAction(),
                                            m_menu->cullingCwAction(), m_menu->cullingMaterialAction()};
    const QList<QAction*> all = groupingActions + cullingActions;

    // Start away from the chosen value so that the entry has to change it.
    m_menu->groupingTakeAction()->trigger();
    m_menu->cullingMaterialAction()->trigger();
    if (entry == 2)
        m_menu->groupingNoneAction()->trigger();
    if (entry == 6)
        m_menu->cullingOffAction()->trigger();

    // Triggering a checked entry of a hand-kept radio group unchecks it first;
    // the slot must check it again.
    all.at(entry)->trigger();
    if (entry < 3)
        m_menu->cullingOffAction()->trigger();
    else
        m_menu->groupingRootAction()->trigger();

    auto checkedCount = [](const QList<QAction*>& actions) {
        int count = 0;
        for (QAction* action : actions)
            count += action->isChecked() ? 1 : 0;
        return count;
    };
    QCOMPARE(checkedCount(groupingActions), 1);
    QCOMPARE(checkedCount(cullingActions), 1);
    QVERIFY(all.at(entry)->isChecked());
    // Pressing the checked entry again keeps it checked.
    all.at(entry)->trigger();
    QVERIFY(all.at(entry)->isChecked());

    QCOMPARE(UserSettings::instance().animationGrouping(), grouping);
    QCOMPARE(UserSettings::instance().backfaceCulling(), culling);
    // Written through at once: a fresh read of the store sees the choice.
    UserSettings fresh;
    QCOMPARE(fresh.animationGrouping(), grouping);
    QCOMPARE(fresh.backfaceCulling(), culling);
}

void MenuTest::infoBoxWithoutModelNeverAsksToReload()
{
    QSignalSpy reload(m_menu, &MenuManager::reopen3dModel);
    QList<QMessageBox*> boxes;
    const QStringList texts =
        answerBoxes([this] { m_menu->groupingTakeAction()->trigger(); }, QMessageBox::Yes, &boxes);
    QCOMPARE(texts, QStringList{"Changes on animation grouping will take effect only after the next opening of a "
                                "3D model."});
    QCOMPARE(boxes.first(), m_menu->importInfoBox());
    QCOMPARE(boxes.first()->icon(), QMessageBox::Information);
    QCOMPARE(boxes.first()->windowTitle(), QString());
    QCOMPARE(boxes.first()->checkBox(), m_menu->importInfoCheckBox());
    QCOMPARE(m_menu->importInfoCheckBox()->text(), QStringLiteral("Do not show this message anymore"));
    QCOMPARE(UserSettings::instance().animationGrouping(), QStringLiteral("take"));
    QCOMPARE(reload.count(), 0);

    // Culling changes show the same box.
    const QStringList culling = answerBoxes([this] { m_menu->cullingCwAction()->trigger(); }, QMessageBox::Ok);
    QCOMPARE(culling, texts);
}

void MenuTest::infoBoxCheckBoxSilencesAndResetBringsItBack()
{
    // Tick "Do not show this message anymore" and close the box.
    ModalDialogCloser::answerNext([](QWidget* widget) {
        QMessageBox* box = qobject_cast<QMessageBox*>(widget);
        box->checkBox()->setChecked(true);
        box->button(QMessageBox::Ok)->click();
    });
    m_menu->groupingNoneAction()->trigger();
    QVERIFY(!UserSettings::instance().showImportInfo());
    QVERIFY(!UserSettings().showImportInfo());

    // Later changes show nothing.
    QStringList texts = answerBoxes([this] { m_menu->groupingTakeAction()->trigger(); }, QMessageBox::Ok);
    QCOMPARE(texts, QStringList());
    QCOMPARE(UserSettings::instance().animationGrouping(), QStringLiteral("take"));

    // Reset brings the box back, with the check box cleared.
    m_menu->resetInfoAction()->trigger();
    QVERIFY(UserSettings::instance().showImportInfo());
    QVERIFY(!m_menu->importInfoCheckBox()->isChecked());
    texts = answerBoxes([this] { m_menu->cullingCcwAction()->trigger(); }, QMessageBox::Ok);
    QCOMPARE(texts.size(), 1);

    // The check box's own states: only unchecked means "show".
    m_menu->showImportInfoStateChanged(Qt::PartiallyChecked);
    QVERIFY(!UserSettings::instance().showImportInfo());
    m_menu->showImportInfoStateChanged(Qt::Unchecked);
    QVERIFY(UserSettings::instance().showImportInfo());

    // A new menu reads the stored switch for its check box.
    UserSettings::instance().setShowImportInfo(false);
    MainWindowController second(nullptr);
    QVERIFY(second.menuManager()->importInfoCheckBox()->isChecked());
}

void MenuTest::reloadQuestionOnlyWithALoadedModel()
{
    UserSettings::instance().setShowImportInfo(false);
    m_controller->sceneImportSuccessful(nullptr, 1, 1);
    QSignalSpy reload(m_menu, &MenuManager::reopen3dModel);

    QList<QMessageBox*> boxes;
    QStringList texts = answerBoxes(
        [this] { m_menu->cullingCwAction()->trigger(); }, QMessageBox::No, &boxes);
    QCOMPARE(texts, QStringList{"Reload the 3D model?"});
    QCOMPARE(reload.count(), 0);

    boxes.clear();
    texts = answerBoxes([this] { m_menu->groupingNoneAction()->trigger(); }, QMessageBox::Yes, &boxes);
    QCOMPARE(texts, QStringList{"Reload the 3D model?"});
    QCOMPARE(reload.count(), 1);

    // With the information box on, it comes first, then the question.
    UserSettings::instance().setShowImportInfo(true);
    texts = answerBoxes([this] { m_menu->cullingMaterialAction()->trigger(); }, QMessageBox::Yes);
    QCOMPARE(texts.size(), 2);
    QCOMPARE(texts.at(1), QStringLiteral("Reload the 3D model?"));
    QCOMPARE(reload.count(), 2);

    // The question's own look: no icon, no title, Yes and No with Yes as default.
    QMessageBox::Icon icon = QMessageBox::Warning;
    QString title = QStringLiteral("x");
    bool yesIsDefault = false;
    QMessageBox::StandardButtons buttons;
    UserSettings::instance().setShowImportInfo(false);
    ModalDialogCloser::answerNext([&](QWidget* widget) {
        QMessageBox* box = qobject_cast<QMessageBox*>(widget);
        icon = box->icon();
        title = box->windowTitle();
        buttons = box->standardButtons();
        yesIsDefault = static_cast<QAbstractButton*>(box->defaultButton()) == box->button(QMessageBox::Yes);
        box->button(QMessageBox::No)->click();
    });
    m_menu->groupingRootAction()->trigger();
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(title, QString());
    QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(yesIsDefault);
}

void MenuTest::openDialogStartsAtLastFolderAndRemembersTheNewOne()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("models"));
    const QString model = writeFile(m_dir.filePath(QStringLiteral("models/a.fbx")), "fbx");
    QSignalSpy opened(m_menu, &MenuManager::open3dModel);

    QString filter;
    ModalDialogCloser::answerNext([&](QWidget* widget) {
        QFileDialog* dialog = static_cast<QFileDialog*>(widget);
        filter = dialog->nameFilters().join(QLatin1Char(';'));
        chooseFile(dialog, model);
    });
    m_menu->openAction()->trigger();
    QCOMPARE(filter, QStringLiteral("3d-Model Files (*.fbx *.vm3)"));
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opened.at(0).at(0).toString(), model);
    // The window controller hears of it too and starts the loading indicator.
    QCOMPARE(m_recording->tracker.calls, QStringList{"event:model/open_ext/fbx/1"});
    QVERIFY(m_controller->loadingIndicator()->view()->isVisible());
    QCOMPARE(m_controller->loadingIndicator()->view()->messageLabel()->text(), QStringLiteral("Opening file: a.fbx"));
    const QString folder = QFileInfo(model).absolutePath();
    QCOMPARE(UserSettings::instance().lastImportPath(), folder);
    QCOMPARE(UserSettings().lastImportPath(), folder);

    // The next dialog starts there.
    QString startFolder;
    ModalDialogCloser::answerNext([&startFolder](QWidget* dialog) {
        startFolder = static_cast<QFileDialog*>(dialog)->directory().absolutePath();
        static_cast<QDialog*>(dialog)->reject();
    });
    m_menu->openMenuClicked();
    QCOMPARE(startFolder, folder);
}

void MenuTest::cancelledOpenDialogDoesNothing()
{
    UserSettings::instance().setLastImportPath(m_dir.filePath(QStringLiteral("before.fbx")));
    QSignalSpy opened(m_menu, &MenuManager::open3dModel);
    ModalDialogCloser::answerNext([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    m_menu->openMenuClicked();
    QCOMPARE(opened.count(), 0);
    QCOMPARE(UserSettings::instance().lastImportPath(), QDir(m_dir.path()).absolutePath());
}

void MenuTest::exportDialogKeepsAnExistingTargetIntact()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("out"));
    const QString target = writeFile(m_dir.filePath(QStringLiteral("out/old.vm3")), "previous export");
    m_controller->sceneImportSuccessful(nullptr, 1, 1);
    QSignalSpy exporting(m_menu, &MenuManager::exportToFile);
    QSignalSpy refused(m_menu, &MenuManager::exportToDirectoryNotAllowed);

    QString caption;
    ModalDialogCloser::answerNext([&](QWidget* widget) {
        QFileDialog* dialog = static_cast<QFileDialog*>(widget);
        caption = dialog->windowTitle();
        // The dialog asks before replacing an existing file: yes.
        ModalDialogCloser::answerNext(
            [](QWidget* confirm) {
                if (QMessageBox* box = qobject_cast<QMessageBox*>(confirm))
                    box->button(QMessageBox::Yes)->click();
            },
            dialog);
        chooseFile(dialog, target);
    });
    m_menu->exportAction()->trigger();
    QCOMPARE(caption, QStringLiteral("Export to vm3"));
    QCOMPARE(refused.count(), 0);
    QCOMPARE(exporting.count(), 1);
    QCOMPARE(exporting.at(0).at(0).toString(), MenuManager::exportSourceFolder());
    QCOMPARE(exporting.at(0).at(1).toString(), target);
    // The old file stays whole until a finished export replaces it.
    QFile kept(target);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("previous export"));
    QCOMPARE(UserSettings::instance().lastExportPath(), QFileInfo(target).absolutePath());
    QCOMPARE(UserSettings().lastExportPath(), QFileInfo(target).absolutePath());
}

void MenuTest::exportToUnwritablePathLeavesNothingBehind()
{
    UserSettings::instance().setLastExportPath(m_dir.filePath(QStringLiteral("keep.vm3")));
    QSignalSpy exporting(m_menu, &MenuManager::exportToFile);
    QSignalSpy refused(m_menu, &MenuManager::exportToDirectoryNotAllowed);

    // A "folder" that is really a file cannot hold the export, whoever runs the test.
    const QString notAFolder = writeFile(m_dir.filePath(QStringLiteral("plain-file")), "x");
    const QString target = notAFolder + QStringLiteral("/model.vm3");
    // The refusal reaches the user as the permission box, with the full path.
    QList<QMessageBox*> boxes;
    const QStringList texts =
        answerBoxes([&] { m_menu->exportToChosenFile(target); }, QMessageBox::Ok, &boxes);
    QCOMPARE(texts, QStringList{"You don't have permissions to export to the selected directory"});
    QCOMPARE(boxes.first()->detailedText(), target);
    QCOMPARE(exporting.count(), 0);
    QCOMPARE(refused.count(), 1);
    QCOMPARE(refused.at(0).at(0).toString(), target);
    QVERIFY(!QFile::exists(target));
    QCOMPARE(UserSettings::instance().lastExportPath(), QDir(m_dir.path()).absolutePath());

    // A write-protected folder, where permissions apply to the test's user.
    const QString locked = m_dir.filePath(QStringLiteral("locked"));
    QDir(m_dir.path()).mkpath(QStringLiteral("locked"));
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QFile probe(locked + QStringLiteral("/probe"));
    const bool permissionsApply = !probe.open(QIODevice::WriteOnly);
    probe.remove();
    if (permissionsApply) {
        answerBoxes([&] { m_menu->exportToChosenFile(locked + QStringLiteral("/model.vm3")); }, QMessageBox::Ok);
        QCOMPARE(refused.count(), 2);
        QCOMPARE(refused.at(1).at(0).toString(), locked + QStringLiteral("/model.vm3"));
        QVERIFY(QDir(locked).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(exporting.count(), 0);
}

void MenuTest::loggingWindowEntryFollowsTheWindow()
{
    QAction* entry = m_menu->showLoggingWindowAction();
    QSignalSpy shown(m_menu, &MenuManager::showLoggingWindow);
    entry->trigger();
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.last().at(0).toBool(), true);
    QVERIFY(entry->isChecked());
    entry->trigger();
    QCOMPARE(shown.last().at(0).toBool(), false);
    QVERIFY(!entry->isChecked());

    // The window opened by itself: the check mark follows, nothing is emitted.
    m_menu->userDidChangedLoggingWindowVisibility(true);
    QVERIFY(entry->isChecked());
    QCOMPARE(shown.count(), 2);
    // The next click therefore hides it.
    entry->trigger();
    QCOMPARE(shown.last().at(0).toBool(), false);
    QVERIFY(!entry->isChecked());
}

void MenuTest::plainEntriesEmitTheirSignals()
{
    QSignalSpy about(m_menu, &MenuManager::showAboutWindow);
    QSignalSpy preferences(m_menu, &MenuManager::showPreferencesWindow);
    QSignalSpy systemInfo(m_menu, &MenuManager::showSystemInfoWindow);
    QSignalSpy updates(m_menu, &MenuManager::startAppUpdateCheck);
    QSignalSpy copyNodes(m_menu, &MenuManager::copyAllModelNodes);
    for (QAction* action : m_menu->helpMenu()->actions())
        if (action->text() == "&About" || action->text() == "&Preferences" || action->text() == "&System Info"
            || action->text() == "&Check for updates")
            action->trigger();
    m_menu->modelMenu()->actions().first()->trigger();
    QCOMPARE(about.count(), 1);
    QCOMPARE(preferences.count(), 1);
    QCOMPARE(systemInfo.count(), 1);
    QCOMPARE(updates.count(), 1);
    QCOMPARE(copyNodes.count(), 1);
}

void MenuTest::webLinksGoToTheBrowser()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
    for (QAction* action : m_menu->helpMenu()->actions())
        if (action->text() == "Velmora 3D Encoder Help" || action->text() == "&Feedback")
            action->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));

    QCOMPARE(recorder.urls.size(), 2);
    QCOMPARE(recorder.urls.at(0).toString(), QStringLiteral(VELMORA_WEB_HOST "/documentation"));
    QCOMPARE(recorder.urls.at(1).toString(),
             QStringLiteral(VELMORA_WEB_HOST "/feedback?entry.630292085=Windows+7&entry.1104052333=59"));
    QCOMPARE(recorder.urls.at(1).query(QUrl::FullyEncoded),
             QStringLiteral("entry.630292085=Windows+7&entry.1104052333=59"));
}

void MenuTest::quitClosesTheWindow()
{
    QSignalSpy closing(m_controller->mainWindow(), &MainWindow::windowWillClose);
    m_menu->quitAction()->trigger();
    QCOMPARE(closing.count(), 1);
    QVERIFY(!m_controller->mainWindow()->isVisible());
}

QTEST_MAIN(MenuTest)
#include "tst_menus.moc"

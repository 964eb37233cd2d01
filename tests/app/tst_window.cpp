// The main window and its menus: the start state, the export status timings,
// the radio groups kept in step with the user settings, the information box and
// reload question, the recent files, and the export dialog.

#include "AppTestSupport.h"
#include "GlItem.h"
#include "ToolBarController.h"
#include "WebLink.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QUrlQuery>

#include <memory>

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initVelmoraResources(); }
    void init()
    {
        m_recording = std::make_unique<RecordingTracker>();
        m_controller
            = std::make_unique<MainWindowController>(nullptr, AppServices {m_settings, *m_recording}, m_workspaces);
        // As the program does.
        m_controller->mainWindow()->show();
        m_controller->mainWindow()->resize(1000, 600);
        QVERIFY(QTest::qWaitForWindowExposed(m_controller->mainWindow()));
    }
    void cleanup()
    {
        ModalDialogCloser::cancelAll();
        m_controller.reset();
        m_recording.reset();
        m_settings.setAnimationGroupingRoot();
        m_settings.setBackfaceCullingOff();
        m_settings.setShowImportInfo(true);
    }

    void windowStartsInItsStartState()
    {
        // Nothing to export before a model is in.
        QVERIFY(!m_controller->mainWindow()->toolBarController()->exportAction()->isEnabled());
        QVERIFY(!entry("exportAction")->isEnabled());

        // The logging window opened by itself for an error: the check mark
        // follows, and the next click hides it.
        m_controller->forwardViewerLogs({{LoggingPriorities::Error, 1002, "Broken mesh", "text"}});
        QWidget* log = findInWindow(*m_controller, "loggingWindow");
        QVERIFY(log->isVisible() && entry("showLoggingWindowAction")->isChecked());
        entry("showLoggingWindowAction")->trigger();
        QVERIFY(!log->isVisible() && !entry("showLoggingWindowAction")->isChecked());

        // The viewport's usage reaches the tracker through the window.
        QTRY_VERIFY(findInWindow<GlItem>(*m_controller, "viewport")->isRenderingEnabled());
        emit m_controller->mainWindow()->toolBarController()->resetCameraSignal();
        QVERIFY(m_recording->calls.contains("event:usage/toolbar/reset_cam/1"));
    }
    void exportStatusTimingsAndStaleTimers()
    {
        StatusBarController* statusBar = m_controller->mainWindow()->statusBarController();
        QLabel* message = statusBar->messageLabel();
        // The first export's result is cleared three seconds after it
        // showed; that time passes while a second export runs.
        m_controller->modelExported(QStringLiteral("/out/first.vm3"));
        QTRY_COMPARE_WITH_TIMEOUT(message->text(), QStringLiteral("Exported to: first.vm3"), 30000);
        QCOMPARE(statusBar->progressBar()->maximum(), 1);
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
    void radioGroupsKeepExactlyOneCheckAndStoreTheChoice()
    {
        m_settings.setShowImportInfo(false);
        const QList<QAction*> all
            = {entry("groupingNoneAction"),   entry("groupingRootAction"), entry("groupingTakeAction"),
               entry("cullingOffAction"),     entry("cullingCcwAction"),   entry("cullingCwAction"),
               entry("cullingMaterialAction")};
        const QStringList stored = {"none", "root", "take", "off", "ccw", "cw", "material"};
        for (int index : {0, 2, 4, 6, 3}) {
            // The groups are kept by hand: triggering a checked entry unchecks it
            // first, and the slot must check it again.
            all[index]->trigger();
            all[index]->trigger();
            int checked = 0;
            for (QAction* action : all)
                checked += action->isChecked() ? 1 : 0;
            QVERIFY(all[index]->isChecked());
            QCOMPARE(checked, 2);
            // Written through at once: a fresh read of the store sees the choice.
            UserSettings fresh;
            QCOMPARE(index < 3 ? fresh.animationGrouping() : fresh.backfaceCulling(), stored[index]);
        }
    }
    void infoBoxRulesAndReloadQuestion()
    {
        const QString info = QStringLiteral(
            "Changes on animation grouping will take effect only after the next opening of a 3D model.");
        const QString reloadText = QStringLiteral("Reload the 3D model?");
        // Without a model: only the information box, never the question.
        QCOMPARE(answerBoxes([this] { entry("groupingTakeAction")->trigger(); }, QMessageBox::Yes), QStringList {info});

        // With a model: the information box first, then the question.
        m_controller->sceneImportSuccessful(nullptr, 1, 1);
        QCOMPARE(answerBoxes([this] { entry("groupingNoneAction")->trigger(); }, QMessageBox::Yes),
                 (QStringList {info, reloadText}));

        // Ticking "Do not show this message anymore" silences the box, for good.
        ModalDialogCloser::answerNext([](QWidget* widget) {
            QMessageBox* box = qobject_cast<QMessageBox*>(widget);
            box->checkBox()->setChecked(true);
            ModalDialogCloser::answerNext([](QWidget* question) { ModalDialogCloser::dismiss(question); }, box);
            box->button(QMessageBox::Ok)->click();
        });
        entry("groupingRootAction")->trigger();
        ModalDialogCloser::cancelAll();
        QVERIFY(!UserSettings().showImportInfo());
        QCOMPARE(answerBoxes([this] { entry("groupingTakeAction")->trigger(); }, QMessageBox::No),
                 QStringList {reloadText});

        // Resetting brings the box back, unticked, and says so.
        entry("resetInfoAction")->trigger();
        QTRY_VERIFY(
            m_controller->mainWindow()->statusBarController()->messageLabel()->text().contains("will show again"));
        QCOMPARE(answerBoxes([this] { entry("groupingRootAction")->trigger(); }, QMessageBox::No),
                 (QStringList {info, reloadText}));
    }
    void webLinksOfABuildWithoutAHost()
    {
        // Nothing answers at the reserved host the default build uses: such
        // entries are disabled and say why.
        for (QAction* link : {entry("helpAction"), entry("feedbackAction")}) {
            const bool reachable = WebLink::isReachable(
                link == entry("helpAction") ? MenuManager::documentationUrl() : MenuManager::feedbackUrl(QString()));
            QCOMPARE(link->isEnabled(), reachable);
            QCOMPARE(link->toolTip() == WebLink::unreachableHint(), !reachable);
        }
        const QUrlQuery form(MenuManager::feedbackUrl("Debian GNU/Linux 12 (bookworm) & more"));
        QCOMPARE(form.queryItemValue("entry.630292085", QUrl::FullyDecoded),
                 QStringLiteral("Debian GNU/Linux 12 (bookworm) & more"));
    }
    void exportRefusesUnwritablePathsAndAddsTheSuffix()
    {
        m_controller->newModelLoaded(QStringLiteral("/models/Ship hull.fbx")); // export is on
        QLabel* message = m_controller->mainWindow()->statusBarController()->messageLabel();
        // A "folder" that is really a file cannot hold the export, whoever runs the test.
        const QString target = writeFile(m_dir.filePath("plain-file")) + QStringLiteral("/model.vm3");
        QString seen;
        chooseThroughMenu(entry("exportAction"), target, &seen);
        QCOMPARE(seen, QStringLiteral("You don't have permissions to export to the selected directory|") + target);
        QVERIFY(!QFile::exists(target) && !message->text().startsWith("Exporting"));

        // The dialog suggests the model's name; a name without a suffix gets ".vm3": it could not be opened
        // again. Nothing lies in the workspace, so the export itself fails and says so.
        QString suggested;
        seen.clear();
        ModalDialogCloser::answerNext([&](QWidget* widget) {
            QLineEdit* edit = widget->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            suggested = edit->text();
            edit->setText(m_dir.filePath("ship"));
            static_cast<QDialog*>(widget)->accept();
            answerNextBox(&seen, widget);
        });
        entry("exportAction")->trigger();
        QCOMPARE(suggested, QStringLiteral("Ship hull.vm3"));
        QCOMPARE(message->text(), QStringLiteral("Exporting 3D model to: ship.vm3"));
        QTRY_VERIFY_WITH_TIMEOUT(seen.contains(QDir::toNativeSeparators(m_dir.filePath("ship.vm3"))),
                                 ModalDialogCloser::kWaitMs);
    }
    void commandLinePathsThatCannotOpenSayWhy_data()
    {
        QTest::addColumn<QString>("name"); // below the test folder; a trailing "/" makes a folder
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing.fbx"
                                 << "does not exist";
        QTest::newRow("folder") << "folder.fbx/"
                                << "is a folder, not a model file";
        QTest::newRow("text") << "notes.txt"
                              << "cannot be opened. Supported are: ";
    }
    void commandLinePathsThatCannotOpenSayWhy()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath(name);
        if (name.endsWith('/'))
            QVERIFY(QDir().mkpath(path));
        else if (!name.startsWith("missing"))
            QVERIFY(!writeFile(path).isEmpty());
        QString seen;
        answerNextBox(&seen);
        m_controller->openCommandLineModel({"Velmora3dEncoder", QDir::cleanPath(path)});
        QVERIFY2(seen.startsWith("Ooops, there was a problem loading your scene.|") && seen.contains(reason)
                     && seen.contains(QDir::toNativeSeparators(QDir::cleanPath(path))),
                 qPrintable(seen));
        QVERIFY(!m_controller->mainWindow()->findChild<LoadingIndicatorView*>()->isVisible());
    }
    void openRecentKeepsTheNewestTen()
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
        // Every road of opening a model passes here; a file is listed once it
        // is drawn. Eleven files, then the fourth again.
        const auto openAndDraw = [this](const QString& path) {
            m_controller->modelWillLoad(path);
            m_controller->sceneImportSuccessful(nullptr, 818, 3);
        };
        for (int i = 0; i <= 10; ++i)
            openAndDraw(writeFile(m_dir.filePath(QString("recent/f%1.fbx").arg(i))));
        openAndDraw(m_dir.filePath("recent/f3.fbx"));
        QStringList expected {"f3.fbx", "f10.fbx", "f9.fbx", "f8.fbx", "f7.fbx",
                              "f6.fbx", "f5.fbx",  "f4.fbx", "f2.fbx", "f1.fbx"};
        QCOMPARE(entries(), expected);

        // A file that fails, in the converter or in the viewer, is not listed,
        // and the last model, which stays on screen, keeps its counts.
        QLabel* statistics = m_controller->mainWindow()->statusBarController()->statisticsLabel();
        m_controller->setSceneStatistics(818, 3);
        const QString shown = statistics->text();
        m_controller->modelWillLoad(writeFile(m_dir.filePath("recent/broken.fbx")));
        m_controller->errorLoadingNewModel("broken.fbx");
        QCOMPARE(statistics->text(), shown);
        m_controller->modelWillLoad(m_dir.filePath("recent/broken.fbx"));
        m_controller->sceneImportFailed("damaged");
        m_controller->sceneImportSuccessful(nullptr, 1, 1); // a late report of the earlier model
        QCOMPARE(statistics->text(), shown);
        QCOMPARE(entries(), expected);

        QVERIFY(QFile::remove(m_dir.filePath("recent/f5.fbx")));
        expected[6] = "f5.fbx (gone)";
        QCOMPARE(entries(), expected);

        QAction* clear = recent->actions().last();
        QVERIFY(clear->objectName() == QLatin1String("clearRecentFilesAction") && clear->isEnabled());
        clear->trigger();
        QCOMPARE(entries(), QStringList());
        QVERIFY(UserSettings().recentFiles().isEmpty());
    }

    void toolWindowsCloseWithEscapeOrTheirButton_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("escape");
        for (const char* window : {"aboutWindow", "preferencesWindow", "systemInfoWindow"}) {
            QTest::addRow("%s, Escape", window) << window << true;
            QTest::addRow("%s, Close", window) << window << false;
        }
        QTest::newRow("log, Escape") << "loggingWindow" << true;
    }
    void toolWindowsCloseWithEscapeOrTheirButton()
    {
        QFETCH(QString, window);
        QFETCH(bool, escape);
        for (const char* name : {"aboutAction", "preferencesAction", "systemInfoAction", "showLoggingWindowAction"})
            entry(name)->trigger();
        QWidget* shown = nullptr;
        for (QWidget* widget : QApplication::allWidgets())
            shown = widget->objectName() == window && widget->isVisible() ? widget : shown;
        QVERIFY(shown);
        if (escape)
            QTest::keyClick(shown, Qt::Key_Escape);
        for (QAbstractButton* button : shown->findChildren<QAbstractButton*>()) {
            if (!escape && button->text().remove('&') == "Close")
                button->click();
        }
        QTRY_VERIFY(!shown->isVisible());
    }
    // Size, place and maximized state as the window closed come back at the next start.
    void windowGeometrySurvivesARestart_data()
    {
        QTest::addColumn<bool>("maximized");
        QTest::newRow("normal") << false;
        QTest::newRow("maximized") << true;
    }
    void windowGeometrySurvivesARestart()
    {
        QFETCH(bool, maximized);
        QMainWindow* window = m_controller->mainWindow();
        window->resize(1111, 666);
        window->setWindowState(maximized ? Qt::WindowMaximized : Qt::WindowNoState);
        window->close();
        m_controller
            = std::make_unique<MainWindowController>(nullptr, AppServices {m_settings, *m_recording}, m_workspaces);
        m_controller->showAtStart();
        QCOMPARE(m_controller->mainWindow()->isMaximized(), maximized);
        QCOMPARE(m_controller->mainWindow()->normalGeometry().size(), QSize(1111, 666));
    }

private:
    UserSettings m_settings;
    QAction* entry(const char* name) const { return menuAction(m_controller->mainWindow(), name); }

    std::unique_ptr<RecordingTracker> m_recording;
    WorkspaceService m_workspaces;
    std::unique_ptr<MainWindowController> m_controller;
    QTemporaryDir m_dir;
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"

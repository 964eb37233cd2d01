// The window and the model pipeline together: every way of opening a model
// reaches the model manager after its workspace is named; results come back as
// title, export switch, loading indicator, log records, dialogs and status bar
// texts. A stand-in encoder converts; the last cases run the real encoder
// (a window that follows saves of its model) and the real program.

#include "AnimationTimeline.h"
#include "AppTestSupport.h"
#include "Camera.h"
#include "ConvertFilesDialog.h"
#include "GlItem.h"
#include "Node.h"
#include "PipelineTestSupport.h"
#include "Scene.h"
#include "SourceWatcher.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileOpenEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QThreadPool>
#include <QTreeView>

#include <csignal>
#include <signal.h>

#include <memory>

const int kLoadTimeoutMs = 60000;

class ModelFlowTest : public QObject {
    Q_OBJECT

    // A window whose workspaces find the encoder and shaders below applicationParent.
    void openWindow(const QString& applicationParent)
    {
        m_loaded.reset();
        m_controller.reset();
        if (m_service)
            m_service->deleteCurrentWorkspace();
        m_service = std::make_unique<WorkspaceService>(m_temp.path(), applicationParent);
        m_controller = std::make_unique<MainWindowController>(qobject_cast<WEApplication*>(qApp),
                                                              AppServices {m_settings, *m_recording}, *m_service);
        m_loaded = std::make_unique<QSignalSpy>(viewport(), &GlItem::sceneLoaded);
        m_controller->mainWindow()->show();
    }

private slots:
    void initTestCase() { initVelmoraResources(); }
    void init()
    {
        QVERIFY(FakeEncoder::install(m_applicationParent.path(), FakeEncoder::Behaviour::Normal,
                                     m_files.filePath("calls")));
        m_recording = std::make_unique<RecordingTracker>();
        // The application's own service would look for the encoder beside the
        // test program; this one finds the stand-in.
        openWindow(m_applicationParent.path());
    }
    void cleanup()
    {
        ModalDialogCloser::cancelAll();
        m_loaded.reset();
        m_controller.reset();
        // A loader of this test must not report into the next one (bounded, so
        // a stuck loader fails the next test instead of hanging this one).
        QThreadPool::globalInstance()->waitForDone(60000);
        m_recording.reset();
        m_service->deleteCurrentWorkspace();
        m_service.reset();
    }

    void everyWayOfOpeningNamesTheWorkspaceFirst()
    {
        // Named after the digest, which is taken off the window's thread, before the import starts and
        // export goes off. What holds then is taken then: a quick import may end within the same wait.
        QAction* exportEntry = entry("exportAction");
        QString hashWhenExportOff;
        connect(exportEntry, &QAction::changed, this,
                [&] { hashWhenExportOff = exportEntry->isEnabled() ? hashWhenExportOff : m_service->modelHash(); });
        const QString model = writeFile(m_files.filePath("menu/x.fbx"), "menu model");
        QVERIFY(open(model));
        QVERIFY(exportEntry->isEnabled());
        // The encoder wrote into this file's workspace; its warning and error
        // reached the log beside the viewer's one record about the model; the
        // main view holds the new scene graph.
        QCOMPARE(testsupport::readFile(m_service->modelFile()), FakeEncoder::bundleBytesFor(model));
        QPointer<QAbstractItemModel> first = sceneTree()->model();
        QVERIFY(first);

        // A file-open event replaces the model, its scene graph and log records.
        const QString dropped = writeFile(m_files.filePath("event/Dropped.Fbx"), "event model");
        QFileOpenEvent event(dropped);
        QCoreApplication::sendEvent(qApp, &event);
        // The workspace export read from is gone: no export until the new model is in.
        const QByteArray digest = QCryptographicHash::hash(testsupport::readFile(dropped), QCryptographicHash::Md5);
        QTRY_COMPARE(hashWhenExportOff, QString::fromLatin1(digest.toHex()));
        QVERIFY(loads(2));
        QCOMPARE(m_controller->mainWindow()->windowTitle(), QStringLiteral("Velmora 3D Encoder - Dropped.Fbx"));
        QTRY_VERIFY(first.isNull());
        QCOMPARE(testsupport::readFile(m_service->modelFile()), FakeEncoder::bundleBytesFor(dropped));

        // A reload imports again into the same workspace, with the options
        // chosen meanwhile, and is no new open for the tracker.
        const QString workspace = m_service->workspaceRoot();
        QFile::remove(m_service->modelFile());
        m_settings.setAnimationGroupingTake();
        m_settings.setBackfaceCullingCW();
        QVERIFY(answerBoxes([&] { entry("cullingCwAction")->trigger(); }, QMessageBox::Yes)
                    .contains("Reload the 3D model?"));
        m_settings.setAnimationGroupingRoot();
        m_settings.setBackfaceCullingOff();
        QVERIFY(loads(3));
        QCOMPARE(testsupport::readFile(m_files.filePath("calls/args.txt")).split('\n').mid(0, 2),
                 (QList<QByteArray> {"-group:take", "-cull:cw"}));
        QCOMPARE(m_service->workspaceRoot(), workspace);
        QCOMPARE(testsupport::readFile(m_service->modelFile()), FakeEncoder::bundleBytesFor(dropped));
        QCOMPARE(m_recording->calls.filter(QStringLiteral("open_ext")).size(), 2);
    }
    void failedOpensShowTheirBoxes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("entries"); // "name=content" of a container; none: the bytes "no zip"
        QTest::addColumn<int>("encoder");
        QTest::addColumn<QString>("box"); // "text|details", compared up to its length
        const int normal = int(FakeEncoder::Behaviour::Normal);
        const QString ooops = "Ooops, there was a problem loading your scene.|";
        QTest::newRow("damaged") << "damaged.vm3" << QStringList() << normal
                                 << ooops + "The file damaged.vm3 is damaged";
        QTest::newRow("no version file") << "old.vm3" << QStringList {"model/model.gpb=GPB"} << normal
                                         << "The imported .vm3 file is too old to be opened";
        QTest::newRow("too new")
            << "new.vm3" << QStringList {"model/model.gpb=GPB", "model/version={\"encoderversion\":\"9\",\"format\":5}"}
            << normal << "VM3 file format version not supported. Please update your Application Velmora3dEncoder|";
        QTest::newRow("encoder fails") << "fails.fbx" << QStringList() << int(FakeEncoder::Behaviour::FailWithoutModel)
                                       << ooops + "The file " + m_files.filePath("failed/fails.fbx")
                + " could not be converted.\n\nerror GP#1002 [Cannot read] the file is not an FBX file\n";
    }
    void failedOpensShowTheirBoxes()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, entries);
        QFETCH(int, encoder);
        QFETCH(QString, box);
        QVERIFY(open(writeFile(m_files.filePath("failed/good.fbx"), "good model")));
        const QPointer<QAbstractItemModel> shown = sceneTree()->model();

        const QString path = m_files.filePath("failed/" + file);
        ZipFixture::Entries zipped;
        for (const QString& entry : entries)
            zipped.append({entry.section('=', 0, 0), entry.section('=', 1).toUtf8()});
        QVERIFY(zipped.isEmpty() ? !writeFile(path, "no zip").isEmpty() : ZipFixture::write(path, zipped));
        QVERIFY(FakeEncoder::install(m_applicationParent.path(), FakeEncoder::Behaviour(encoder),
                                     m_files.filePath("calls")));
        QString seen;
        chooseThroughMenu(entry("openAction"), path, &seen);
        QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty(), ModalDialogCloser::kWaitMs);
        QVERIFY2(seen.startsWith(box), qPrintable(seen));
        QTRY_VERIFY(!m_controller->mainWindow()->findChild<LoadingIndicatorView*>()->isVisible());
        QVERIFY(!entry("exportAction")->isEnabled());
        // The good model stays, with its name; the log waits behind the box.
        QCOMPARE(m_controller->mainWindow()->windowTitle(), QStringLiteral("Velmora 3D Encoder - good.fbx"));
        QVERIFY(shown && sceneTree()->model() == shown);
        QVERIFY(!entry("showLoggingWindowAction")->isChecked());
        QCOMPARE(m_loaded->count(), 1);
    }
    void exportRoundTripAndFailedExport()
    {
        const QString model = writeFile(m_files.filePath("export/ship.fbx"), "ship model");
        QVERIFY(open(model));
        const QString target = writeFile(m_files.filePath("export/ship.vm3"), "previous export");
        QLabel* message = m_controller->mainWindow()->statusBarController()->messageLabel();
        chooseThroughMenu(entry("exportAction"), target);
        QTRY_COMPARE_WITH_TIMEOUT(message->text(), QStringLiteral("Exported to: ship.vm3"), kLoadTimeoutMs);
        // What we wrote, we can open again.
        QVERIFY(open(target, 2));
        QCOMPARE(testsupport::readFile(m_service->modelFile()), FakeEncoder::bundleBytesFor(model));

        // The model folder vanishes after the target was found writable, so the
        // export itself fails: the user is told, the old file stays whole and
        // nothing half-written is left beside it.
        const QString boat = writeFile(m_files.filePath("export/out/boat.vm3"), "previous export");
        QVERIFY(WorkspaceService::removeDirectoryRecursively(m_service->modelFolder()));
        QString seen;
        chooseThroughMenu(entry("exportAction"), boat, &seen);
        QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty(), ModalDialogCloser::kWaitMs);
        QVERIFY2(seen.contains("could not be exported") && seen.contains(QDir::toNativeSeparators(boat))
                     && !seen.endsWith('|'),
                 qPrintable(seen));
        QTRY_COMPARE(message->text(), QStringLiteral("Export failed: boat.vm3"));
        QCOMPARE(testsupport::readFile(boat), QByteArray("previous export"));
        QCOMPARE(QDir(QFileInfo(boat).path()).entryList(QDir::Files | QDir::Hidden), QStringList {"boat.vm3"});
    }
    void closingDuringAConversionStopsItAndLeavesNoWorkspace()
    {
        QVERIFY(
            FakeEncoder::install(m_applicationParent.path(), FakeEncoder::Behaviour::Slow, m_files.filePath("calls")));
        const QString started = m_files.filePath("calls/args.txt");
        QFile::remove(started);
        chooseThroughMenu(entry("openAction"), writeFile(m_files.filePath("slow/s.fbx"), "slow model"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(started), 30000);
        const QString workspace = m_service->workspaceRoot();
        QVERIFY(m_controller->mainWindow()->close());
        QElapsedTimer clock;
        clock.start();
        m_loaded.reset();
        m_controller.reset();
        // The stand-in would take twenty seconds; it was stopped instead, and
        // what the loader had prepared is gone.
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!QFileInfo::exists(workspace));
    }
    void reloadFollowsSavesOfTheModel()
    {
        const QString shared = qEnvironmentVariable("VELMORA_SHARED_MODELS") + "/generated/a_skinned_two_takes.fbx";
        if (!QFileInfo::exists(shared))
            QSKIP("shared model missing");
        // The real encoder and shaders, and a file of our own to save again.
        openWindow(qEnvironmentVariable("VELMORA_BUILD_DIR"));
        const QString source = m_files.filePath("reload/model.fbx");
        QVERIFY(QDir().mkpath(m_files.filePath("reload")) && QFile::copy(shared, source));
        QTreeView* tree = sceneTree();
        QSignalSpy scenes(viewport(), &GlItem::sceneLoaded);
        QSignalSpy clips(viewport(), &GlItem::addItemToAnimations);
        QSignalSpy playing(viewport(), &GlItem::animationStartedPlaying);
        QVERIFY(open(source));
        QTRY_COMPARE_WITH_TIMEOUT(scenes.count(), 1, kLoadTimeoutMs);
        engine::Scene* scene = scenes.first().at(0).value<engine::Scene*>();
        engine::Node* camera = scene->getActiveCamera()->getNode();
        camera->setTranslation(1.5f, 2.5f, 40.0f); // where the user left it
        // A node chosen in the tree and a clip that plays.
        const QModelIndex top = tree->model()->index(0, 0);
        QVERIFY(tree->model()->rowCount(top) > 0);
        tree->setCurrentIndex(tree->model()->index(0, 0, top));
        const auto selected = [tree] {
            return QVariantList {tree->currentIndex().parent().data(), tree->currentIndex().data()};
        };
        const QVariantList before = selected();
        QVERIFY(clips.count() > 1);
        QString clip = clips.last().at(0).toString();
        QVERIFY(viewport()->playAnimation(clip));
        QTRY_VERIFY(!playing.isEmpty());
        playing.clear();
        AnimationTimeline* timeline = m_controller->mainWindow()->findChild<AnimationTimeline*>();
        timeline->loopBox()->setChecked(true);

        QTest::qWait(20); // a later modification time
        QVERIFY(testsupport::writeFile(source, testsupport::readFile(shared)));
        QVERIFY(loads(2));
        QTRY_COMPARE_WITH_TIMEOUT(scenes.count(), 2, kLoadTimeoutMs);
        QCOMPARE(scene->getActiveCamera()->getNode()->getTranslation().z, 40.0f);
        QCOMPARE(scene->getActiveCamera()->getNode()->getTranslation().x, 1.5f);
        QCOMPARE(selected(), before);
        QTRY_VERIFY(!playing.isEmpty());
        QCOMPARE(playing.last().at(0).toString(), clip);
        QVERIFY(timeline->clip() == clip && timeline->loopBox()->isChecked());
        QLabel* message = m_controller->mainWindow()->statusBarController()->messageLabel();
        QTRY_VERIFY_WITH_TIMEOUT(message->text().startsWith("Reloaded model.fbx at "), 10000);

        // A save that cannot be converted keeps the last good model on screen.
        QVERIFY(testsupport::writeFile(source, QByteArray("Kaydara FBX Binary  \0 cut short", 31)));
        QTRY_VERIFY_WITH_TIMEOUT(message->text().startsWith("Reloading model.fbx failed"), kLoadTimeoutMs);
        QCOMPARE(scenes.count(), 2);
        QVERIFY(scene->findNode("RootSceneNode"));
        QTRY_VERIFY(entry("showLoggingWindowAction")->isChecked()); // the log is open

        // Saved as another model: its box is not the old one's, and Home frames it.
        const QString other
            = qEnvironmentVariable("VELMORA_SHARED_MODELS") + "/ufbx/data/blender_279_sausage_7400_binary.fbx";
        std::function<engine::Node*(engine::Node*)> drawn = [&](engine::Node* node) -> engine::Node* {
            for (engine::Node* child = node->getFirstChild(); child && !node->getDrawable();
                 child = child->getNextSibling()) {
                if (engine::Node* found = drawn(child))
                    return found;
            }
            return node->getDrawable() ? node : nullptr;
        };
        viewport()->setSelectedObject(drawn(scene->findNode("RootSceneNode")));
        engine::Node* box = scene->findNode("SelectionNode");
        QVERIFY(!box->getScale().isZero());
        viewport()->resetCamera();
        const engine::Vector3 home = scene->getActiveCamera()->getNode()->getTranslation();
        QVERIFY(QFileInfo::exists(other) && testsupport::writeFile(source, testsupport::readFile(other)));
        QTRY_COMPARE_WITH_TIMEOUT(scenes.count(), 3, kLoadTimeoutMs);
        QVERIFY(box->getScale().isZero());
        viewport()->resetCamera();
        QVERIFY(scene->getActiveCamera()->getNode()->getTranslation() != home);
        clip = clips.last().at(0).toString();

        // A file that cannot be opened leaves the model drawn; one box says why.
        const QImage picture = viewport()->grabFramebuffer();
        QString seen;
        chooseThroughMenu(entry("openAction"), writeFile(m_files.filePath("reload/broken.fbx"), "no model"), &seen);
        QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty(), ModalDialogCloser::kWaitMs);
        QVERIFY(viewport()->grabFramebuffer() == picture);

        // Closed with the model drawn, a clip playing and the log open: the
        // views, the viewport's engine objects and the controllers go in an
        // order that holds (the sanitizer build sees what does not crash).
        viewport()->stopAnimation(clip); // whether or not it has run to its end
        playing.clear();
        QVERIFY(viewport()->setAnimationLooping(clip, true) && viewport()->playAnimation(clip));
        QTRY_VERIFY(!playing.isEmpty() && playing.last().at(0).toString() == clip);
        const QString workspace = m_service->workspaceRoot();
        QVERIFY(m_controller->mainWindow()->close());
        m_loaded.reset();
        m_controller.reset();
        QVERIFY(!QFileInfo::exists(workspace));
    }
    void failedReloadKeepsTheLastModel_data()
    {
        QTest::addColumn<int>("encoder");
        QTest::newRow("the save cannot be converted") << int(FakeEncoder::Behaviour::FailWithoutModel);
        QTest::newRow("the viewer cannot read what was converted") << int(FakeEncoder::Behaviour::UnreadableModel);
    }
    void failedReloadKeepsTheLastModel()
    {
        QFETCH(int, encoder);
        QTreeView* tree = sceneTree();
        QSignalSpy scenes(viewport(), &GlItem::sceneLoaded);
        const QString source = writeFile(m_files.filePath("kept/model.fbx"), "good model");
        QVERIFY(open(source));
        QCOMPARE(scenes.count(), 1);
        engine::Scene* scene = scenes.first().at(0).value<engine::Scene*>();
        engine::Node* shown = scene->findNode("RootSceneNode");
        const int rows = tree->model()->rowCount();
        QVERIFY(shown && rows > 0);
        StatusBarController* statusBar = m_controller->mainWindow()->statusBarController();
        const QString statistics = statusBar->statisticsLabel()->text();

        QVERIFY(FakeEncoder::install(m_applicationParent.path(), FakeEncoder::Behaviour(encoder),
                                     m_files.filePath("calls")));
        QString box;
        answerNextBox(&box);
        QTest::qWait(20); // a later modification time
        QVERIFY(!writeFile(source, "half-saved model").isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(statusBar->messageLabel()->text().startsWith("Reloading model.fbx failed"),
                                 kLoadTimeoutMs);
        QCOMPARE(scene->findNode("RootSceneNode"), shown);
        QCOMPARE(tree->model()->rowCount(), rows);
        QCOMPARE(statusBar->statisticsLabel()->text(), statistics);
        QVERIFY(entry("showLoggingWindowAction")->isChecked());
        QVERIFY(!entry("exportAction")->isEnabled());
        QCOMPARE(box, QString());
    }
    void sourceWatcherReportsSettledSaves_data()
    {
        QTest::addColumn<QString>("save");
        QTest::addColumn<int>("reports");
        QTest::newRow("rewritten in place") << "rewrite" << 1;
        QTest::newRow("replaced by a rename") << "rename" << 1;
        QTest::newRow("written in bursts") << "bursts" << 1;
        QTest::newRow("texture beside it") << "texture" << 1;
        QTest::newRow("unrelated file beside it") << "unrelated" << 0;
    }
    void sourceWatcherReportsSettledSaves()
    {
        QFETCH(QString, save);
        QFETCH(int, reports);
        const QString folder = m_files.filePath("watched");
        QDir(folder).removeRecursively();
        const QString model = folder + "/model.obj";
        QVERIFY(testsupport::writeFile(model, "v 0 0 0\n") && testsupport::writeFile(folder + "/tex/a.png", "png"));
        SourceWatcher watcher;
        watcher.setSettleInterval(200);
        QSignalSpy changed(&watcher, &SourceWatcher::sourceChanged);
        watcher.watch(model);
        QTest::qWait(20); // a later modification time
        if (save == "rewrite") {
            QVERIFY(testsupport::writeFile(model, "v 1 0 0\n"));
        } else if (save == "rename") {
            QVERIFY(testsupport::writeFile(model + ".tmp", "v 2 0 0\n")
                    && ::rename(qPrintable(model + ".tmp"), qPrintable(model)) == 0);
        } else if (save == "bursts") {
            QFile file(model);
            QVERIFY(file.open(QIODevice::Append));
            for (int i = 0; i < 5; ++i) {
                file.write("v 0 0 1\n");
                file.flush();
                QTest::qWait(100); // less than the settle interval
            }
        } else {
            QVERIFY(testsupport::writeFile(folder + (save == "texture" ? "/tex/a.png" : "/notes.txt"), "changed"));
        }
        QTest::qWait(1500);
        QCOMPARE(changed.count(), reports);
        // Still watched after a save that replaced the file.
        QVERIFY(testsupport::writeFile(model, "v 3 0 0 0\n"));
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), reports + 1, 5000);
    }
    // Rows come as files finish: the slowest model's conversion is held
    // (stopped) while the others are listed, failures first with their first error.
    void convertFilesDialogListsFailuresFirst()
    {
        const QString models = qEnvironmentVariable("VELMORA_SHARED_MODELS");
        const QStringList inputs
            = {models + "/assimp/test/models/PLY/cube_uv.ply", models + "/assimp/test/models/FBX/transparentTest.fbx",
               models + "/generated/e_highpoly_200k.fbx"};
        for (const QString& input : inputs) {
            if (!QFileInfo::exists(input))
                QSKIP("shared model missing");
        }
        ConvertFilesDialog dialog(qEnvironmentVariable("VELMORA_BUILD_DIR") + "/bin/Velmora3dEncoder");
        QSignalSpy finished(&dialog, &ConvertFilesDialog::finished);
        dialog.addInputs(inputs);
        dialog.setOutputFolder(m_files.filePath("converted"));
        dialog.findChild<QPushButton*>("convertButton")->click();
        QVERIFY(!dialog.findChild<QPushButton*>("convertButton")->isEnabled());
        const QByteArray slowOutput = QFile::encodeName(m_files.filePath("converted/e_highpoly_200k.vm3")) + '\0';
        int slow = 0;
        const auto resume = qScopeGuard([&] { // also when a check fails
            if (slow > 0)
                ::kill(slow, SIGCONT);
        });
        const auto findSlow = [&] {
            for (const QString& pid : QDir("/proc").entryList(QDir::Dirs))
                slow = testsupport::readFile("/proc/" + pid + "/cmdline").contains(slowOutput) ? pid.toInt() : slow;
            return slow > 0 && ::kill(slow, SIGSTOP) == 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(findSlow(), kLoadTimeoutMs);
        auto* table = dialog.findChild<QTableWidget*>("resultsTable");
        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 2, kLoadTimeoutMs);
        QVERIFY(finished.isEmpty());
        QVERIFY(dialog.findChild<QLabel*>("stateLabel")->text().startsWith("2 of 3 files done, 1 failed"));
        QCOMPARE(table->item(0, 1)->text(), QString("failed"));
        QVERIFY(table->item(0, 0)->text().endsWith("transparentTest.fbx"));
        QVERIFY(table->item(0, 4)->text().startsWith("Damaged FBX header: The file"));
        QCOMPARE(table->item(1, 1)->text(), QString("converted"));
        ::kill(slow, SIGCONT);
        QVERIFY(finished.wait(kLoadTimeoutMs));
        QCOMPARE(table->rowCount(), 3);
        QVERIFY(QFileInfo::exists(m_files.filePath("converted/cube_uv.vm3")));
        QCOMPARE(dialog.findChild<QProgressBar*>("progressBar")->value(), 1);
        // Again: the converted files are up to date and claim no warnings.
        dialog.findChild<QPushButton*>("convertButton")->click();
        QVERIFY(finished.wait(kLoadTimeoutMs));
        QCOMPARE(QStringList({table->item(1, 1)->text(), table->item(1, 2)->text()}), QStringList({"skipped", ""}));
    }
    void programConvertsWithoutADisplay_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("--convert") << "--convert" << 0;
        QTest::newRow("mistyped, a usage error") << "--covnert" << 1;
    }
    void programConvertsWithoutADisplay()
    {
        QFETCH(QString, mode);
        QFETCH(int, exitCode);
        const QString build = qEnvironmentVariable("VELMORA_BUILD_DIR");
        QVERIFY2(QFileInfo(build + "/tools/linux/model-encoder").isExecutable(), "the model encoder is not built");
        // Run the way scripts on a build machine would: no display at all.
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        program.setProcessEnvironment(environment);
        const QString output = m_files.filePath("sample.vm3");
        QFile::remove(output);
        program.start(build + "/bin/Velmora3dEncoder",
                      {mode, QStringLiteral(VELMORA_SOURCE_DIR "/samples/velmora-sample.fbx"), output});
        QVERIFY(program.waitForFinished(280000) && program.exitStatus() == QProcess::NormalExit);
        const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(program.exitCode() == exitCode, qPrintable(errors));
        QVERIFY2(exitCode == 0 || errors.contains("--help"), qPrintable(errors));
        if (exitCode != 0)
            return;
        // The information file travels with a batch conversion as with one in
        // the window; whatever kept the previews out is said on one line.
        const QByteArray entries = testsupport::runProgram("unzip", {"-Z1", output}).out;
        QVERIFY2(entries.contains("model/model.gpb\n") && entries.contains("model/.meta/info\n"), entries);
        QVERIFY2(errors.split('\n').filter("preview").size() <= 1, qPrintable(errors));
    }
    void windowStoppedBySignalLeavesNoWorkspace_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void windowStoppedBySignalLeavesNoWorkspace()
    {
        QFETCH(int, signalNumber);
        const QString build = qEnvironmentVariable("VELMORA_BUILD_DIR");
        QVERIFY2(QFileInfo(build + "/tools/linux/model-encoder").isExecutable(), "the model encoder is not built");
        QTemporaryDir temp;
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), temp.path());
        program.setProcessEnvironment(environment);
        program.start(build + "/bin/Velmora3dEncoder",
                      {QStringLiteral(VELMORA_SOURCE_DIR "/samples/velmora-sample.fbx")});
        QVERIFY(program.waitForStarted());
        // The window has converted the model and written its previews.
        const QString company = temp.filePath("Velmora3dEncoder");
        const auto previews = [&] {
            QDirIterator found(company, {"perspective.png"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            return found.hasNext();
        };
        QVERIFY(QTest::qWaitFor(previews, 240000));
        ::kill(pid_t(program.processId()), signalNumber);
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        // The window's parts keep their debug lines off the terminal.
        const QByteArray said = program.readAllStandardError();
        QVERIFY2(!said.contains("copy \"") && !said.contains("AnalyticsTracker::"), said.constData());
        // Only the cache of finished conversions stays, for the next start.
        QCOMPARE(QDir(company).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList {"cache"});
    }

private:
    QAction* entry(const char* name) const { return menuAction(m_controller->mainWindow(), name); }
    GlItem* viewport() const { return findInWindow<GlItem>(*m_controller, "viewport"); }
    QTreeView* sceneTree() const { return findInWindow<QTreeView>(*m_controller, "sceneTree"); }
    bool loads(int count)
    {
        return QTest::qWaitFor([&] { return m_loaded->count() >= count; }, kLoadTimeoutMs)
            && m_loaded->count() == count;
    }
    bool open(const QString& path, int count = 1)
    {
        chooseThroughMenu(entry("openAction"), path);
        return loads(count);
    }

    QTemporaryDir m_applicationParent;
    QTemporaryDir m_temp;
    QTemporaryDir m_files;
    std::unique_ptr<WorkspaceService> m_service;
    UserSettings m_settings;
    std::unique_ptr<RecordingTracker> m_recording;
    std::unique_ptr<MainWindowController> m_controller;
    std::unique_ptr<QSignalSpy> m_loaded;
};

int main(int argc, char** argv)
{
    WEApplication app(argc, argv); // file-open events go to the application
    ModelFlowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_modelflow.moc"

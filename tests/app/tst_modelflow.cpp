// The window and the model pipeline together: every way of opening a model
// reaches the model manager after its workspace is named and after the window
// got ready for it; results come back as title, export switch, loading
// indicator, log records, dialogs and status bar texts. A stand-in encoder
// does the converting. The last cases run the real program in console mode.

#include "FakeEncoder.h"
#include "LoadingIndicatorView.h"
#include "LoadingIndicatorViewController.h"
#include "LoggingManager.h"
#include "MainViewController.h"
#include "MainWindow.h"
#include "MainWindowController.h"
#include "MenuManager.h"
#include "ModalDialogCloser.h"
#include "ModelManager.h"
#include "RecordingTracker.h"
#include "SceneGraph.h"
#include "StatusBarController.h"
#include "ToolBarController.h"
#include "UserDialogController.h"
#include "VelmoraResources.h"
#include "WEApplication.h"
#include "WorkspaceService.h"
#include "ZipFixture.h"

#include <QAction>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileOpenEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <memory>

namespace {

const int loadTimeoutMs = 60000;

// The model named on this process's own command line (see main below).
QString g_commandLineModel;

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString md5Hex(const QString& path)
{
    return QString::fromLatin1(QCryptographicHash::hash(readFile(path), QCryptographicHash::Md5).toHex());
}

// Entry names of a zip archive as Info-ZIP lists them, or an empty list.
QStringList zipEntries(const QString& archive)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), archive});
    if (!unzip.waitForFinished(30000) || unzip.exitStatus() != QProcess::NormalExit || unzip.exitCode() != 0)
        return QStringList();
    return QString::fromUtf8(unzip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

struct SeenBox {
    QString text;
    QString detailedText;
};

// Closes the next message box and writes down what it said.
void answerNextBox(SeenBox* seen)
{
    ModalDialogCloser::answerNext([seen](QWidget* widget) {
        if (QMessageBox* box = qobject_cast<QMessageBox*>(widget)) {
            seen->text = box->text();
            seen->detailedText = box->detailedText();
        }
        widget->close();
    });
}

struct ProgramRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the built program without any display, the way scripts on a build
// machine would.
ProgramRun runWithoutDisplay(const QString& program, const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ProgramRun run;
    if (!process.waitForStarted(10000))
        return run;
    process.waitForFinished(300000);
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace

class ModelFlowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void openingThroughTheMenuLoadsTheModel();
    void commandLineModelLoadsAfterItsWorkspaceIsNamed();
    void fileOpenEventLoadsTheModel();
    void settingsReloadImportsAgainWithoutModelWillLoad();
    void damagedContainerShowsTheImportError();
    void containerWithoutVersionShowsTheTooOldBox();
    void exportWritesTheArchiveAndItOpensAgain();
    void failedExportTellsTheUserAndKeepsTheOldFile();
    void closingTheWindowDeletesTheWorkspace();
    void closingDuringAConversionStopsItAndLeavesNoWorkspace();

    void programConvertsWithoutAWindow();
    void programHelpAndVersionNeedNoDisplay();

private:
    // Waits until the model manager has reported a loaded model.
    bool waitForLoad(QSignalSpy& loaded, int count = 1);
    QString openedWorkspaceRoot() const { return m_service->workspaceRoot(); }

    QTemporaryDir m_applicationParent;
    QTemporaryDir m_temp;
    QTemporaryDir m_files;
    WorkspaceService* m_previousService = nullptr;
    std::unique_ptr<WorkspaceService> m_service;
    std::unique_ptr<ScopedRecordingTracker> m_recording;
    std::unique_ptr<MainWindowController> m_controller;
};

void ModelFlowTest::initTestCase()
{
    initVelmoraResources();
    QVERIFY(m_applicationParent.isValid() && m_temp.isValid() && m_files.isValid());
    QVERIFY(FakeEncoder::install(m_applicationParent.path(), FakeEncoder::Behaviour::Normal,
                                 m_files.filePath(QStringLiteral("encoder-calls"))));
    m_previousService = WorkspaceService::instance();
}

void ModelFlowTest::init()
{
    // The application's own service would look for the encoder beside the
    // test program; this one finds the stand-in.
    m_service = std::make_unique<WorkspaceService>(m_temp.path(), m_applicationParent.path());
    WorkspaceService::setInstance(m_service.get());
    m_recording = std::make_unique<ScopedRecordingTracker>();
    m_controller = std::make_unique<MainWindowController>(qobject_cast<WEApplication*>(qApp));
    m_controller->mainWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_controller->mainWindow()));
}

void ModelFlowTest::cleanup()
{
    ModalDialogCloser::cancelAll();
    m_controller.reset();
    QVERIFY(FakeEncoder::install(m_applicationParent.path(), FakeEncoder::Behaviour::Normal,
                                 m_files.filePath(QStringLiteral("encoder-calls"))));
    // A loader of this test must not report into the next one.
    QThreadPool::globalInstance()->waitForDone();
    m_recording.reset();
    m_service->deleteCurrentWorkspace();
    WorkspaceService::setInstance(m_previousService);
    m_service.reset();
}

void ModelFlowTest::cleanupTestCase()
{
    WorkspaceService::setInstance(m_previousService);
}

bool ModelFlowTest::waitForLoad(QSignalSpy& loaded, int count)
{
    return QTest::qWaitFor([&] { return loaded.count() >= count; }, loadTimeoutMs) && loaded.count() == count;
}

void ModelFlowTest::openingThroughTheMenuLoadsTheModel()
{
    const QString model = writeFile(m_files.filePath(QStringLiteral("menu/x.fbx")), "menu model");
    MenuManager* menu = m_controller->menuManager();
    QString hashWhenAnnounced;
    connect(menu, &MenuManager::open3dModel, this,
            [&](const QString&) { hashWhenAnnounced = m_service->modelHash(); });
    QSignalSpy loaded(m_controller->modelManager(), &ModelManager::newModelLoaded);

    menu->openChosenFile(model);
    // The workspace was named after the file before anyone heard of it, and
    // the window shows that it is busy.
    QCOMPARE(hashWhenAnnounced, md5Hex(model));
    LoadingIndicatorView* indicator = m_controller->loadingIndicator()->view();
    QVERIFY(indicator->isVisible());
    QCOMPARE(indicator->messageLabel()->text(), QStringLiteral("Opening file: x.fbx"));

    QVERIFY(waitForLoad(loaded));
    QCOMPARE(loaded.at(0).at(0).toString(), model);
    QCOMPARE(m_controller->mainWindow()->windowTitle(), QStringLiteral("Velmora 3D Encoder - x.fbx"));
    QVERIFY(m_controller->menuManager()->exportAction()->isEnabled());
    QVERIFY(m_controller->mainWindow()->toolBarController()->exportAction()->isEnabled());
    QVERIFY(!indicator->isVisible());
    QCOMPARE(m_controller->fileSize(), quint64(QFileInfo(model).size()));

    // The encoder wrote into this file's workspace; its warning and error
    // reached the log, and the main view holds the new scene graph.
    QCOMPARE(readFile(m_service->modelFile()), FakeEncoder::bundleBytesFor(model));
    QCOMPARE(m_controller->loggingManager()->rowCount(), 2);
    QCOMPARE(m_controller->loggingManager()->model()->rowCount(), 2);
    QVERIFY(m_controller->mainViewController()->sceneGraph() != nullptr);
    QCOMPARE(m_controller->mainViewController()->sceneGraph()->modelPath(), QStringLiteral("model.gpb"));
    QCOMPARE(m_recording->tracker.calls.first(), QStringLiteral("event:model/open_ext/fbx/1"));

    // A second model replaces the first one's scene graph and log records.
    QPointer<SceneGraph> first = m_controller->mainViewController()->sceneGraph();
    const QString second = writeFile(m_files.filePath(QStringLiteral("menu/y.fbx")), "second model");
    menu->openChosenFile(second);
    QCOMPARE(m_controller->loggingManager()->model()->rowCount(), 0);
    QVERIFY(waitForLoad(loaded, 2));
    QCOMPARE(m_controller->mainWindow()->windowTitle(), QStringLiteral("Velmora 3D Encoder - y.fbx"));
    QCOMPARE(m_controller->loggingManager()->model()->rowCount(), 2);
    QTRY_VERIFY(first.isNull());
    QVERIFY(m_controller->mainViewController()->sceneGraph() != nullptr);
    QCOMPARE(readFile(m_service->modelFile()), FakeEncoder::bundleBytesFor(second));
}

void ModelFlowTest::commandLineModelLoadsAfterItsWorkspaceIsNamed()
{
    QVERIFY(QFile::exists(g_commandLineModel));
    QSignalSpy loaded(m_controller->modelManager(), &ModelManager::newModelLoaded);
    m_controller->loadModelFromArgs();
    QCOMPARE(m_service->modelHash(), md5Hex(g_commandLineModel));
    QVERIFY(m_controller->loadingIndicator()->view()->isVisible());
    QVERIFY(waitForLoad(loaded));
    QCOMPARE(loaded.at(0).at(0).toString(), g_commandLineModel);
    QCOMPARE(m_controller->mainWindow()->windowTitle(), QStringLiteral("Velmora 3D Encoder - x.fbx"));
    QVERIFY(m_controller->menuManager()->exportAction()->isEnabled());
    QVERIFY(!m_controller->loadingIndicator()->view()->isVisible());
    QCOMPARE(readFile(m_service->modelFile()), FakeEncoder::bundleBytesFor(g_commandLineModel));
}

void ModelFlowTest::fileOpenEventLoadsTheModel()
{
    const QString model = writeFile(m_files.filePath(QStringLiteral("event/Dropped.Fbx")), "event model");
    QString hashWhenAnnounced;
    QMetaObject::Connection watch = connect(qobject_cast<WEApplication*>(qApp), &WEApplication::openModelFromAppEvent,
                                            this, [&](const QString&) { hashWhenAnnounced = m_service->modelHash(); });
    QSignalSpy loaded(m_controller->modelManager(), &ModelManager::newModelLoaded);

    QFileOpenEvent event(model);
    QCoreApplication::sendEvent(qApp, &event);
    disconnect(watch);
    QCOMPARE(hashWhenAnnounced, md5Hex(model));
    QVERIFY(m_controller->loadingIndicator()->view()->isVisible());
    QVERIFY(waitForLoad(loaded));
    QCOMPARE(m_controller->mainWindow()->windowTitle(), QStringLiteral("Velmora 3D Encoder - Dropped.Fbx"));
    QVERIFY(!m_controller->loadingIndicator()->view()->isVisible());

    // An unsupported file changes nothing, not even the workspace.
    const QString hash = m_service->modelHash();
    QFileOpenEvent text(writeFile(m_files.filePath(QStringLiteral("event/notes.txt")), "text"));
    QCoreApplication::sendEvent(qApp, &text);
    QCOMPARE(m_service->modelHash(), hash);
    QVERIFY(QFile::exists(m_service->modelFile()));
}

void ModelFlowTest::settingsReloadImportsAgainWithoutModelWillLoad()
{
    const QString model = writeFile(m_files.filePath(QStringLiteral("reload/r.fbx")), "reload model");
    QSignalSpy loaded(m_controller->modelManager(), &ModelManager::newModelLoaded);
    m_controller->menuManager()->openChosenFile(model);
    QVERIFY(waitForLoad(loaded));
    const QString workspace = m_service->workspaceRoot();
    QFile::remove(m_service->modelFile());

    emit m_controller->menuManager()->reopen3dModel();
    QVERIFY(waitForLoad(loaded, 2));
    QCOMPARE(loaded.at(1).at(0).toString(), model);
    // Same workspace, written anew; the reload is not a new open for the tracker.
    QCOMPARE(m_service->workspaceRoot(), workspace);
    QCOMPARE(readFile(m_service->modelFile()), FakeEncoder::bundleBytesFor(model));
    QCOMPARE(m_recording->tracker.calls.filter(QStringLiteral("open_ext")).size(), 1);
}

void ModelFlowTest::damagedContainerShowsTheImportError()
{
    const QString broken = writeFile(m_files.filePath(QStringLiteral("broken/damaged.vm3")),
                                     QByteArray("PK\x03\x04 not really a zip archive", 30));
    MenuManager* menu = m_controller->menuManager();
    m_controller->sceneImportSuccessful(nullptr, 1, 1);
    QSignalSpy failed(m_controller->modelManager(), &ModelManager::errorLoadingModel);
    QSignalSpy loaded(m_controller->modelManager(), &ModelManager::newModelLoaded);

    SeenBox seen;
    answerNextBox(&seen);
    menu->openChosenFile(broken);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(loaded.count(), 0);
    QCOMPARE(seen.text, QStringLiteral("Ooops, there was a problem loading your scene."));
    QVERIFY(!seen.detailedText.isEmpty());
    QVERIFY(!m_controller->loadingIndicator()->view()->isVisible());
    QVERIFY(!menu->exportAction()->isEnabled());
    QVERIFY(!m_controller->mainWindow()->toolBarController()->exportAction()->isEnabled());
    QCOMPARE(m_controller->mainWindow()->windowTitle(), QStringLiteral("Velmora 3D Encoder"));
    QVERIFY(m_recording->tracker.calls.contains(QStringLiteral("event:model/crashes/importError/1")));
    QVERIFY(!m_recording->tracker.calls.contains(QStringLiteral("event:model/crashes/vm3TooOld/1")));
}

void ModelFlowTest::containerWithoutVersionShowsTheTooOldBox()
{
    const QString archive = m_files.filePath(QStringLiteral("old/old.vm3"));
    QDir().mkpath(QFileInfo(archive).path());
    QVERIFY(ZipFixture::write(archive, {{"model/model.gpb", "GPB bundle without a version file"}}));
    m_controller->sceneImportSuccessful(nullptr, 1, 1);

    SeenBox seen;
    answerNextBox(&seen);
    m_controller->menuManager()->openChosenFile(archive);
    QCOMPARE(seen.text, QStringLiteral("The imported .vm3 file is too old to be opened with this version of the "
                                       "application. Open source file and open anew."));
    QVERIFY(!m_controller->loadingIndicator()->view()->isVisible());
    QVERIFY(!m_controller->menuManager()->exportAction()->isEnabled());
}

void ModelFlowTest::exportWritesTheArchiveAndItOpensAgain()
{
    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        QSKIP("unzip is not installed");
    const QString model = writeFile(m_files.filePath(QStringLiteral("export/ship.fbx")), "ship model");
    QSignalSpy loaded(m_controller->modelManager(), &ModelManager::newModelLoaded);
    m_controller->menuManager()->openChosenFile(model);
    QVERIFY(waitForLoad(loaded));

    const QString target = writeFile(m_files.filePath(QStringLiteral("export/out/ship.vm3")), "previous export");
    QCOMPARE(MenuManager::exportSourceFolder(), m_service->modelFolder());
    QSignalSpy exported(m_controller->modelManager(), &ModelManager::modelExported);
    QSignalSpy failed(m_controller->modelManager(), &ModelManager::modelExportFailed);
    StatusBarController* statusBar = m_controller->mainWindow()->statusBarController();

    m_controller->menuManager()->exportToChosenFile(target);
    QTRY_COMPARE_WITH_TIMEOUT(exported.count(), 1, loadTimeoutMs);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(exported.at(0).at(0).toString(), target);
    QTRY_COMPARE_WITH_TIMEOUT(statusBar->messageLabel()->text(), QStringLiteral("Exported to: ship.vm3"), 5000);
    QCOMPARE(statusBar->progressBar()->maximum(), 1);

    const QStringList entries = zipEntries(target);
    QVERIFY2(entries.contains(QStringLiteral("model/model.gpb")), qPrintable(entries.join(' ')));
    QVERIFY(entries.contains(QStringLiteral("model/version")));
    QVERIFY(entries.contains(QStringLiteral("model/shaders/colored.vert")));
    for (const QString& entry : entries)
        QVERIFY2(entry.startsWith(QLatin1String("model/")), qPrintable(entry));

    // What we wrote, we can open again.
    m_controller->menuManager()->openChosenFile(target);
    QVERIFY(waitForLoad(loaded, 2));
    QCOMPARE(m_controller->mainWindow()->windowTitle(), QStringLiteral("Velmora 3D Encoder - ship.vm3"));
    QCOMPARE(readFile(m_service->modelFile()), FakeEncoder::bundleBytesFor(model));
}

void ModelFlowTest::failedExportTellsTheUserAndKeepsTheOldFile()
{
    const QString model = writeFile(m_files.filePath(QStringLiteral("fail/boat.fbx")), "boat model");
    QSignalSpy loaded(m_controller->modelManager(), &ModelManager::newModelLoaded);
    m_controller->menuManager()->openChosenFile(model);
    QVERIFY(waitForLoad(loaded));

    // The model folder vanishes after the target was found writable, so the
    // export itself fails.
    const QString target = writeFile(m_files.filePath(QStringLiteral("fail/out/boat.vm3")), "previous export");
    QVERIFY(WorkspaceService::removeDirectoryRecursively(m_service->modelFolder()));
    QSignalSpy exported(m_controller->modelManager(), &ModelManager::modelExported);
    QSignalSpy failed(m_controller->modelManager(), &ModelManager::modelExportFailed);
    StatusBarController* statusBar = m_controller->mainWindow()->statusBarController();

    SeenBox seen;
    answerNextBox(&seen);
    m_controller->menuManager()->exportToChosenFile(target);
    // Until the export is done, the old file is whole.
    QCOMPARE(readFile(target), QByteArray("previous export"));
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, loadTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!seen.text.isEmpty(), 10000);
    QCOMPARE(exported.count(), 0);
    QVERIFY2(seen.text.contains(QStringLiteral("could not be exported")), qPrintable(seen.text));
    QVERIFY(seen.text.contains(QDir::toNativeSeparators(target)));
    QVERIFY(!seen.detailedText.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(statusBar->messageLabel()->text(), QStringLiteral("Export failed: boat.vm3"), 5000);
    QCOMPARE(statusBar->progressBar()->maximum(), 1);
    QCOMPARE(readFile(target), QByteArray("previous export"));
    // No half-written archive or probe file is left beside it.
    QCOMPARE(QDir(QFileInfo(target).path()).entryList(QDir::Files | QDir::Hidden), QStringList{"boat.vm3"});
    QVERIFY(m_recording->tracker.calls.contains(QStringLiteral("event:model/crashes/exportError/1")));
    QVERIFY(!m_recording->tracker.calls.contains(QStringLiteral("event:model/export/vm3/1")));
}

void ModelFlowTest::closingTheWindowDeletesTheWorkspace()
{
    const QString model = writeFile(m_files.filePath(QStringLiteral("close/c.fbx")), "closing model");
    QSignalSpy loaded(m_controller->modelManager(), &ModelManager::newModelLoaded);
    m_controller->menuManager()->openChosenFile(model);
    QVERIFY(waitForLoad(loaded));
    const QString workspace = m_service->workspaceRoot();
    QVERIFY(QFileInfo(workspace).isDir());
    QVERIFY(m_controller->mainWindow()->close());
    QVERIFY(!QFileInfo::exists(workspace));
    // The company folder itself and other runs' workspaces stay.
    QVERIFY(QFileInfo(m_service->companyFolder()).isDir());
}

void ModelFlowTest::closingDuringAConversionStopsItAndLeavesNoWorkspace()
{
    QVERIFY(FakeEncoder::install(m_applicationParent.path(), FakeEncoder::Behaviour::Slow,
                                 m_files.filePath(QStringLiteral("encoder-calls"))));
    const QString started = m_files.filePath(QStringLiteral("encoder-calls/args.txt"));
    QFile::remove(started);
    const QString model = writeFile(m_files.filePath(QStringLiteral("slow/s.fbx")), "slow model");

    // The window closes while the import is just starting: its workspace is
    // deleted before (or while) the loader prepares it.
    m_controller->menuManager()->openChosenFile(model);
    const QString workspace = m_service->workspaceRoot();
    QVERIFY(m_controller->mainWindow()->close());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(started), 10000);

    QElapsedTimer clock;
    clock.start();
    m_controller.reset();
    // The stand-in would take twenty seconds; it was stopped instead, and
    // what the loader had prepared is gone.
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!QFileInfo::exists(workspace));
}

void ModelFlowTest::programConvertsWithoutAWindow()
{
    const QString build = qEnvironmentVariable("VELMORA_BUILD_DIR");
    const QString source = qEnvironmentVariable("VELMORA_SOURCE_DIR", QStringLiteral(VELMORA_SOURCE_DIR));
    const QString program = build + QStringLiteral("/bin/Velmora3dEncoder");
    if (build.isEmpty() || !QFileInfo(build + QStringLiteral("/tools/linux/model-encoder")).isExecutable())
        QSKIP("the model encoder is not built");
    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        QSKIP("unzip is not installed");
    QVERIFY(QFileInfo(program).isExecutable());

    const QString output = m_files.filePath(QStringLiteral("cli/sample.vm3"));
    QDir().mkpath(QFileInfo(output).path());
    const ProgramRun run = runWithoutDisplay(
        program, {QStringLiteral("--convert"), source + QStringLiteral("/samples/velmora-sample.fbx"), output});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QStringList entries = zipEntries(output);
    QVERIFY2(entries.contains(QStringLiteral("model/model.gpb")), qPrintable(entries.join(' ')));
    QVERIFY(entries.contains(QStringLiteral("model/version")));

    // A missing input is refused with its own exit code, and nothing is written.
    const QString unused = m_files.filePath(QStringLiteral("cli/none.vm3"));
    const ProgramRun missing =
        runWithoutDisplay(program, {QStringLiteral("--convert"), m_files.filePath("cli/missing.fbx"), unused});
    QCOMPARE(missing.exitCode, 2);
    QVERIFY(!missing.err.isEmpty());
    QVERIFY(!QFile::exists(unused));
}

void ModelFlowTest::programHelpAndVersionNeedNoDisplay()
{
    const QString build = qEnvironmentVariable("VELMORA_BUILD_DIR");
    const QString program = build + QStringLiteral("/bin/Velmora3dEncoder");
    if (build.isEmpty() || !QFileInfo(program).isExecutable())
        QSKIP("the program is not built");

    const ProgramRun help = runWithoutDisplay(program, {QStringLiteral("--help")});
    QVERIFY2(help.exitCode == 0, help.err.constData());
    QVERIFY(help.out.contains("--convert"));

    const ProgramRun version = runWithoutDisplay(program, {QStringLiteral("--version")});
    QVERIFY2(version.exitCode == 0, version.err.constData());
    QVERIFY2(version.out.contains("1.7"), version.out.constData());
}

int main(int argc, char** argv)
{
    // Started the way the program would be, with a model to open: only the
    // last argument counts.
    QTemporaryDir scratch;
    g_commandLineModel = writeFile(scratch.filePath(QStringLiteral("cmd/x.fbx")), "command line model");
    QByteArray program = argv[0];
    QByteArray missing = scratch.filePath(QStringLiteral("missing.fbx")).toLocal8Bit();
    QByteArray model = g_commandLineModel.toLocal8Bit();
    char* appArgv[] = {program.data(), missing.data(), model.data(), nullptr};
    int appArgc = 3;
    WEApplication app(appArgc, appArgv);
    ModelFlowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_modelflow.moc"

// The application shell's parts on their own: start-up rules (supported
// files, the command line, file-open events, start tracking, identity
// resources), the status bar's file sizes, the loading indicator's timings
// and the user dialogs.
//
// Timing checks are lower bounds only, 5 % below the delay: a loaded machine
// makes timers late, and Qt's coarse timers may fire up to 5 % early.

#include "AppTestSupport.h"
#include "UserDialogController.h"
#include "VersionFile.h"

#include <QAbstractButton>
#include <QFileOpenEvent>
#include <QIcon>
#include <QMainWindow>
#include <QProgressBar>

namespace {

// Shows a box through `show`, closes it, and returns "text|detail|tracked
// before showing".
QString showAndClose(const std::function<void()>& show)
{
    QString seen;
    ModalDialogCloser::answerNext([&seen](QWidget* widget) {
        QMessageBox* box = qobject_cast<QMessageBox*>(widget);
        const QStringList& calls = static_cast<RecordingTracker*>(AnalyticsTracker::instance())->calls;
        seen = box->text() + '|' + box->detailedText() + '|' + calls.value(calls.size() - 1);
        box->button(QMessageBox::Ok)->click();
    });
    show();
    ModalDialogCloser::cancelAll();
    return seen;
}

} // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initVelmoraResources(); }
    void commandLinePicksOnlyAnExistingSupportedLastArgument();
    void startIsTrackedBeforeTheCommandLineModelLoads();
    void fileOpenEventsForUnsupportedFilesAreIgnored();
    void fileSizesAndStatistics();
    void indicatorShowsLateCentredAndStops();
    void earlierStopOrTimeoutNeverHidesANewerStart();
    void dialogsTrackAndShowTheirDetails();
};

void ShellTest::commandLinePicksOnlyAnExistingSupportedLastArgument()
{
    QTemporaryDir dir;
    const QString first = writeFile(dir.filePath("first.fbx"));
    const QString second = writeFile(dir.filePath("second.VM3"));
    const QString text = writeFile(dir.filePath("notes.txt"));
    QDir(dir.path()).mkdir("folder.fbx");
    const QString program = QStringLiteral("Velmora3dEncoder");

    QCOMPARE(MainWindowController::modelPathFromArguments({}), QString());
    // A program name that happens to be a model file is not a model to open.
    QCOMPARE(MainWindowController::modelPathFromArguments({first}), QString());
    QCOMPARE(MainWindowController::modelPathFromArguments({program, first, second}), second);
    QCOMPARE(MainWindowController::modelPathFromArguments({program, second, text}), QString());
    QCOMPARE(MainWindowController::modelPathFromArguments({program, dir.filePath("missing.fbx")}), QString());
    QCOMPARE(MainWindowController::modelPathFromArguments({program, dir.filePath("folder.fbx")}), QString());
}

void ShellTest::startIsTrackedBeforeTheCommandLineModelLoads()
{
    RecordingTracker recording;
    MainWindowController controller(qobject_cast<WEApplication*>(qApp));
    // No encoder lies beside the test program: the import fails and says so.
    QString failure;
    answerNextBox(&failure);
    // The same two zero-delay timers the program queues at start-up.
    QTimer::singleShot(0, &controller, &MainWindowController::trackAppStart);
    QTimer::singleShot(0, &controller, &MainWindowController::loadModelFromArgs);
    QTRY_COMPARE_WITH_TIMEOUT(recording.calls.size(), 5, 30000);
    QCOMPARE(recording.calls,
             (QStringList {"page:AppStart", "event:usage/app_starts/default/1",
                           "event:usage/version/1.7(521) 2016-09-21/1", "start", "event:model/open_ext/fbx/1"}));
    // Only the last argument counts, and it is opened.
    QCOMPARE(controller.loadingIndicator()->view()->messageLabel()->text(), QStringLiteral("Opening file: Model.Fbx"));
    QTRY_VERIFY_WITH_TIMEOUT(failure.contains("Model.Fbx could not be converted"), ModalDialogCloser::waitMs);
}

void ShellTest::fileOpenEventsForUnsupportedFilesAreIgnored()
{
    QSignalSpy spy(qobject_cast<WEApplication*>(qApp), &WEApplication::openModelFromAppEvent);
    for (const char* name : {"notes.txt", "archive.vm3.zip", "noextension", "trailingdot.", "a.fbxx"}) {
        QFileOpenEvent event(QStringLiteral("/models/") + QString::fromLatin1(name));
        QCoreApplication::sendEvent(qApp, &event);
    }
    QCOMPARE(spy.count(), 0);
}

void ShellTest::fileSizesAndStatistics()
{
    const struct {
        quint64 size;
        const char* text;
    } sizes[] = {
        {1023, "1023 bytes"},    {1024, "1024 bytes"},
        {1025, "1 kB"},          {1999, "1.95 kB"}, // cut, not rounded
        {1048576, "1024 kB"},    {1049600, "1 MB"},
        {1610612736, "1.5 GB"},  {4294967295u, "4 GB"}, // single precision: 4095.99 MB is 4096
        {5368709120ull, "5 GB"}, // beyond 32 bits, not wrapped around
    };
    for (const auto& row : sizes)
        QCOMPARE(StatusBarController::formatFileSize(row.size), QString::fromLatin1(row.text));

    QMainWindow window;
    StatusBarController statistics(&window);
    statistics.setModelStatistics(0, 0, 123456);
    QCOMPARE(statistics.statisticsLabel()->text(),
             QStringLiteral("To get started drag a supported 3D file onto the canvas"));
    statistics.setModelStatistics(0, 3, 2097152);
    QCOMPARE(statistics.statisticsLabel()->text(),
             QStringLiteral("<font color='Black'>Vertices: 0 - Meshes: 3 - File size: 2 MB</font>"));
}

void ShellTest::indicatorShowsLateCentredAndStops()
{
    QMainWindow window;
    window.setGeometry(100, 100, 800, 500);
    window.show();
    LoadingIndicatorView view(&window);
    // A quick load never shows it.
    view.start(QStringLiteral("quick"), 0);
    view.stop(0);
    QTest::qWait(LoadingIndicatorView::showDelayMs + 200);
    QVERIFY(!view.isVisible());

    // A slow one shows it late, centred where the main window is by then.
    QElapsedTimer clock;
    clock.start();
    view.start(QStringLiteral("slow"), 0);
    window.move(300, 200);
    QVERIFY(!view.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(view.isVisible(), 30000);
    QVERIFY(clock.elapsed() >= LoadingIndicatorView::showDelayMs * 95 / 100);
    QVERIFY((view.frameGeometry().center() - window.frameGeometry().center()).manhattanLength() <= 2);

    // A delayed stop fills the bar at once and hides later.
    clock.restart();
    view.stop(300);
    QVERIFY(view.progressBar()->value() == 1);
    QVERIFY(view.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!view.isVisible(), 30000);
    QVERIFY(clock.elapsed() >= 285);

    // A time-out fills the bar by itself and hides 750 ms later.
    clock.restart();
    view.start(QStringLiteral("busy for a while"), 600);
    QTRY_VERIFY_WITH_TIMEOUT(view.isVisible(), 30000);
    QVERIFY(view.progressBar()->maximum() == 0);
    QTRY_VERIFY_WITH_TIMEOUT(view.progressBar()->value() == 1, 30000);
    QVERIFY(clock.elapsed() >= 570);
    QTRY_VERIFY_WITH_TIMEOUT(!view.isVisible(), 30000);
    QVERIFY(clock.elapsed() >= 1282);
}

void ShellTest::earlierStopOrTimeoutNeverHidesANewerStart()
{
    QMainWindow window;
    LoadingIndicatorView view(&window);
    // A delayed stop of the first load, then the next load starts.
    view.start(QStringLiteral("first"), 0);
    view.stop(200);
    view.start(QStringLiteral("second"), 0);
    // A time-out of an earlier start does not finish a later one without.
    view.start(QStringLiteral("third"), 150);
    view.start(QStringLiteral("fourth"), 0);
    QTest::qWait(1200);
    QVERIFY(view.isVisible());
    QVERIFY(view.progressBar()->maximum() == 0);
    // Stopping before a time-out cancels it.
    view.start(QStringLiteral("fifth"), 150);
    view.stop(0);
    view.start(QStringLiteral("sixth"), 0);
    QTest::qWait(1200);
    QVERIFY(view.isVisible());
    QVERIFY(view.progressBar()->maximum() == 0);
}

void ShellTest::dialogsTrackAndShowTheirDetails()
{
    RecordingTracker recording;
    QMainWindow window;
    window.show();
    UserDialogController dialogs(&window);

    QCOMPARE(showAndClose([&] { dialogs.showVM3FileToOldDialog(); }),
             QStringLiteral("The imported .vm3 file is too old to be opened with this version of the application. "
                            "Open source file and open anew.||event:model/crashes/vm3TooOld/1"));
    // A format too new is not called too old.
    QCOMPARE(showAndClose([&] { dialogs.showVersionErrorDialog(VersionFile::tooNewText()); }),
             VersionFile::tooNewText() + "||event:model/crashes/vm3TooOld/1");
    QCOMPARE(showAndClose([&] { dialogs.showImportErrorOccuredDialog(QStringLiteral("mesh 3 has no vertices")); }),
             QStringLiteral("Ooops, there was a problem loading your scene.|mesh 3 has no vertices|"
                            "event:model/crashes/importError/1"));
    // A failed export names the file and gives the reason.
    const QString failed
        = showAndClose([&] { dialogs.showExportFailedDialog(QStringLiteral("/out/two.vm3"), QStringLiteral("gone")); });
    QVERIFY2(failed.contains("/out/two.vm3") && failed.endsWith("|gone|event:model/crashes/exportError/1"),
             qPrintable(failed));
    QCOMPARE(recording.calls.size(), 4);
}

int main(int argc, char** argv)
{
    // Started the way the program would be: with two model paths, of which
    // only the last one counts.
    QTemporaryDir scratch;
    const QString commandLineModel = writeFile(scratch.filePath("Model.Fbx"));
    QByteArray program = argv[0];
    QByteArray missing = scratch.filePath("missing.fbx").toLocal8Bit();
    QByteArray model = commandLineModel.toLocal8Bit();
    char* appArgv[] = {program.data(), missing.data(), model.data(), nullptr};
    int appArgc = 3;
    WEApplication app(appArgc, appArgv);
    ShellTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shell.moc"

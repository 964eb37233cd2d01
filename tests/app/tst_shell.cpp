// The application shell's parts on their own: start-up rules (supported
// files, the command line, file-open events, start tracking), the status
// bar's file sizes and the loading indicator's timers.

#include "AppTestSupport.h"

#include <QDirIterator>
#include <QFileOpenEvent>
#include <QMainWindow>
#include <QProgressBar>
#include <QXmlStreamReader>

namespace {
QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList placeholders(const QString& text)
{
    QStringList found;
    for (auto it = QRegularExpression("%\\d").globalMatch(text); it.hasNext();)
        found << it.next().captured();
    found.sort();
    return found;
}
} // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initVelmoraResources(); }
    void commandLinePicksTheLastArgument()
    {
        const QString program = QStringLiteral("Velmora3dEncoder");
        QCOMPARE(MainWindowController::modelPathFromArguments({}), QString());
        // A program name that happens to be a model file is not a model to open.
        QCOMPARE(MainWindowController::modelPathFromArguments({"first.fbx"}), QString());
        QCOMPARE(MainWindowController::modelPathFromArguments({program, "first.fbx", "second.VM3"}), "second.VM3");
    }
    void startIsTrackedBeforeTheCommandLineModelLoads()
    {
        UserSettings settings;
        RecordingTracker recording;
        // Started as the program starts: the model converts while the window is built.
        WorkspaceService workspaces;
        MainWindowController controller(qobject_cast<WEApplication*>(qApp), AppServices {settings, recording},
                                        workspaces,
                                        MainWindowController::modelPathFromArguments(QCoreApplication::arguments()));
        QVERIFY(controller.startedConversion());
        // No encoder lies beside the test program: the import fails and says so.
        QString failure;
        answerNextBox(&failure);
        controller.showAtStart();
        QTRY_COMPARE_WITH_TIMEOUT(recording.calls.size(), 5, 30000);
        QCOMPARE(recording.calls,
                 (QStringList {"page:AppStart", "event:usage/app_starts/default/1",
                               "event:usage/version/1.7(521) 2016-09-21/1", "start", "event:model/open_ext/fbx/1"}));
        // Only the last argument counts, and it is opened.
        QCOMPARE(controller.mainWindow()->findChild<LoadingIndicatorView*>()->messageLabel()->text(),
                 QStringLiteral("Opening file: Model.Fbx"));
        QTRY_VERIFY_WITH_TIMEOUT(failure.contains("Model.Fbx could not be converted"), ModalDialogCloser::kWaitMs);
    }
    // The settings' switch reaches the application's tracker, which records
    // switching on and never switching off, nor anything while off.
    void trackingSwitchIsRecordedByTheApplication()
    {
        AnalyticsTracker* tracker = &qobject_cast<WEApplication*>(qApp)->services().tracker;
        UserSettings& settings = qobject_cast<WEApplication*>(qApp)->services().settings;
        const bool wasOn = settings.isTrackingEnabled();
        const QStringList before = tracker->pendingRequests();
        for (bool on : {false, true, true, false, wasOn}) {
            settings.setTrackingEnabled(on);
            tracker->trackEvent("while", on ? "on" : "off", "x", 1);
        }
        const QStringList added = tracker->pendingRequests().mid(before.size());
        QCOMPARE(added.filter("tracking*switched_on").size(), wasOn ? 2 : 1);
        QCOMPARE(added.filter("switched_off").size() + added.filter("while*off").size(), 0);
    }
    // Only a model file the encoder can take converts before the window
    // exists: a container is unpacked at once, and a failure needs the
    // window to be reported in.
    void onlyConvertibleFilesStartBeforeTheWindow_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("starts");
        QTest::newRow("model file") << "model.obj" << true;
        QTest::newRow("container") << "model.vm3" << false;
        QTest::newRow("unsupported type") << "notes.txt" << false;
    }
    void onlyConvertibleFilesStartBeforeTheWindow()
    {
        QFETCH(QString, name);
        QFETCH(bool, starts);
        QTemporaryDir scratch;
        WorkspaceService workspaces;
        MainWindowController controller(nullptr, qobject_cast<WEApplication*>(qApp)->services(), workspaces,
                                        writeFile(scratch.filePath(name)));
        QCOMPARE(controller.startedConversion(), starts);
    }
    // Every entry of the translation catalogue can match a text of the
    // program, and keeps the placeholders its source fills in: a dropped %1
    // loses the reason it carries and makes arg() complain.
    void catalogueEntriesMatchAndKeepTheirPlaceholders()
    {
        QString sources;
        for (const char* folder : {"app", "panels", "pipeline", "scenegraph", "services", "viewer"}) {
            QDirIterator files(QStringLiteral(VELMORA_SOURCE_DIR "/") + folder, {"*.cpp"}, QDir::Files);
            while (files.hasNext())
                sources += QString::fromUtf8(fileBytes(files.next()));
        }
        QFile catalogue(VELMORA_SOURCE_DIR "/resources/velmora3dencoder_en.ts");
        QVERIFY(catalogue.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&catalogue);
        QString source;
        int entries = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("source")) {
                source = xml.readElementText();
                QString quoted = source;
                QVERIFY2(sources.contains('"' + quoted.replace('"', "\\\"") + '"'), qPrintable(source));
            } else if (xml.name() == QLatin1String("translation")) {
                QCOMPARE(placeholders(xml.readElementText()), placeholders(source));
                ++entries;
            }
        }
        QVERIFY(!xml.hasError() && entries > 0);
    }
    void fileOpenEventsForUnsupportedFilesAreIgnored()
    {
        QSignalSpy spy(qobject_cast<WEApplication*>(qApp), &WEApplication::openModelFromAppEvent);
        for (const char* name : {"notes.txt", "archive.vm3.zip", "noextension", "trailingdot.", "a.fbxx"}) {
            QFileOpenEvent event(QStringLiteral("/models/") + QString::fromLatin1(name));
            QCoreApplication::sendEvent(qApp, &event);
        }
        QCOMPARE(spy.count(), 0);
    }
    void fileSizes()
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
    }
    void earlierStopOrTimeoutNeverHidesANewerStart()
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
        // Stopping before a time-out cancels it.
        view.start(QStringLiteral("fifth"), 150);
        view.stop(0);
        view.start(QStringLiteral("sixth"), 0);
        QTest::qWait(1200);
        QVERIFY(view.isVisible());
        QVERIFY(view.progressBar()->maximum() == 0);
    }
};

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

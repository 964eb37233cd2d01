// Start-up rules: supported files, the command line, file-open events of the
// operating system, start tracking, identity resources and the translation.

#include "AppIdentity.h"
#include "LoadingIndicatorView.h"
#include "LoadingIndicatorViewController.h"
#include "MainWindow.h"
#include "MainWindowController.h"
#include "ModalDialogCloser.h"
#include "RecordingTracker.h"
#include "WEApplication.h"
#include "WorkspaceService.h"

#include <QFile>
#include <QFileOpenEvent>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

namespace {

// Files named on this process's own command line (see main below).
QString g_commandLineModel;
QString g_commandLineMissing;

QString createFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("x");
    return path;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void supportedSuffixes_data();
    void supportedSuffixes();
    void commandLinePicksOnlyAnExistingSupportedLastArgument();
    void commandLineModelIsOpenedOnStart();
    void startIsTrackedBeforeTheCommandLineModelLoads();
    void openExtensionLabels_data();
    void openExtensionLabels();
    void fileOpenEventForSupportedFileEmitsOnce();
    void fileOpenEventForUnsupportedFileIsIgnored();
    void otherEventsStillReachTheApplication();
    void servicesAreRegistered();
    void translationShowsTheQuotedTexts();
    void everyResourceImageLoads_data();
    void everyResourceImageLoads();

private:
    QTemporaryDir m_dir;
};

void StartupTest::supportedSuffixes_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("supported");
    QTest::newRow("fbx") << "fbx" << true;
    QTest::newRow("FBX") << "FBX" << true;
    QTest::newRow("Fbx mixed case") << "Fbx" << true;
    QTest::newRow("vm3") << "vm3" << true;
    QTest::newRow("Vm3") << "Vm3" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("obj") << "obj" << false;
    QTest::newRow("fbx with blank") << "fbx " << false;
    QTest::newRow("longer") << "fbxx" << false;
    QTest::newRow("txt") << "txt" << false;
}

void StartupTest::supportedSuffixes()
{
    QFETCH(QString, suffix);
    QFETCH(bool, supported);
    QCOMPARE(WEApplication::isSupportedSuffix(suffix), supported);
}

void StartupTest::commandLinePicksOnlyAnExistingSupportedLastArgument()
{
    QVERIFY(m_dir.isValid());
    const QString first = createFile(m_dir.filePath(QStringLiteral("first.fbx")));
    const QString second = createFile(m_dir.filePath(QStringLiteral("second.VM3")));
    const QString text = createFile(m_dir.filePath(QStringLiteral("notes.txt")));
    const QString noSuffix = createFile(m_dir.filePath(QStringLiteral("fbx")));
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.fbx"));
    const QString program = QStringLiteral("Velmora3dEncoder");

    QCOMPARE(MainWindowController::modelPathFromArguments({}), QString());
    QCOMPARE(MainWindowController::modelPathFromArguments({program}), QString());
    // A program name that happens to be a model file is not a model to open.
    QCOMPARE(MainWindowController::modelPathFromArguments({first}), QString());
    QCOMPARE(MainWindowController::modelPathFromArguments({program, first}), first);
    QCOMPARE(MainWindowController::modelPathFromArguments({program, first, second}), second);
    QCOMPARE(MainWindowController::modelPathFromArguments({program, second, text}), QString());
    QCOMPARE(MainWindowController::modelPathFromArguments({program, m_dir.filePath("missing.fbx")}), QString());
    QCOMPARE(MainWindowController::modelPathFromArguments({program, noSuffix}), QString());
    QCOMPARE(MainWindowController::modelPathFromArguments({program, m_dir.filePath("folder.fbx")}), QString());
    QCOMPARE(MainWindowController::modelPathFromArguments({program, QString()}), QString());
}

void StartupTest::commandLineModelIsOpenedOnStart()
{
    QVERIFY(!g_commandLineModel.isEmpty());
    MainWindowController controller(qobject_cast<WEApplication*>(qApp));
    controller.loadModelFromArgs();
    LoadingIndicatorView* indicator = controller.loadingIndicator()->view();
    QVERIFY(indicator->isVisible());
    QCOMPARE(indicator->messageLabel()->text(), QStringLiteral("Opening file: Model.Fbx"));
}

void StartupTest::startIsTrackedBeforeTheCommandLineModelLoads()
{
    ScopedRecordingTracker recording;
    MainWindowController controller(qobject_cast<WEApplication*>(qApp));
    // The same two zero-delay timers the program queues at start-up.
    QTimer::singleShot(0, &controller, &MainWindowController::trackAppStart);
    QTimer::singleShot(0, &controller, &MainWindowController::loadModelFromArgs);
    QTRY_COMPARE(recording.tracker.calls.size(), 5);
    const QStringList expected = {
        QStringLiteral("page:AppStart"),
        QStringLiteral("event:usage/app_starts/default/1"),
        QStringLiteral("event:usage/version/1.7(521) 2016-09-21/1"),
        QStringLiteral("start"),
        QStringLiteral("event:model/open_ext/fbx/1"),
    };
    QCOMPARE(recording.tracker.calls, expected);
}

void StartupTest::openExtensionLabels_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("label");
    QTest::newRow("fbx") << "/m/a.fbx" << "fbx";
    QTest::newRow("FBX") << "/m/a.FBX" << "fbx";
    QTest::newRow("Vm3") << "/m/a.Vm3" << "vm3";
    QTest::newRow("obj") << "/m/a.obj" << "obj";
    QTest::newRow("two characters") << "ab" << "ab";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("fbx without dot") << "/m/afbx" << "fbx";
    QTest::newRow("gltf takes last three") << "/m/a.gltf" << "ltf";
}

void StartupTest::openExtensionLabels()
{
    QFETCH(QString, path);
    QFETCH(QString, label);
    QCOMPARE(MainWindowController::fileTypeLabel(path), label);
}

void StartupTest::fileOpenEventForSupportedFileEmitsOnce()
{
    QSignalSpy spy(qApp, SIGNAL(openModelFromAppEvent(QString)));
    const QString path = m_dir.filePath(QStringLiteral("dropped.fBx"));
    QFileOpenEvent event(path);
    QCoreApplication::sendEvent(qApp, &event);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), path);
}

void StartupTest::fileOpenEventForUnsupportedFileIsIgnored()
{
    QSignalSpy spy(qApp, SIGNAL(openModelFromAppEvent(QString)));
    for (const char* name : {"notes.txt", "archive.vm3.zip", "noextension", "trailingdot."}) {
        QFileOpenEvent event(m_dir.filePath(QString::fromLatin1(name)));
        QCoreApplication::sendEvent(qApp, &event);
    }
    QCOMPARE(spy.count(), 0);
}

void StartupTest::otherEventsStillReachTheApplication()
{
    // A file-open event that reaches a controller opens the model through it.
    ScopedRecordingTracker recording;
    MainWindowController controller(qobject_cast<WEApplication*>(qApp));
    // The file does not exist, so the import fails and says so; the box is
    // answered here.
    QString boxText;
    ModalDialogCloser::answerNext([&boxText](QWidget* dialog) {
        if (QMessageBox* box = qobject_cast<QMessageBox*>(dialog))
            boxText = box->text();
        dialog->close();
    });
    QFileOpenEvent event(m_dir.filePath(QStringLiteral("event.vm3")));
    QCoreApplication::sendEvent(qApp, &event);
    ModalDialogCloser::cancelAll();
    QCOMPARE(recording.tracker.calls.first(), QStringLiteral("event:model/open_ext/vm3/1"));
    QCOMPARE(controller.loadingIndicator()->view()->messageLabel()->text(), QStringLiteral("Opening file: event.vm3"));
    QCOMPARE(boxText, QStringLiteral("Ooops, there was a problem loading your scene."));
    QVERIFY(!controller.loadingIndicator()->view()->isVisible());

    // Events of other types are handled by the base class as always.
    QSignalSpy spy(qApp, SIGNAL(openModelFromAppEvent(QString)));
    QObject receiver;
    bool delivered = false;
    QTimer::singleShot(0, &receiver, [&delivered] { delivered = true; });
    QTRY_VERIFY(delivered);
    QCOMPARE(spy.count(), 0);
}

void StartupTest::servicesAreRegistered()
{
    QVERIFY(WEApplication::tracker() != nullptr);
    QCOMPARE(WEApplication::tracker()->accountId(), QStringLiteral("UA-40217386-07"));
    QVERIFY(WEApplication::osInfoService() != nullptr);
    QVERIFY(WEApplication::workspaceService() != nullptr);
    QCOMPARE(WEApplication::workspaceService(), WorkspaceService::instance());
    QVERIFY(!WEApplication::tracker()->isSending());
}

void StartupTest::translationShowsTheQuotedTexts()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/velmora3dencoder_en")));
    QCOMPARE(translator.translate("LoggingViewController", "Logger Output"), QStringLiteral("Logging output"));
    QCOMPARE(translator.translate("LoggingViewController", "Some Warnings and Errors occured during the import"),
             QStringLiteral("The following warnings and errors occurred during the import of your file"));
    QCOMPARE(translator.translate("LoggingViewController", "Detailed Description"),
             QStringLiteral("Detailed warning or error message"));
    QCOMPARE(translator.translate("UpdateChecker", "Feed download failed: %1."),
             QStringLiteral("Failed to connect to update service. Please try again later."));
    QCOMPARE(translator.translate("UpdateWindow", "Software Update"), QStringLiteral("Velmora 3D Encoder Update"));
    QCOMPARE(translator.translate("UpdateConfirmDialog",
                                  "When you click \"OK\", this link will be opened in your browser."),
             QStringLiteral("Once you click \"OK\", this link will be opened in your browser."));
    // Texts without an entry show as written.
    QCOMPARE(translator.translate("LoggingViewController",
                                  "Select a message above to see a more detailed description."),
             QString());
    QCOMPARE(translator.translate("MenuManager", "&Open fbx/vm3..."), QString());
    // Entries belong to their class: the same source elsewhere is untouched.
    QCOMPARE(translator.translate("MenuManager", "Logger Output"), QString());

    QCoreApplication::installTranslator(&translator);
    QCOMPARE(QCoreApplication::translate("LoggingViewController", "Logger Output"), QStringLiteral("Logging output"));
    QCOMPARE(QCoreApplication::translate("AnimationListWidget", "Animations"), QStringLiteral("Animations"));
    QCoreApplication::removeTranslator(&translator);
}

void StartupTest::everyResourceImageLoads_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name :
         {":/IconOpenFile", ":/IconExportFile", ":/IconCameraReset", ":/IconSGLight", ":/IconSGCam", ":/IconSGMesh",
          ":/IconEncoderWarning", ":/IconEncoderError", ":/IconAppIconSmall", ":/ControlButton_Play_Default",
          ":/ControlButton_Play_MouseOver", ":/ControlButton_Play_Clicked", ":/ControlButton_Stop_Default",
          ":/ControlButton_Stop_MouseOver", ":/ControlButton_Stop_Clicked"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void StartupTest::everyResourceImageLoads()
{
    QFETCH(QString, name);
    QVERIFY(QFile::exists(name));
    // Both ways the program uses them: as an icon and as a plain image.
    const QPixmap fromIcon = QIcon(name).pixmap(32, 32);
    QVERIFY(!fromIcon.isNull());
    QCOMPARE(fromIcon.size(), QSize(32, 32));
    const QImage image(name);
    QVERIFY(!image.isNull());
    // Something is drawn: not every pixel is transparent.
    const QImage argb = fromIcon.toImage().convertToFormat(QImage::Format_ARGB32);
    bool drawn = false;
    for (int y = 0; y < argb.height() && !drawn; ++y)
        for (int x = 0; x < argb.width() && !drawn; ++x)
            drawn = qAlpha(argb.pixel(x, y)) > 0;
    QVERIFY(drawn);
}

int main(int argc, char** argv)
{
    // This process is started like the program would be: with two model
    // paths, of which only the last one counts.
    QTemporaryDir scratch;
    g_commandLineMissing = scratch.filePath(QStringLiteral("missing.fbx"));
    g_commandLineModel = createFile(scratch.filePath(QStringLiteral("Model.Fbx")));
    QByteArray program = argv[0];
    QByteArray missing = g_commandLineMissing.toLocal8Bit();
    QByteArray model = g_commandLineModel.toLocal8Bit();
    char* appArgv[] = {program.data(), missing.data(), model.data(), nullptr};
    int appArgc = 3;
    WEApplication app(appArgc, appArgv);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"

// The logging window inside the real main window: it opens by itself for
// records, follows the Window menu's check mark both ways, and shows the
// selected record's long text as written.

#include "AppTestSupport.h"
#include "CustomTextBrowser.h"
#include "GlItem.h"
#include "LoggingViewController.h"
#include "WebLink.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>

#include <memory>

class LoggingWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup() { m_controller.reset(); }
    void cleanupTestCase();
    void recordsOpenTheWindowWithTheirTexts();
    void rowTitlesSayWhatTheRecordSays_data();
    void rowTitlesSayWhatTheRecordSays();
    void copyingSelectedAndAllRecords();
    void recordsOfConvertedModels_data();
    void recordsOfConvertedModels();
    void windowAndCheckMarkFollowEachOther_data();
    void windowAndCheckMarkFollowEachOther();

private:
    template <typename T = QWidget>
    T* find(const char* name) const
    {
        return findInWindow<T>(*m_controller, name);
    }
    // The window is shown exactly when the menu entry is checked.
    bool shownAndChecked(bool expected) const
    {
        const bool shown = find("loggingWindow") && find("loggingWindow")->isVisible();
        return shown == expected
            && menuAction(m_controller->mainWindow(), "showLoggingWindowAction")->isChecked() == expected;
    }

    UserSettings m_settings;
    RecordingTracker m_tracker;
    std::unique_ptr<MainWindowController> m_controller;
    QTemporaryDir m_temp;
    std::unique_ptr<WorkspaceService> m_service;
};

namespace {

const EncoderOutputLogs kTwoRecords {{LoggingManager::Warning, 2001, "Missing texture", "first line\nsecond line"},
                                     {LoggingManager::Error, 1002, "Broken mesh", "<b>not bold</b>"}};

} // namespace

void LoggingWindowTest::initTestCase()
{
    initVelmoraResources();
    // The build tree is laid out as an installation, with the encoder.
    m_service = std::make_unique<WorkspaceService>(m_temp.path(), qEnvironmentVariable("VELMORA_BUILD_DIR"));
}

void LoggingWindowTest::cleanupTestCase() { m_service->deleteCurrentWorkspace(); }

void LoggingWindowTest::init()
{
    m_controller = std::make_unique<MainWindowController>(nullptr, AppServices {m_settings, m_tracker}, *m_service);
    m_controller->mainWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_controller->mainWindow()));
}

void LoggingWindowTest::recordsOpenTheWindowWithTheirTexts()
{
    m_controller->forwardViewerLogs(kTwoRecords);
    QVERIFY(shownAndChecked(true));
    QTableView* table = find<QTableView>("loggingTable");
    QVERIFY(!table->model()->index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    m_controller->forwardViewerLogs({{LoggingManager::Warning, 2100, "Viewer check", "text"}});
    QCOMPARE(table->model()->rowCount(), 3);

    CustomTextBrowser* detail = find<CustomTextBrowser>("loggingDetail");
    // A build without a web host of its own shows no dead link.
    QCOMPARE(detail->toHtml().contains(LoggingViewController::documentationUrl()),
             WebLink::isReachable(QUrl(LoggingViewController::documentationUrl())));
    table->selectRow(1); // written by the encoder from the model's names: never markup
    QCOMPARE(detail->toPlainText(), QStringLiteral("<b>not bold</b>"));
    m_controller->modelWillLoad(QStringLiteral("next.fbx")); // the next model's list
    QVERIFY(detail->toPlainText().startsWith("Select a message above"));
}

void LoggingWindowTest::rowTitlesSayWhatTheRecordSays_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    const QString report = "Importer report";
    QTest::newRow("named code") << 2050 << " Texture not found"
                                << "The texture a.png was not found."
                                << "Texture not found";
    QTest::newRow("short importer report") << 2009 << report << "Cannot find\nmesh 3"
                                           << "Cannot find mesh 3";
    QTest::newRow("long importer report")
        << 2009 << report
        << "FBX: could not decompress the array of the geometry Cube, the data is damaged or made to break readers"
        << "FBX: could not decompress the array of the geometry Cube,\u2026";
    QTest::newRow("one long word") << 2009 << report << QString(70, 'x') << QString(60, 'x') + "\u2026";
    QTest::newRow("untitled") << 2001 << " "
                              << "  Text  with spaces"
                              << "Text with spaces";
    QTest::newRow("nothing to say") << 2009 << report << " " << report;
}

void LoggingWindowTest::rowTitlesSayWhatTheRecordSays()
{
    QFETCH(int, code);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    m_controller->forwardViewerLogs({{LoggingManager::Warning, code, title, message}});
    QCOMPARE(find<QTableView>("loggingTable")->model()->index(0, 0).data().toString(), shown);
}

// Selected rows go in row order whatever order they were picked in, each with
// kind, code, title and the whole message.
void LoggingWindowTest::copyingSelectedAndAllRecords()
{
    const EncoderOutputLog third {LoggingManager::Warning, 2009, "Importer report", "Link 7 not resolved"};
    m_controller->forwardViewerLogs(kTwoRecords + EncoderOutputLogs {third});
    QTableView* table = find<QTableView>("loggingTable");
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString lines[]
        = {"warning GP#2001 [Missing texture] first line / second line", "error GP#1002 [Broken mesh] <b>not bold</b>",
           "warning GP#2009 [Importer report] Link 7 not resolved"};
    table->selectionModel()->select(table->model()->index(2, 0), QItemSelectionModel::Select);
    table->selectionModel()->select(table->model()->index(0, 0), QItemSelectionModel::Select);
    QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    QCoreApplication::sendEvent(table, &copy);
    QCOMPARE(clipboard->text(), lines[0] + '\n' + lines[2]);
    // Nothing selected: the clipboard keeps what it had.
    table->clearSelection();
    find<QAction>("loggingCopyAction")->trigger();
    QCOMPARE(clipboard->text(), lines[0] + '\n' + lines[2]);
    QTest::mouseClick(find<QPushButton>("loggingCopyAllButton"), Qt::LeftButton);
    QCOMPARE(clipboard->text(), lines[0] + '\n' + lines[1] + '\n' + lines[2]);

    // A long message gets the room it needs, the list keeps its least height.
    m_controller->forwardViewerLogs({{LoggingManager::Error, 1004, "Long", QString("line\n").repeated(12)}});
    CustomTextBrowser* detail = find<CustomTextBrowser>("loggingDetail");
    const int before = detail->height();
    table->selectRow(3);
    QTRY_VERIFY(detail->height() > before);
    QTRY_COMPARE(detail->verticalScrollBar()->maximum(), 0); // the whole message shows
    QVERIFY(table->height() >= table->minimumHeight());
}

void LoggingWindowTest::recordsOfConvertedModels_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("title"); // of the record selected; empty: the window stays shut
    QTest::addColumn<QString>("detail"); // the start of its long text
    QTest::newRow("clean sample") << VELMORA_SOURCE_DIR "/samples/velmora-sample.fbx" << QString() << QString();
    QTest::newRow("missing texture")
        << qEnvironmentVariable("VELMORA_SHARED_MODELS") + "/assimp/test/models/FBX/maxPbrMaterial_metalRough.fbx"
        << "Texture not found"
        << "The texture \"Textures\\albedo.png\" of material \"PBR Material\" was not found: not at its path, not "
           "beside the model file and not in the folders below it. The material is drawn without this texture.\nPut";
}

void LoggingWindowTest::recordsOfConvertedModels()
{
    QFETCH(QString, file);
    QFETCH(QString, title);
    QFETCH(QString, detail);
    QVERIFY2(QFileInfo(m_service->encoderExecutable()).isExecutable(), "the model encoder is not built");
    if (!file.startsWith(VELMORA_SOURCE_DIR "/samples/") && !QFileInfo::exists(file))
        QSKIP("shared model absent");
    QSignalSpy loaded(find<GlItem>("viewport"), &GlItem::sceneLoaded);
    chooseThroughMenu(menuAction(m_controller->mainWindow(), "openAction"), file);
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 60000);
    QVERIFY(shownAndChecked(!title.isEmpty()));
    if (title.isEmpty())
        return;
    QAbstractItemModel* records = find<QTableView>("loggingTable")->model();
    const QModelIndexList found = records->match(records->index(0, 0), Qt::DisplayRole, title, 1, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    find<QTableView>("loggingTable")->selectRow(found.first().row());
    const QString shown = find<CustomTextBrowser>("loggingDetail")->toPlainText();
    QVERIFY2(shown.startsWith(detail), qPrintable(shown));
}

void LoggingWindowTest::windowAndCheckMarkFollowEachOther_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("close button") << "button";
    QTest::newRow("window manager") << "window";
    QTest::newRow("menu") << "menu";
}

void LoggingWindowTest::windowAndCheckMarkFollowEachOther()
{
    QFETCH(QString, how);
    QAction* menuEntry = menuAction(m_controller->mainWindow(), "showLoggingWindowAction");
    m_controller->forwardViewerLogs(kTwoRecords);
    QVERIFY(shownAndChecked(true));
    if (how == "button")
        QTest::mouseClick(find<QPushButton>("loggingCloseButton"), Qt::LeftButton);
    else if (how == "window")
        find("loggingWindow")->close();
    else
        menuEntry->trigger();
    QVERIFY(shownAndChecked(false));

    // The menu brings back the same window with the old rows.
    menuEntry->trigger();
    QVERIFY(shownAndChecked(true));
    QCOMPARE(m_controller->mainWindow()->findChildren<QTableView*>("loggingTable").size(), 1);
    QCOMPARE(find<QTableView>("loggingTable")->model()->rowCount(), 2);
    menuEntry->trigger();
    QVERIFY(shownAndChecked(false));
}

QTEST_MAIN(LoggingWindowTest)
#include "tst_loggingwindow.moc"

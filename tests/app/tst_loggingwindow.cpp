// The logging window inside the real main window: it opens by itself for
// records, follows the Window menu's check mark both ways, and shows the
// selected record's long text as written.

#include "CustomTextBrowser.h"
#include "LoggingViewController.h"
#include "MainWindow.h"
#include "MainWindowController.h"
#include "MenuManager.h"
#include "ModelManager.h"
#include "VelmoraResources.h"
#include "WorkspaceRegistry.h"
#include "WorkspaceService.h"

#include <QAction>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

#include <memory>

class LoggingWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup() { m_controller.reset(); }
    void cleanupTestCase();
    void recordsOpenTheWindowWithTheirTexts();
    void recordsOfConvertedModels_data();
    void recordsOfConvertedModels();
    void windowAndCheckMarkFollowEachOther_data();
    void windowAndCheckMarkFollowEachOther();

private:
    template <typename T = QWidget>
    T* find(const char* name) const
    {
        return m_controller->mainWindow()->findChild<T*>(QLatin1String(name));
    }
    // The window is shown exactly when the menu entry is checked.
    bool shownAndChecked(bool expected) const
    {
        const bool shown = find("loggingWindow") && find("loggingWindow")->isVisible();
        return shown == expected && m_controller->menuManager()->showLoggingWindowAction()->isChecked() == expected;
    }

    std::unique_ptr<MainWindowController> m_controller;
    QTemporaryDir m_temp;
    std::unique_ptr<WorkspaceService> m_service;
};

namespace {

const EncoderOutputLogs twoRecords {{LoggingManager::Warning, 2001, "Missing texture", "first line\nsecond line"},
                                    {LoggingManager::Error, 1002, "Broken mesh", "<b>not bold</b>"}};

} // namespace

void LoggingWindowTest::initTestCase()
{
    initVelmoraResources();
    // The build tree is laid out as an installation, with the encoder.
    m_service = std::make_unique<WorkspaceService>(m_temp.path(), qEnvironmentVariable("VELMORA_BUILD_DIR"));
    WorkspaceRegistry::setInstance(m_service.get());
}

void LoggingWindowTest::cleanupTestCase()
{
    m_service->deleteCurrentWorkspace();
    WorkspaceRegistry::setInstance(nullptr);
}

void LoggingWindowTest::init()
{
    m_controller = std::make_unique<MainWindowController>(nullptr);
    m_controller->mainWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_controller->mainWindow()));
}

void LoggingWindowTest::recordsOpenTheWindowWithTheirTexts()
{
    LoggingManager* manager = m_controller->loggingManager();
    manager->outputParserDidGenerateOutputMessages(twoRecords);
    QVERIFY(shownAndChecked(true));
    QVERIFY(!manager->model()->index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    // The viewer's own check records join the encoder's.
    m_controller->forwardViewerLogs({{LoggingManager::Warning, 2100, "Viewer check", "text"}});
    QCOMPARE(manager->model()->rowCount(), 3);

    QTableView* table = find<QTableView>("loggingTable");
    CustomTextBrowser* detail = find<CustomTextBrowser>("loggingDetail");
    QVERIFY(detail->toHtml().contains(LoggingViewController::documentationUrl()));
    table->selectRow(1); // written by the encoder from the model's names: never markup
    QCOMPARE(detail->toPlainText(), QStringLiteral("<b>not bold</b>"));
    m_controller->loggingViewController()->userDidCloseLoggingWindow();
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
    QSignalSpy loaded(m_controller->modelManager(), &ModelManager::newModelLoaded);
    m_controller->menuManager()->openChosenFile(file);
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 60000);
    QVERIFY(shownAndChecked(!title.isEmpty()));
    if (title.isEmpty())
        return;
    QStandardItemModel* records = m_controller->loggingManager()->model();
    const QList<QStandardItem*> found = records->findItems(title);
    QVERIFY(!found.isEmpty());
    find<QTableView>("loggingTable")->selectRow(found.first()->row());
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
    QAction* menuEntry = m_controller->menuManager()->showLoggingWindowAction();
    m_controller->loggingManager()->addLogs(twoRecords);
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

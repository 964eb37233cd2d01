// The logging window inside the real main window: it opens by itself for
// records, follows the Window menu's check mark both ways, and shows the
// selected record's long text as written.

#include "CustomTextBrowser.h"
#include "LoggingViewController.h"
#include "MainWindow.h"
#include "MainWindowController.h"
#include "MenuManager.h"
#include "VelmoraResources.h"

#include <QAction>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

#include <memory>

class LoggingWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initVelmoraResources(); }
    void init();
    void cleanup() { m_controller.reset(); }

    void recordsOpenTheWindowAndCheckTheMenu();
    void closingAndMenuKeepWindowAndCheckMarkTogether_data();
    void closingAndMenuKeepWindowAndCheckMarkTogether();
    void selectedRecordShowsItsTextAsWritten();

private:
    QWidget* loggingWindow() const
    {
        return m_controller->mainWindow()->findChild<QWidget*>(QStringLiteral("loggingWindow"));
    }
    bool windowVisible() const { return loggingWindow() && loggingWindow()->isVisible(); }
    bool menuChecked() const { return m_controller->menuManager()->showLoggingWindowAction()->isChecked(); }

    std::unique_ptr<MainWindowController> m_controller;
};

namespace {

EncoderOutputLogs twoRecords()
{
    EncoderOutputLog warning {LoggingManager::Warning, 2001, "Missing texture", "first line\nsecond line"};
    EncoderOutputLog error {LoggingManager::Error, 1002, "Broken mesh", "<b>not bold</b>"};
    return EncoderOutputLogs {warning, error};
}

} // namespace

void LoggingWindowTest::init()
{
    m_controller = std::make_unique<MainWindowController>(nullptr);
    m_controller->mainWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_controller->mainWindow()));
}

void LoggingWindowTest::recordsOpenTheWindowAndCheckTheMenu()
{
    LoggingManager* manager = m_controller->loggingManager();
    manager->outputParserDidGenerateOutputMessages(EncoderOutputLogs());
    QVERIFY(!windowVisible());
    QVERIFY(!menuChecked());

    manager->outputParserDidGenerateOutputMessages(twoRecords());
    QVERIFY(windowVisible());
    QVERIFY(menuChecked());
    QCOMPARE(manager->model()->rowCount(), 2);
    QCOMPARE(manager->model()->index(1, 0).data().toString(), QStringLiteral("Broken mesh"));
    QVERIFY(!manager->model()->index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());

    // The viewer's own check records join the encoder's.
    m_controller->forwardViewerLogs({{LoggingManager::Warning, 2100, "Viewer check", "text"}});
    QCOMPARE(manager->model()->rowCount(), 3);
    QCOMPARE(manager->detailMessage(2), QStringLiteral("text"));
}

void LoggingWindowTest::closingAndMenuKeepWindowAndCheckMarkTogether_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("close button") << "button";
    QTest::newRow("window manager") << "window";
    QTest::newRow("menu") << "menu";
}

void LoggingWindowTest::closingAndMenuKeepWindowAndCheckMarkTogether()
{
    QFETCH(QString, how);
    QAction* menuEntry = m_controller->menuManager()->showLoggingWindowAction();
    menuEntry->trigger();
    QVERIFY(windowVisible());
    QVERIFY(menuChecked());
    menuEntry->trigger();
    QVERIFY(!windowVisible());
    QVERIFY(!menuChecked());

    m_controller->loggingManager()->addLogs(twoRecords());
    QVERIFY(windowVisible());
    QVERIFY(menuChecked());
    if (how == "button")
        QTest::mouseClick(loggingWindow()->findChild<QPushButton*>(QStringLiteral("loggingCloseButton")),
                          Qt::LeftButton);
    else if (how == "window")
        loggingWindow()->close();
    else
        menuEntry->trigger();
    QVERIFY(!windowVisible());
    QVERIFY(!menuChecked());

    // The menu brings back the same window with the old rows.
    menuEntry->trigger();
    QVERIFY(windowVisible());
    QVERIFY(menuChecked());
    const QList<QTableView*> tables = m_controller->mainWindow()->findChildren<QTableView*>("loggingTable");
    QCOMPARE(tables.size(), 1);
    QCOMPARE(tables.first()->model()->rowCount(), 2);
    menuEntry->trigger();
}

void LoggingWindowTest::selectedRecordShowsItsTextAsWritten()
{
    m_controller->loggingManager()->outputParserDidGenerateOutputMessages(twoRecords());
    QTableView* table = loggingWindow()->findChild<QTableView*>(QStringLiteral("loggingTable"));
    CustomTextBrowser* detail = loggingWindow()->findChild<CustomTextBrowser*>(QStringLiteral("loggingDetail"));
    QVERIFY(detail->toHtml().contains(LoggingViewController::documentationUrl()));
    QVERIFY(LoggingViewController::documentationUrl().endsWith("assetsworkflow.html#3d-assets-workflow"));

    table->selectRow(0);
    QCOMPARE(detail->toPlainText(), QStringLiteral("first line\nsecond line"));
    table->selectRow(1);
    QCOMPARE(detail->toPlainText(), QStringLiteral("<b>not bold</b>"));
    m_controller->loggingViewController()->userDidCloseLoggingWindow();
}

QTEST_MAIN(LoggingWindowTest)
#include "tst_loggingwindow.moc"

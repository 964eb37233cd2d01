// Status bar (file sizes, statistics, progress and message timings), the
// loading indicator's timings, the user dialogs and the text browser.

#include "CustomTextBrowser.h"
#include "LoadingIndicatorView.h"
#include "ModalDialogCloser.h"
#include "RecordingTracker.h"
#include "StatusBarController.h"
#include "UserDialogController.h"
#include "VelmoraResources.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>

namespace {

QString blanks(int count)
{
    return QString(count, QLatin1Char(' '));
}

bool isFull(QProgressBar* bar)
{
    return bar->minimum() == 0 && bar->maximum() == 1 && bar->value() == 1;
}

bool isBusy(QProgressBar* bar)
{
    return bar->minimum() == 0 && bar->maximum() == 0;
}

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

struct ShownBox {
    QString text;
    QString detailedText;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QStringList trackedBeforeShowing;
};

} // namespace

class StatusBarTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void fileSizes_data();
    void fileSizes();
    void statisticsShowHintOnlyWithoutVerticesAndMeshes();
    void startUpClearsTheMessageAfter750ms();
    void emptyProgressMessageChangesNothing();
    void delayedMessageShowsThenClears();
    void framerateLabelIsKeptCurrentButNotShown();

    void indicatorStartsHiddenWithItsFixedLook();
    void secondStartKeepsOneWindowWithTheSecondMessage();
    void stopFillsTheBarAndHidesAfterTheDelay();
    void timeoutFinishesByItselfThenHides();
    void earlierStopOrTimeoutNeverHidesANewerStart();

    void dialogsShowTrackAndKeepTheirDetails();
    void textBrowserHandsLinksToTheSystemBrowser();

private:
    ShownBox showAndClose(const std::function<void()>& show);
};

void StatusBarTest::initTestCase()
{
    initVelmoraResources();
}

void StatusBarTest::cleanup()
{
    ModalDialogCloser::cancelAll();
}

void StatusBarTest::fileSizes_data()
{
    QTest::addColumn<quint64>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << quint64(0) << "0 bytes";
    QTest::newRow("1") << quint64(1) << "1 bytes";
    QTest::newRow("1023") << quint64(1023) << "1023 bytes";
    QTest::newRow("1024 needs more than one kB") << quint64(1024) << "1024 bytes";
    QTest::newRow("1025") << quint64(1025) << "1 kB";
    QTest::newRow("1536") << quint64(1536) << "1.5 kB";
    QTest::newRow("1999 is cut, not rounded") << quint64(1999) << "1.95 kB";
    QTest::newRow("2047 is cut, not rounded") << quint64(2047) << "1.99 kB";
    QTest::newRow("10240") << quint64(10240) << "10 kB";
    QTest::newRow("1048575") << quint64(1048575) << "1023.99 kB";
    QTest::newRow("1048576 needs more than one MB") << quint64(1048576) << "1024 kB";
    QTest::newRow("1049600") << quint64(1049600) << "1 MB";
    QTest::newRow("1572864") << quint64(1572864) << "1.5 MB";
    QTest::newRow("2097152") << quint64(2097152) << "2 MB";
    QTest::newRow("1073741824 needs more than one GB") << quint64(1073741824) << "1024 MB";
    QTest::newRow("1610612736") << quint64(1610612736) << "1.5 GB";
    // The megabyte value is kept in single precision, where 4095.99 MB is 4096.
    QTest::newRow("4294967295") << quint64(4294967295u) << "4 GB";
    QTest::newRow("4289396326") << quint64(4289396326u) << "3.99 GB";
    // Sizes beyond 32 bits are shown as they are, not wrapped around.
    QTest::newRow("4294967296") << quint64(4294967296ull) << "4 GB";
    QTest::newRow("5368709120") << quint64(5368709120ull) << "5 GB";
}

void StatusBarTest::fileSizes()
{
    QFETCH(quint64, size);
    QFETCH(QString, text);
    QCOMPARE(StatusBarController::formatFileSize(size), text);
}

void StatusBarTest::statisticsShowHintOnlyWithoutVerticesAndMeshes()
{
    QMainWindow window;
    StatusBarController controller(&window);
    const QString hint = QStringLiteral("To get started drag a supported 3D file onto the canvas");
    controller.setModelStatistics(0, 0, 123456);
    QCOMPARE(controller.statisticsLabel()->text(), hint);
    controller.setModelStatistics(0, 3, 2097152);
    QCOMPARE(controller.statisticsLabel()->text(),
             QStringLiteral("<font color='Black'>Vertices: 0 - Meshes: 3 - File size: 2 MB</font>"));
    controller.setModelStatistics(4294967295u, 0, 0);
    QCOMPARE(controller.statisticsLabel()->text(),
             QStringLiteral("<font color='Black'>Vertices: 4294967295 - Meshes: 0 - File size: 0 bytes</font>"));
    QCOMPARE(controller.statisticsLabel()->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
}

void StatusBarTest::startUpClearsTheMessageAfter750ms()
{
    QMainWindow window;
    QElapsedTimer clock;
    clock.start();
    StatusBarController controller(&window);
    QCOMPARE(controller.messageLabel()->text(), blanks(17));
    QCOMPARE(controller.statusBar()->parent(), &window);
    QVERIFY(!controller.statusBar()->isSizeGripEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(controller.messageLabel()->text(), blanks(18), 3000);
    QVERIFY(clock.elapsed() >= 740);
    QCOMPARE(controller.progressBar()->minimum(), 0);
    QCOMPARE(controller.progressBar()->maximum(), 1);
    QCOMPARE(controller.progressBar()->value(), 0);
}

void StatusBarTest::emptyProgressMessageChangesNothing()
{
    QMainWindow window;
    StatusBarController controller(&window);
    controller.showProgress(QStringLiteral("Working"), 2, 9, 5);
    QCOMPARE(controller.messageLabel()->text(), QStringLiteral("Working"));
    controller.showProgress(QString(), 0, 0, 0);
    QCOMPARE(controller.messageLabel()->text(), QStringLiteral("Working"));
    QCOMPARE(controller.progressBar()->minimum(), 2);
    QCOMPARE(controller.progressBar()->maximum(), 9);
    QCOMPARE(controller.progressBar()->value(), 5);
}

void StatusBarTest::delayedMessageShowsThenClears()
{
    QMainWindow window;
    StatusBarController controller(&window);
    QTRY_COMPARE_WITH_TIMEOUT(controller.messageLabel()->text(), blanks(18), 3000);

    QElapsedTimer clock;
    clock.start();
    controller.showDelayedMessage(QStringLiteral("Exported to: a.vm3"), 300);
    QTest::qWait(100);
    QCOMPARE(controller.messageLabel()->text(), blanks(18));
    QTRY_COMPARE_WITH_TIMEOUT(controller.messageLabel()->text(), QStringLiteral("Exported to: a.vm3"), 3000);
    const qint64 shownAt = clock.elapsed();
    QVERIFY(shownAt >= 295);
    QTRY_COMPARE_WITH_TIMEOUT(controller.messageLabel()->text(), blanks(18), 6000);
    QVERIFY(clock.elapsed() - shownAt >= 2800);

    // A second delayed message replaces one still waiting.
    controller.showDelayedMessage(QStringLiteral("first"), 200);
    controller.showDelayedMessage(QStringLiteral("second"), 50);
    QTRY_COMPARE_WITH_TIMEOUT(controller.messageLabel()->text(), QStringLiteral("second"), 2000);
    QTest::qWait(300);
    QCOMPARE(controller.messageLabel()->text(), QStringLiteral("second"));
}

void StatusBarTest::framerateLabelIsKeptCurrentButNotShown()
{
    QMainWindow window;
    StatusBarController controller(&window);
    window.setStatusBar(controller.statusBar());
    window.show();
    QCOMPARE(controller.framerateLabel()->text(), QStringLiteral("60 fps"));
    QCOMPARE(controller.framerateLabel()->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    controller.setFramerate(0);
    QCOMPARE(controller.framerateLabel()->text(), QStringLiteral("0 fps"));
    QVERIFY(!controller.framerateLabel()->isVisible());
}

void StatusBarTest::indicatorStartsHiddenWithItsFixedLook()
{
    QMainWindow window;
    LoadingIndicatorView view(&window);
    QVERIFY(!view.isVisible());
    QCOMPARE(view.size(), QSize(450, 75));
    QCOMPARE(view.minimumSize(), QSize(450, 75));
    QCOMPARE(view.maximumSize(), QSize(450, 75));
    QCOMPARE(view.windowType(), Qt::Sheet);
    QVERIFY(view.isWindow());
    QCOMPARE(view.parentWidget(), &window);
    QVERIFY(isBusy(view.progressBar()));
}

void StatusBarTest::secondStartKeepsOneWindowWithTheSecondMessage()
{
    QMainWindow window;
    LoadingIndicatorView view(&window);
    QCOMPARE(view.start(QStringLiteral("Opening file: a.fbx"), 0), 0);
    QCOMPARE(view.start(QStringLiteral("Opening file: b.fbx"), 0), 1);
    QVERIFY(view.isVisible());
    QCOMPARE(view.messageLabel()->text(), QStringLiteral("Opening file: b.fbx"));
    QCOMPARE(window.findChildren<LoadingIndicatorView*>().size(), 1);
    QVERIFY(isBusy(view.progressBar()));
    // Without a time-out it stays until stopped.
    QTest::qWait(1000);
    QVERIFY(view.isVisible());
}

void StatusBarTest::stopFillsTheBarAndHidesAfterTheDelay()
{
    QMainWindow window;
    LoadingIndicatorView view(&window);
    view.start(QStringLiteral("Opening"), 0);
    view.stop(0);
    QVERIFY(!view.isVisible());
    QVERIFY(isFull(view.progressBar()));

    view.start(QStringLiteral("Opening again"), 0);
    QVERIFY(isBusy(view.progressBar()));
    QElapsedTimer clock;
    clock.start();
    view.stop(300);
    QVERIFY(isFull(view.progressBar()));
    QVERIFY(view.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!view.isVisible(), 3000);
    QVERIFY(clock.elapsed() >= 295);
}

void StatusBarTest::timeoutFinishesByItselfThenHides()
{
    QMainWindow window;
    LoadingIndicatorView view(&window);
    QElapsedTimer clock;
    clock.start();
    view.start(QStringLiteral("Busy for a while"), 200);
    QTRY_VERIFY_WITH_TIMEOUT(isFull(view.progressBar()), 3000);
    const qint64 filledAt = clock.elapsed();
    QVERIFY(filledAt >= 195);
    QVERIFY(view.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!view.isVisible(), 3000);
    QVERIFY(clock.elapsed() - filledAt >= 700);
}

void StatusBarTest::earlierStopOrTimeoutNeverHidesANewerStart()
{
    QMainWindow window;
    LoadingIndicatorView view(&window);

    // A delayed stop of the first load, then the next load starts.
    view.start(QStringLiteral("first"), 0);
    view.stop(200);
    view.start(QStringLiteral("second"), 0);
    QTest::qWait(500);
    QVERIFY(view.isVisible());
    QVERIFY(isBusy(view.progressBar()));

    // A time-out of an earlier start does not finish a later one without.
    view.stop(0);
    view.start(QStringLiteral("third"), 150);
    view.start(QStringLiteral("fourth"), 0);
    QTest::qWait(1200);
    QVERIFY(view.isVisible());
    QVERIFY(isBusy(view.progressBar()));
    QCOMPARE(view.messageLabel()->text(), QStringLiteral("fourth"));

    // Stopping before a time-out cancels it.
    view.stop(0);
    view.start(QStringLiteral("fifth"), 150);
    view.stop(0);
    view.start(QStringLiteral("sixth"), 0);
    QTest::qWait(1200);
    QVERIFY(view.isVisible());
}

ShownBox StatusBarTest::showAndClose(const std::function<void()>& show)
{
    ShownBox shown;
    AnalyticsTracker* tracker = AnalyticsTracker::instance();
    ModalDialogCloser::answerNext([&shown, tracker](QWidget* widget) {
        QMessageBox* box = qobject_cast<QMessageBox*>(widget);
        if (!box) {
            widget->close();
            return;
        }
        shown.text = box->text();
        shown.detailedText = box->detailedText();
        shown.title = box->windowTitle();
        shown.icon = box->icon();
        shown.buttons = box->standardButtons();
        if (tracker)
            shown.trackedBeforeShowing = static_cast<RecordingTracker*>(tracker)->calls;
        box->button(QMessageBox::Ok)->click();
    });
    show();
    ModalDialogCloser::cancelAll();
    return shown;
}

void StatusBarTest::dialogsShowTrackAndKeepTheirDetails()
{
    ScopedRecordingTracker recording;
    QMainWindow window;
    window.show();
    UserDialogController dialogs(&window);
    QCOMPARE(dialogs.importErrorBox()->parentWidget(), &window);

    ShownBox box = showAndClose([&] { dialogs.showVM3FileToOldDialog(); });
    QCOMPARE(box.text, QStringLiteral("The imported .vm3 file is too old to be opened with this version of the "
                                      "application. Open source file and open anew."));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.title, QString());
    QCOMPARE(box.detailedText, QString());
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.trackedBeforeShowing, QStringList{"event:model/crashes/vm3TooOld/1"});

    box = showAndClose([&] { dialogs.showImportErrorOccuredDialog(QString()); });
    QCOMPARE(box.text, QStringLiteral("Ooops, there was a problem loading your scene."));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.detailedText, QString());
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.trackedBeforeShowing.last(), QStringLiteral("event:model/crashes/importError/1"));

    box = showAndClose([&] { dialogs.showImportErrorOccuredDialog(QStringLiteral("mesh 3 has no vertices")); });
    QCOMPARE(box.detailedText, QStringLiteral("mesh 3 has no vertices"));

    box = showAndClose([&] { dialogs.showExportToDirectoryNotAllowedDialog(QStringLiteral("/locked/one.vm3")); });
    QCOMPARE(box.text, QStringLiteral("You don't have permissions to export to the selected directory"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.detailedText, QStringLiteral("/locked/one.vm3"));
    QCOMPARE(box.trackedBeforeShowing.last(), QStringLiteral("event:model/crashes/exportError/1"));
    box = showAndClose([&] { dialogs.showExportToDirectoryNotAllowedDialog(QStringLiteral("/locked/two.vm3")); });
    QCOMPARE(box.detailedText, QStringLiteral("/locked/two.vm3"));

    // An export that started but failed names the file and gives the reason;
    // the second failure's reason replaces the first one's.
    box = showAndClose([&] { dialogs.showExportFailedDialog(QStringLiteral("/out/one.vm3"), QStringLiteral("disk full")); });
    QVERIFY2(box.text.contains(QStringLiteral("/out/one.vm3")), qPrintable(box.text));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.detailedText, QStringLiteral("disk full"));
    QCOMPARE(box.trackedBeforeShowing.last(), QStringLiteral("event:model/crashes/exportError/1"));
    box = showAndClose([&] { dialogs.showExportFailedDialog(QStringLiteral("/out/two.vm3"), QStringLiteral("gone")); });
    QVERIFY(box.text.contains(QStringLiteral("/out/two.vm3")));
    QVERIFY(!box.text.contains(QStringLiteral("/out/one.vm3")));
    QCOMPARE(box.detailedText, QStringLiteral("gone"));

    QCOMPARE(recording.tracker.calls.size(), 7);
    // The boxes are reused: one of each under the main window.
    QCOMPARE(window.findChildren<QMessageBox*>().size(), 4);

    // Without a registered tracker the dialogs still show.
    AnalyticsTracker::setInstance(nullptr);
    box = showAndClose([&] { dialogs.showVM3FileToOldDialog(); });
    QVERIFY(!box.text.isEmpty());
}

void StatusBarTest::textBrowserHandsLinksToTheSystemBrowser()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    CustomTextBrowser browser;
    browser.setHtml(QStringLiteral("<p>text</p>"));
    browser.setSource(QUrl(QStringLiteral("https://www.velmora.invalid/credits")));
    browser.setSource(QUrl(QStringLiteral("http://[::1")));
    browser.setSource(QUrl());
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

    QCOMPARE(recorder.urls, QList<QUrl>{QUrl(QStringLiteral("https://www.velmora.invalid/credits"))});
    // The browser itself never navigates.
    QCOMPARE(browser.source(), QUrl());
    QVERIFY(browser.toPlainText().contains(QStringLiteral("text")));
}

QTEST_MAIN(StatusBarTest)
#include "tst_statusbar.moc"

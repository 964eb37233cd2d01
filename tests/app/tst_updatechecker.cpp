#include "CustomTextBrowser.h"
#include "LocalHttpServer.h"
#include "UpdateChecker.h"
#include "UpdatePresenter.h"
#include "VersionComparator.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QtTest>

namespace {

QByteArray feedOf(const QByteArray& items)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\" xmlns:sparkle=\"urn:sparkle\" "
           "xmlns:velmora=\"urn:velmora\"><channel><title>Velmora 3D Encoder</title>\n"
        + items + "</channel></rss>\n";
}

// One item; `notes` is the whole release-notes element (or a "link").
QByteArray itemOf(const QByteArray& version, const QByteArray& platform = "Q_OS_LINUX",
                  const QByteArray& notes = "<sparkle:releaseNotesLink>ORIGIN/notes.html</sparkle:releaseNotesLink>",
                  const QByteArray& download = "ORIGIN/Velmora.tar.gz")
{
    return "<item><title>Version " + version + "</title>" + notes + "<pubDate>Mon, 03 Oct 2016 10:00:00 +0000</pubDate>"
        + "<enclosure url=\"" + download + "\" sparkle:version=\"" + version + "\" velmora:platform=\" " + platform
        + " \" length=\"1234\" type=\"application/octet-stream\"/></item>\n";
}

QString offerText(const QString& version)
{
    return "Window|Velmora3dEncoder " + version
        + " is now available - you are currently running 1.7.521. Would you like to download it now?";
}

const QString kNoUpdates = QStringLiteral("Information|No updates were found.");
const QString kFileError = QStringLiteral("Error|Error in update file. Please try again later.");
const QString kNetworkError = QStringLiteral("Error|Failed to connect to update service. Please try again later.");

template <typename T>
T* visibleWindow(const QString& objectName)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->objectName() == objectName)
            return qobject_cast<T*>(widget);
    }
    return nullptr;
}

int visibleCount(const QString& objectName)
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += widget->isVisible() && widget->objectName() == objectName ? 1 : 0;
    return count;
}

} // namespace

// The update checker against a feed server of its own: what each feed leads
// to, reminding, the confirmation that opens the download, skipping, and the
// order of versions.
class UpdateCheckerTest : public QObject {
    Q_OBJECT
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<UpdateChecker> m_checker;
    std::unique_ptr<UpdatePresenter> m_presenter; // the application's windows for what the checker finds
    QList<QUrl> m_openedUrls;

    QByteArray withOrigin(QByteArray text) const { return text.replace("ORIGIN", m_server->origin().toLatin1()); }
    void serveFeed(const QByteArray& items) { m_server->routes["/feed"].body = withOrigin(feedOf(items)); }

    // Runs one check and describes what the user saw, closing it: "Window|<question>",
    // "Information|<text>" or "Error|<text>"; "Nothing" when a silent check showed nothing.
    QString check(bool silent = false, const QString& path = QStringLiteral("/feed"))
    {
        m_checker->setFeedURL(QUrl(path.startsWith("http") ? path : m_server->origin() + path));
        if (!m_checker->CheckForUpdates(silent) || !QTest::qWaitFor([this] { return !m_checker->isChecking(); }, 10000))
            return QStringLiteral("refused or still checking");
        if (QWidget* window = visibleWindow<QWidget>("updateWindow"))
            return "Window|" + window->findChild<QLabel*>("updateQuestion")->text();
        if (visibleCount("updateMessageBox") > 1)
            return QStringLiteral("more than one message");
        if (auto* box = visibleWindow<QMessageBox>("updateMessageBox")) {
            const QString seen = box->text() + "|" + box->informativeText();
            box->close();
            return seen;
        }
        return QStringLiteral("Nothing");
    }
    void click(const char* button)
    {
        QWidget* window = visibleWindow<QWidget>("updateWindow");
        QVERIFY(window);
        window->findChild<QPushButton*>(button)->click();
    }

    void makeChecker()
    {
        m_presenter.reset();
        m_checker = std::make_unique<UpdateChecker>();
        m_checker->setDeadline(2000);
        m_presenter = std::make_unique<UpdatePresenter>(m_checker.get());
    }

public slots:
    void openUrl(const QUrl& url) { m_openedUrls << url; }

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName("Velmora GmbH");
        QCoreApplication::setOrganizationDomain("velmora.invalid");
        QCoreApplication::setApplicationName("Velmora3dEncoder");
        QCoreApplication::setApplicationVersion("1.7");
        QDesktopServices::setUrlHandler("http", this, "openUrl");
    }
    void init()
    {
        QSettings().clear();
        m_openedUrls.clear();
        m_server = std::make_unique<LocalHttpServer>();
        m_server->fallback.status = "404 Not Found";
        m_server->routes["/notes.html"].body = "<html><body><h1>What is new</h1><p>Faster export.</p></body></html>";
        m_server->routes["/moved"].status = "302 Found";
        m_server->routes["/moved"].headers = "Location: /feed\r\n";
        m_server->routes["/loop"].status = "301 Moved Permanently";
        m_server->routes["/loop"].headers = "Location: /loop\r\n";
        m_server->routes["/local"].status = "302 Found";
        m_server->routes["/local"].headers = "Location: file:///etc/passwd\r\n";
        m_server->routes["/large"].declaredLength = 2200000000;
        m_server->routes["/drip"].body = feedOf(itemOf("1.8"));
        m_server->routes["/drip"].dripMs = 50;
        makeChecker();
    }
    void cleanup()
    {
        m_presenter.reset();
        m_checker.reset();
        for (QWidget* widget : QApplication::topLevelWidgets())
            widget->close();
    }

    void whatAFeedLeadsTo_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("feed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("same version") << "/feed" << itemOf("1.7.521") << kNoUpdates;
        QTest::newRow("no item") << "/feed" << QByteArray() << kNoUpdates;
        QTest::newRow("newer version") << "/feed" << itemOf("1.8") << offerText("1.8");
        QTest::newRow("first usable item decides")
            << "/feed" << itemOf("1.9", "Q_OS_WIN32") + itemOf("1.8") << offerText("1.8");
        QTest::newRow("velmora:version wins")
            << "/feed" << itemOf("1.7.520").replace("sparkle:version", "velmora:version=\"2.0\" sparkle:version")
            << offerText("2.0");
        QTest::newRow("platform trimmed and upper-cased") << "/feed" << itemOf("1.8", "q_os_linux") << offerText("1.8");
        QTest::newRow("other platform only") << "/feed" << itemOf("1.8", "Q_OS_WIN32") << kFileError;
        QTest::newRow("no release notes") << "/feed" << itemOf("1.8", "Q_OS_LINUX", "") << kFileError;
        QTest::newRow("release notes not on the web")
            << "/feed" << itemOf("1.8", "Q_OS_LINUX", "<link>file:///etc/passwd</link>") << kFileError;
        QTest::newRow("download not on the web")
            << "/feed" << itemOf("1.8", "Q_OS_LINUX", "<link>ORIGIN/n</link>", "javascript:alert(1)") << kFileError;
        QTest::newRow("malformed") << "/feed" << QByteArray("<item><title>1.8</item>") << kFileError;
        QTest::newRow("huge") << "/feed" << QByteArray(5 * 1024 * 1024, ' ') << kFileError;
        QTest::newRow("declares 2.2 GB, sends nothing") << "/large" << QByteArray() << kFileError;
        QTest::newRow("drips a byte at a time") << "/drip" << QByteArray() << kNetworkError;
        QTest::newRow("redirect followed") << "/moved" << itemOf("1.8") << offerText("1.8");
        QTest::newRow("redirect loop") << "/loop" << QByteArray() << kNetworkError;
        QTest::newRow("redirect to a local file") << "/local" << QByteArray() << kNetworkError;
        QTest::newRow("not found") << "/missing" << QByteArray() << kNetworkError;
        // Nothing listens on port 1 of this machine: refused at once, no waiting.
        QTest::newRow("unreachable") << "http://127.0.0.1:1/feed" << QByteArray() << kNetworkError;
    }

    void whatAFeedLeadsTo()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, feed);
        QFETCH(QString, expected);
        serveFeed(feed);
        QCOMPARE(check(false, path), expected);
    }

    void remindInstallSkipAndSilentChecks()
    {
        // Without "sparkle:releaseNotesLink" the item's link names the notes.
        serveFeed(itemOf("1.8", "Q_OS_LINUX", "<link>ORIGIN/notes.html</link>"));
        QCOMPARE(check(), offerText("1.8"));
        auto* notes = visibleWindow<QWidget>("updateWindow")->findChild<QTextBrowser*>("releaseNotes");
        QTRY_VERIFY_WITH_TIMEOUT(notes->toPlainText().contains("Faster export."), 10000);
        click("remindButton");
        QCOMPARE(check(), offerText("1.8"));
        QTest::keyClick(visibleWindow<QWidget>("updateWindow"), Qt::Key_Escape);
        QTRY_VERIFY(!visibleWindow<QWidget>("updateWindow"));
        QCOMPARE(check(), offerText("1.8"));
        // The download opens only once the user confirms it.
        click("installButton");
        visibleWindow<QDialog>("updateConfirmDialog")->reject();
        QVERIFY(m_openedUrls.isEmpty() && visibleWindow<QWidget>("updateWindow"));
        click("installButton");
        visibleWindow<QDialog>("updateConfirmDialog")->accept();
        QCOMPARE(m_openedUrls, QList<QUrl>({QUrl(m_server->origin() + "/Velmora.tar.gz")}));
        QTRY_VERIFY(!visibleWindow<QWidget>("updateWindow"));

        // A skipped version stays skipped after a restart; a newer one is offered.
        QCOMPARE(check(), offerText("1.8"));
        click("skipButton");
        QCOMPARE(QSettings().value("LatestSkippedVersion").toString(), QStringLiteral("1.8"));
        makeChecker();
        QCOMPARE(check(), kNoUpdates);
        serveFeed(itemOf("1.9"));
        QCOMPARE(check(), offerText("1.9"));
        click("remindButton");
        // The silent check at start-up keeps quiet unless there is something to offer.
        serveFeed(itemOf("1.7.521"));
        QCOMPARE(check(true), QStringLiteral("Nothing"));
        m_server->routes.remove("/feed");
        QCOMPARE(check(true), QStringLiteral("Nothing"));
    }

    // Release notes and log records come from outside: only web links open.
    void linksOpenOnlyOnTheWeb_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("opens");
        QTest::newRow("http") << "http://velmora.invalid/notes" << true;
        QTest::newRow("https, upper case") << "HTTPS://velmora.invalid/notes" << true;
        QTest::newRow("local file") << "file:///etc/passwd" << false;
        QTest::newRow("script") << "javascript:alert(1)" << false;
        QTest::newRow("no host") << "http:/etc/passwd" << false;
    }
    void linksOpenOnlyOnTheWeb()
    {
        QFETCH(QString, link);
        QFETCH(bool, opens);
        for (const char* scheme : {"file", "javascript", "https"})
            QDesktopServices::setUrlHandler(scheme, this, "openUrl");
        CustomTextBrowser browser;
        browser.setHtml(QString("<a href=\"%1\">notes</a>").arg(link));
        emit browser.anchorClicked(QUrl(link));
        QCOMPARE(m_openedUrls, opens ? QList<QUrl> {QUrl(link)} : QList<QUrl>());
    }

    void versionOrder_data()
    {
        QTest::addColumn<QString>("older");
        QTest::addColumn<QString>("newer");
        QTest::newRow("last number") << "1.7.521" << QString("1.7.522");
        QTest::newRow("shorter but bigger") << "1.7.521" << QString("1.8");
        QTest::newRow("letters are a pre-release") << "1.8b" << QString("1.8");
        QTest::newRow("letters in order") << "1.8a" << QString("1.8b");
        QTest::newRow("extra number") << "1.8" << QString("1.8.1");
        QTest::newRow("numbers, not text") << "1.9" << QString("1.10");
        QTest::newRow("number beats separator") << "1. 2" << QString("1.2");
        QTest::newRow("period beats separator") << "1.8 1" << QString("1.8.1");
        QTest::newRow("letter loses to period") << "1.8rc1" << QString("1.8.1");
        QTest::newRow("beyond 64 bits") << "1.99999999999999999999" << QString("1.100000000000000000000");
    }

    void versionOrder()
    {
        QFETCH(QString, older);
        QFETCH(QString, newer);
        using Order = VersionComparator::Order;
        QCOMPARE(VersionComparator::compare(older.toLatin1(), newer.toLatin1()), Order::Older);
        QCOMPARE(VersionComparator::compare(newer.toLatin1(), older.toLatin1()), Order::Newer);
        QCOMPARE(VersionComparator::compare(newer.toLatin1(), newer.toLatin1()), Order::Same);
        QCOMPARE(VersionComparator::compare("1.07", "1.7"), Order::Same);
    }
};

QTEST_MAIN(UpdateCheckerTest)
#include "tst_updatechecker.moc"

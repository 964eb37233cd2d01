#include "AnalyticsTracker.h"
#include "LocalHttpServer.h"
#include "OsInfoService.h"

#include <QtTest> // and with it all of QtCore

#include <memory>
#include <vector>

namespace {

class FakeOsInfo : public OsInfoService {
public:
    QString versionText() const override { return QStringLiteral("Test OS 1.0\r\nInjected: yes"); }
    QString osName() const override { return QStringLiteral("TestOS"); }
    QString hardwareAddress() const override { return QStringLiteral("00:11:22:33:44:55"); }
};

const QString kUserId = QStringLiteral("1752461386"); // what the fake hardware address hashes to

QList<QPair<QString, QString>> queryOf(const QString& encodedUrl)
{
    return QUrlQuery(QUrl::fromEncoded(encodedUrl.toLatin1()).query(QUrl::FullyEncoded)).queryItems(QUrl::FullyDecoded);
}

QString utmeOf(const QString& encodedUrl)
{
    return QUrlQuery(QUrl::fromEncoded(encodedUrl.toLatin1()).query()).queryItemValue("utme", QUrl::FullyDecoded);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// The requests of a state file, or "<torn>" when it is missing or no whole document.
QStringList requestsInStateFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {"<torn>"};
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("trackerstate"))
        return {"<torn>"};
    QStringList requests;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("request"))
            requests << xml.readElementText();
    }
    return xml.hasError() ? QStringList({"<torn>"}) : requests;
}

QByteArray stateFile(const QString& userId, const QString& firstVisit, const QString& lastVisit, const QString& visits,
                     const QStringList& requests, const QString& version = QStringLiteral("1.0"))
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE gatrackerstate>\n"
                                 "<trackerstate version=\"%1\">\n    <userid>%2</userid>\n"
                                 "    <firstVisit>%3</firstVisit>\n    <lastVisit>%4</lastVisit>\n"
                                 "    <numberOfVisits>%5</numberOfVisits>\n    <requests%6>\n")
                      .arg(version, userId.toHtmlEscaped(), firstVisit, lastVisit, visits)
                      .arg(requests.isEmpty() ? "/" : "");
    for (const QString& request : requests)
        xml += QStringLiteral("        <request>%1</request>\n").arg(request.toHtmlEscaped());
    return (xml + (requests.isEmpty() ? "" : "    </requests>\n") + "</trackerstate>\n").toUtf8();
}

} // namespace

// The usage tracker: exact requests, the state file's bytes, hostile state
// files, the tracking switch, the sending thread against a local collector,
// and many threads recording at once.
class AnalyticsTrackerTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LocalHttpServer> m_collector;
    FakeOsInfo m_osInfo;

    QString statePath() const { return m_dir->filePath(QStringLiteral("GA_Tracker.xml")); }
    std::unique_ptr<AnalyticsTracker> makeTracker(QString collectorUrl = QString())
    {
        collectorUrl = collectorUrl.isEmpty() ? m_collector->origin() + "/ignored/path" : collectorUrl;
        auto tracker = std::make_unique<AnalyticsTracker>("UA-40217386-07", QUrl(collectorUrl), statePath(), &m_osInfo);
        tracker->setSendInterval(100);
        tracker->setTrackingEnabled(true);
        return tracker;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_collector = std::make_unique<LocalHttpServer>();
    }

    void requestsHaveExactParameters()
    {
        // Only scheme, host and port of the configured address count.
        auto tracker = makeTracker("http://127.0.0.1:8123/collect?x=1#frag");
        tracker->setScreen(QSize(2560, 1440), 30);
        tracker->trackEvent("model", "export", "vm3", 1);
        tracker->trackEvent("model", "export", "vm3", 1);
        // A ")" in a label would end the group early; "&", "=", "+", "#" would change the query.
        tracker->trackEvent("usage", "version", "1.7(521) 2016-09-21", -3);
        tracker->trackEvent("x*y", "it's", "!x&y=z+%41#", 0);
        const QString page = QStringLiteral("a&utmac=evil=1+2#frag%20 \u00e9\u4e2d");
        tracker->pageView(page);

        const QStringList pending = tracker->pendingRequests();
        QCOMPARE(pending.size(), 5);
        const QString visit = tracker->currentVisit();
        const QString expected
            = "http://127.0.0.1:8123/__utm.gif?utmt=event&utme=5(model*export*vm3)(1)&utmac=UA-40217386-07&utmcc="
            + QStringList({"__utma%3D999", kUserId, visit, visit, visit, "1"}).join('.')
            + QStringLiteral("&utmcs=UTF-8&utmn=%1&utmsc=30-bit&utmsr=2560x1440&utmul=%2&utmwv=4.3")
                  .arg(queryOf(pending[0]).value(5).second, QLocale::system().name().replace('_', '-'));
        QCOMPARE(pending[0], expected);
        QVERIFY(QRegularExpression("utmn=\\d+&").match(pending[0]).hasMatch());
        QVERIFY(pending[1] != pending[0]); // a fresh random number per request
        QCOMPARE(utmeOf(pending[2]), QStringLiteral("5(usage*version*1.7(521'1 2016-09-21)(-3)"));
        QCOMPARE(utmeOf(pending[3]), QStringLiteral("5(x'2y*it'0s*'3x&y=z+%41#)(0)"));
        QCOMPARE(queryOf(pending[3]).size(), 10);
        QCOMPARE(queryOf(pending[4]).size(), 9);
        QCOMPARE(queryOf(pending[4]).first(), qMakePair(QStringLiteral("utmp"), page));

        // The smallest 32-bit number's absolute value does not fit in 32 bits.
        QCOMPARE(AnalyticsTracker::userIdFromDigest(QByteArray::fromHex("00000080")), QStringLiteral("2147483648"));
        QCOMPARE(AnalyticsTracker::userIdFromDigest(QByteArray::fromHex("0102")), QStringLiteral("0"));
    }

    void hostileStateFiles_data()
    {
        // The tests' tracker sends to 127.0.0.1:9; only requests to it may leave the machine.
        const QString ours = QStringLiteral("http://127.0.0.1:9/__utm.gif?utmp=");
        const QStringList foreign = {ours + "A",
                                     "http://evil.example/__utm.gif?utmp=x",
                                     "file:///etc/passwd",
                                     "http://127.0.0.1:9/admin?delete=all",
                                     QString(ours).replace("http://", "http://user:secret@"),
                                     ours + "B"};
        const QByteArray whole = stateFile("4242", "1400000000", "1500000000", "41", {ours + "Kept"});
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("userId");
        QTest::addColumn<int>("visits");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("foreign requests")
            << stateFile("4242", "1", "2", "3", foreign) << "4242" << 4 << QStringList {ours + "A", ours + "B"};
        QTest::newRow("truncated") << whole.left(whole.size() - 40) << kUserId << 1 << QStringList();
        QTest::newRow("other version") << stateFile("4242", "1", "2", "41", {}, "2.0") << kUserId << 1 << QStringList();
        QTest::newRow("visits at the limit")
            << stateFile("4242", "1", "2", "2147483647", {}) << "4242" << INT_MAX << QStringList();
        QTest::newRow("user id not a number") << stateFile("12<b>", "1", "2", "3", {}) << kUserId << 4 << QStringList();
        QTest::newRow("entity expansion") << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE t [<!ENTITY a \"aaaaaaaaaa\">"
                                                        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><trackerstate "
                                                        "version=\"1.0\"><userid>&b;&b;&b;</userid></trackerstate>")
                                          << kUserId << 1 << QStringList();
    }

    void hostileStateFiles()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QStringList, kept);
        QVERIFY(writeFile(statePath(), contents));
        auto tracker = makeTracker("http://127.0.0.1:9/");
        QTEST(tracker->userId(), "userId");
        QTEST(tracker->numberOfVisits(), "visits");
        QCOMPARE(tracker->pendingRequests(), kept);
        // Reading never rewrites the file; the next save replaces it whole, leaving no temporary file.
        QCOMPARE(readAll(statePath()), contents);
        tracker->pageView("AppStart");
        QCOMPARE(readAll(statePath()),
                 stateFile(tracker->userId(), tracker->firstVisit(), tracker->currentVisit(),
                           QString::number(tracker->numberOfVisits()), tracker->pendingRequests()));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList({"GA_Tracker.xml"}));
    }

    void trackingSwitchHoldsQueueingWritingAndSending()
    {
        // While off nothing is queued, written or sent; what an earlier run left stays as it was.
        const QByteArray existing = stateFile("4242", "1", "2", "3", {m_collector->origin() + "/__utm.gif?utmp=Old"});
        QVERIFY(writeFile(statePath(), existing));
        auto tracker = makeTracker();
        tracker->setTrackingEnabled(false);
        tracker->trackEvent("model", "export", "vm3", 1);
        tracker->startSending();
        QVERIFY(!tracker->isSending());
        QCOMPARE(tracker->pendingRequests().size(), 1);
        QCOMPARE(readAll(statePath()), existing);

        // Switching on is recorded (switching off never is); then the queue goes out in order.
        tracker->setTrackingEnabled(true);
        tracker->trackEvent("model", "tracking", "switched_on", 1);
        const QStringList queued = tracker->pendingRequests();
        QCOMPARE(utmeOf(queued.last()), QStringLiteral("5(model*tracking*switched_on)(1)"));
        tracker->startSending();
        tracker->startSending(); // a second start changes nothing
        QTRY_COMPARE_WITH_TIMEOUT(m_collector->requests.size(), 2, 10000);
        // Line breaks in the system's own texts cannot add a header.
        const QByteArray agent = "\r\nUser-Agent: AnalyticsTracker/1.0 (TestOS; U; Test OS 1.0  Injected: yes; "
            + tracker->language().toUtf8() + ")\r\n";
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(m_collector->origin() + m_collector->requests[i].target, queued[i]);
            QVERIFY2(m_collector->requests[i].head.contains(agent), m_collector->requests[i].head.constData());
        }
        QTRY_COMPARE_WITH_TIMEOUT(requestsInStateFile(statePath()), QStringList(), 5000);
        // Recorded, then switched off before the timer woke the sender: held back.
        tracker->trackEvent("a", "b", "c", 2);
        tracker->setTrackingEnabled(false);
        QTest::qWait(500);
        QCOMPARE(m_collector->requests.size(), 2); // and nothing went twice
    }

    void concurrentEventsAreNeitherLostNorDuplicated()
    {
        auto tracker = makeTracker();
        tracker->startSending();
        const int threadCount = 8, eventsPerThread = 25;
        std::vector<std::unique_ptr<QThread>> producers;
        for (int t = 0; t < threadCount; ++t) {
            producers.emplace_back(QThread::create([&tracker, t] {
                for (int i = 0; i < eventsPerThread; ++i)
                    tracker->trackEvent("model", "warning", QStringLiteral("thread%1").arg(t), i);
            }));
            producers.back()->start();
        }
        // The state file is read all the while it is being replaced: it must always be a whole document.
        const int total = threadCount * eventsPerThread;
        int tornReads = 0;
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()
               && (m_collector->requests.size() < total || !tracker->pendingRequests().isEmpty())) {
            QCoreApplication::processEvents();
            tornReads += QFile::exists(statePath()) && requestsInStateFile(statePath()).contains("<torn>");
        }
        for (auto& producer : producers)
            QVERIFY(producer->wait(30000));
        QTest::qWait(300);
        QCOMPARE(m_collector->requests.size(), total);
        QCOMPARE(tornReads, 0);

        // Each event exactly once, and each thread's events in the order recorded.
        QHash<QString, int> nextValue;
        const QRegularExpression pattern(QStringLiteral("^5\\(model\\*warning\\*(thread\\d)\\)\\((\\d+)\\)$"));
        for (const LocalHttpServer::Request& request : qAsConst(m_collector->requests)) {
            const QRegularExpressionMatch match = pattern.match(utmeOf(request.target));
            QVERIFY2(match.hasMatch(), qPrintable(request.target));
            QCOMPARE(match.captured(2).toInt(), nextValue[match.captured(1)]++);
        }
        QCOMPARE(requestsInStateFile(statePath()), QStringList());
    }
};

QTEST_MAIN(AnalyticsTrackerTest)
#include "tst_analyticstracker.moc"

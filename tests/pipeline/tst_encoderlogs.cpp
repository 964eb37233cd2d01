// Encoder console lines to log records, and the logging table with its
// tracker counts.
#include "EncoderOutputParser.h"
#include "LoggingManager.h"

#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

namespace {

struct TrackedEvent {
    QString category, action, label;
    int value;
};

EncoderOutputLog record(LoggingPriorities::LoggingPriority priority, int code, const QString& title = QString(),
                        const QString& message = QString())
{
    EncoderOutputLog log;
    log.priority = priority;
    log.code = code;
    log.title = title;
    log.message = message;
    return log;
}

} // namespace

class TestEncoderLogs : public QObject {
    Q_OBJECT
private slots:
    void errorLineWithTitle();
    void warningLineWithoutTitle();
    void edgeLines_data();
    void edgeLines();
    void onlyPrefixedLinesBecomeRecords();
    void standardErrorComesFirst();
    void emptyOutputStillEmits();
    void escapedLineBreakSplitsMessage();
    void recordsTravelThroughQueuedSignals();

    void rowsIconsAndDetails();
    void parserBatchReplacesTable();
    void addLogsAppendsAfterExistingRows();
    void trackerCountsAccumulate();
    void codesOutsideRangesAreNotCounted();
    void rangeDecidesNotPriority();
    void managerAnnouncesEveryBatchAsError();
};

void TestEncoderLogs::errorLineWithTitle()
{
    EncoderOutputParser parser;
    parser.parseOutput(QStringLiteral("Error (GP#1234|Short title): Long text"));
    QCOMPARE(parser.logs().size(), 1);
    const EncoderOutputLog& log = parser.logs().first();
    QCOMPARE(log.priority, LoggingManager::Error);
    QCOMPARE(log.code, 1234);
    QCOMPARE(log.title, QStringLiteral("Short title"));
    QCOMPARE(log.message, QStringLiteral("Long text"));
}

void TestEncoderLogs::warningLineWithoutTitle()
{
    EncoderOutputParser parser;
    parser.parseOutput(QStringLiteral("Warning (GP#2001): Text"));
    QCOMPARE(parser.logs().size(), 1);
    const EncoderOutputLog& log = parser.logs().first();
    QCOMPARE(log.priority, LoggingManager::Warning);
    QCOMPARE(log.code, 2001);
    QCOMPARE(log.title, QStringLiteral(" Text"));
    QCOMPARE(log.message, QStringLiteral("Text"));
}

void TestEncoderLogs::edgeLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");

    QTest::newRow("no digits after #") << "Error (GP#): abcd" << -1 << " abcd" << "abcd";
    QTest::newRow("exactly prefix + 4") << "Error (GP#1): " << -1 << "" << "";
    QTest::newRow("short, 14 chars") << "Error (GP#12)x" << -1 << "" << "";
    QTest::newRow("prefix only") << "Error (GP#" << -1 << "" << "";
    QTest::newRow("digits stop at letter") << "Error (GP#12ab|T): m" << 12 << "T" << "m";
    QTest::newRow("bar after paren") << "Error (GP#1001): a|b" << 1001 << " a|b" << "a|b";
    QTest::newRow("empty title") << "Error (GP#1002|): msg" << 1002 << "" << "msg";
    QTest::newRow("nothing after paren") << "Error (GP#1003|Title)" << 1003 << "Title" << "";
    QTest::newRow("code too large") << "Error (GP#99999999999|T): m" << -1 << "T" << "m";
    QTest::newRow("second paren in text") << "Error (GP#1004|T): see (a)" << 1004 << "T" << "see (a)";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Error (GP#1005|Größe): Übergröße") << 1005
                               << QString::fromUtf8("Größe") << QString::fromUtf8("Übergröße");
}

void TestEncoderLogs::edgeLines()
{
    QFETCH(QString, line);
    QFETCH(int, code);
    QFETCH(QString, title);
    QFETCH(QString, message);

    EncoderOutputParser parser;
    parser.parseOutput(line);
    QCOMPARE(parser.logs().size(), 1);
    QCOMPARE(parser.logs().first().code, code);
    QCOMPARE(parser.logs().first().title, title);
    QCOMPARE(parser.logs().first().message, message);
    QCOMPARE(parser.logs().first().priority, LoggingManager::Error);
}

void TestEncoderLogs::onlyPrefixedLinesBecomeRecords()
{
    EncoderOutputParser parser;
    parser.parseOutput(QStringLiteral("Loading scene...\n"
                                      "  Warning (GP#2001|Indented): ignored\n"
                                      "warning (GP#2002|Lower case): ignored\n"
                                      "Warning (GP#2003|Kept): one\r\n"
                                      "Info (GP#3000|Other): ignored\n"
                                      "Error (GP#1001|Kept too): two\n"
                                      "\n"));
    QCOMPARE(parser.logs().size(), 2);
    QCOMPARE(parser.logs().at(0).code, 2003);
    QCOMPARE(parser.logs().at(0).message, QStringLiteral("one"));
    QCOMPARE(parser.logs().at(1).code, 1001);
    QCOMPARE(parser.logs().at(1).priority, LoggingManager::Error);
}

void TestEncoderLogs::standardErrorComesFirst()
{
    EncoderOutputParser parser;
    QSignalSpy spy(&parser, &EncoderOutputParser::outputParserDidGenerateOutputMessages);
    const QString standardOutput = QStringLiteral("Warning (GP#2001|W): w\n");
    const QString standardError = QStringLiteral("Error (GP#1001|E): e\n");
    parser.parseOutputs(standardError, standardOutput);
    QCOMPARE(spy.count(), 1);
    const auto logs = spy.first().first().value<EncoderOutputLogs>();
    QCOMPARE(logs.size(), 2);
    QCOMPARE(logs.at(0).code, 1001);
    QCOMPARE(logs.at(1).code, 2001);
}

void TestEncoderLogs::emptyOutputStillEmits()
{
    EncoderOutputParser parser;
    QSignalSpy spy(&parser, &EncoderOutputParser::outputParserDidGenerateOutputMessages);
    parser.parseOutputs(QString(), QString());
    QCOMPARE(spy.count(), 1);
    QVERIFY(spy.first().first().value<EncoderOutputLogs>().isEmpty());
}

void TestEncoderLogs::escapedLineBreakSplitsMessage()
{
    EncoderOutputParser parser;
    parser.parseOutput(QStringLiteral("Warning (GP#2005|T): first\\nsecond"));
    QCOMPARE(parser.logs().first().message, QStringLiteral("first\nsecond"));
}

void TestEncoderLogs::recordsTravelThroughQueuedSignals()
{
    EncoderOutputParser parser;
    LoggingManager manager;
    manager.setTrackEventSink(nullptr);
    connect(&parser, SIGNAL(outputParserDidGenerateOutputMessages(const EncoderOutputLogs&)), &manager,
            SLOT(outputParserDidGenerateOutputMessages(const EncoderOutputLogs&)), Qt::QueuedConnection);
    QSignalSpy spy(&manager, SIGNAL(loggingManagerHasNewLogsAvailable(const EncoderOutputLogs&,
                                                                       LoggingManager::LoggingPriority)));
    parser.parseOutputs(QStringLiteral("Error (GP#1001|E): e"), QString());
    QVERIFY(spy.wait(2000));
    QCOMPARE(spy.first().at(0).value<EncoderOutputLogs>().size(), 1);
    QCOMPARE(spy.first().at(1).value<LoggingManager::LoggingPriority>(), LoggingManager::Error);
}

void TestEncoderLogs::rowsIconsAndDetails()
{
    LoggingManager manager;
    manager.setTrackEventSink(nullptr);
    QCOMPARE(manager.model()->rowCount(), 2);
    QCOMPARE(manager.model()->columnCount(), 1);

    manager.outputParserDidGenerateOutputMessages(
        {record(LoggingManager::Warning, 2001, "warn title", "warn text"),
         record(LoggingManager::Error, 1001, "error title", "error text")});
    QCOMPARE(manager.model()->rowCount(), 2);
    QCOMPARE(manager.model()->item(0, 0)->text(), QStringLiteral("warn title"));
    QCOMPARE(manager.model()->item(1, 0)->text(), QStringLiteral("error title"));
    QCOMPARE(manager.detailMessage(0), QStringLiteral("warn text"));
    QCOMPARE(manager.detailMessage(1), QStringLiteral("error text"));
    QCOMPARE(manager.detailMessage(2), QString());
    QCOMPARE(manager.detailMessage(-1), QString());
    QCOMPARE(manager.rowCount(), 2);
    QVERIFY(manager.model()->item(0, 0)->data(Qt::DecorationRole).canConvert<QIcon>());
}

void TestEncoderLogs::parserBatchReplacesTable()
{
    LoggingManager manager;
    manager.setTrackEventSink(nullptr);
    manager.outputParserDidGenerateOutputMessages({record(LoggingManager::Error, 1001, "a"),
                                                   record(LoggingManager::Error, 1002, "b"),
                                                   record(LoggingManager::Error, 1003, "c")});
    QCOMPARE(manager.model()->rowCount(), 3);

    manager.outputParserDidGenerateOutputMessages({record(LoggingManager::Warning, 2001, "only", "new")});
    QCOMPARE(manager.model()->rowCount(), 1);
    QCOMPARE(manager.model()->item(0, 0)->text(), QStringLiteral("only"));
    QCOMPARE(manager.detailMessage(0), QStringLiteral("new"));
    QCOMPARE(manager.detailMessage(1), QString());
    QCOMPARE(manager.rowCount(), 1);
}

void TestEncoderLogs::addLogsAppendsAfterExistingRows()
{
    LoggingManager manager;
    manager.setTrackEventSink(nullptr);
    manager.outputParserDidGenerateOutputMessages({record(LoggingManager::Error, 1001, "encoder", "e")});
    manager.addLogs({record(LoggingManager::Warning, 0, "The 3d model is empty", "viewer")});
    QCOMPARE(manager.model()->item(0, 0)->text(), QStringLiteral("encoder"));
    QCOMPARE(manager.model()->item(1, 0)->text(), QStringLiteral("The 3d model is empty"));
    QCOMPARE(manager.detailMessage(1), QStringLiteral("viewer"));
    QCOMPARE(manager.rowCount(), 2);

    manager.clear();
    QCOMPARE(manager.model()->rowCount(), 0);
    QCOMPARE(manager.rowCount(), 0);
    QCOMPARE(manager.detailMessage(0), QString());
    // After a clear, records the viewer adds start at the first row again and
    // keep their own detail texts.
    manager.addLogs({record(LoggingManager::Warning, 0, "The 3d model is empty", "viewer")});
    QCOMPARE(manager.model()->rowCount(), 1);
    QCOMPARE(manager.detailMessage(0), QStringLiteral("viewer"));
    manager.outputParserDidGenerateOutputMessages({record(LoggingManager::Error, 1001, "again", "x")});
    QCOMPARE(manager.model()->item(0, 0)->text(), QStringLiteral("again"));
    QCOMPARE(manager.rowCount(), 1);
}

void TestEncoderLogs::trackerCountsAccumulate()
{
    LoggingManager manager;
    QVector<TrackedEvent> events;
    manager.setTrackEventSink([&](const QString& c, const QString& a, const QString& l, int v) {
        events.append({c, a, l, v});
    });

    EncoderOutputParser parser;
    parser.parseOutput(QStringLiteral("Error (GP#1500|A): x\nError (GP#1500|A): y\nWarning (GP#2500|B): z\n"
                                      "Error (GP#1200|C): w"));
    manager.outputParserDidGenerateOutputMessages(parser.logs());
    QCOMPARE(events.size(), 3);
    // Ascending code order, errors before warnings.
    QCOMPARE(events.at(0).category, QStringLiteral("model"));
    QCOMPARE(events.at(0).action, QStringLiteral("error"));
    QCOMPARE(events.at(0).label, QStringLiteral("1200"));
    QCOMPARE(events.at(0).value, 1);
    QCOMPARE(events.at(1).label, QStringLiteral("1500"));
    QCOMPARE(events.at(1).value, 2);
    QCOMPARE(events.at(2).action, QStringLiteral("warning"));
    QCOMPARE(events.at(2).label, QStringLiteral("2500"));
    QCOMPARE(events.at(2).value, 1);

    events.clear();
    manager.outputParserDidGenerateOutputMessages({record(LoggingManager::Error, 1500)});
    QCOMPARE(events.size(), 3);
    QCOMPARE(events.at(1).label, QStringLiteral("1500"));
    QCOMPARE(events.at(1).value, 3);
    QCOMPARE(events.at(0).value, 1); // running totals are reported again
    QCOMPARE(manager.errorCodeCounts().value(1500), 3);
}

void TestEncoderLogs::codesOutsideRangesAreNotCounted()
{
    LoggingManager manager;
    int calls = 0;
    manager.setTrackEventSink([&](const QString&, const QString&, const QString&, int) { ++calls; });
    manager.addLogs({record(LoggingManager::Error, 999), record(LoggingManager::Warning, 3000),
                     record(LoggingManager::Error, -1), record(LoggingManager::Warning, 0)});
    QCOMPARE(calls, 0);
    QVERIFY(manager.errorCodeCounts().isEmpty());
    QVERIFY(manager.warningCodeCounts().isEmpty());

    manager.addLogs({record(LoggingManager::Error, 1000), record(LoggingManager::Error, 2999)});
    QCOMPARE(manager.errorCodeCounts().value(1000), 1);
    QCOMPARE(manager.warningCodeCounts().value(2999), 1);
}

void TestEncoderLogs::rangeDecidesNotPriority()
{
    LoggingManager manager;
    manager.setTrackEventSink(nullptr);
    manager.addLogs({record(LoggingManager::Warning, 1999), record(LoggingManager::Error, 2000)});
    QCOMPARE(manager.errorCodeCounts().value(1999), 1);
    QCOMPARE(manager.warningCodeCounts().value(2000), 1);
}

void TestEncoderLogs::managerAnnouncesEveryBatchAsError()
{
    LoggingManager manager;
    manager.setTrackEventSink(nullptr);
    QSignalSpy spy(&manager, &LoggingManager::loggingManagerHasNewLogsAvailable);
    manager.addLogs({record(LoggingManager::Warning, 2001, "w")});
    manager.outputParserDidGenerateOutputMessages({});
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(1).value<LoggingManager::LoggingPriority>(), LoggingManager::Error);
    QCOMPARE(spy.at(0).at(0).value<EncoderOutputLogs>().first().title, QStringLiteral("w"));
    QVERIFY(spy.at(1).at(0).value<EncoderOutputLogs>().isEmpty());
}

QTEST_GUILESS_MAIN(TestEncoderLogs)
#include "tst_encoderlogs.moc"

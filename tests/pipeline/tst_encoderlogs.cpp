// Encoder console lines to log records, and the logging table with its
// tracker counts.
#include "EncoderOutputParser.h"
#include "LoggingManager.h"

#include <QStandardItemModel>
#include <QtTest>

static EncoderOutputLog record(LoggingPriorities::LoggingPriority priority, int code, QString title = {},
                               QString message = {})
{
    return {priority, code, title, message};
}

class TestEncoderLogs : public QObject {
    Q_OBJECT
private slots:
    void lineGrammar_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::newRow("title") << "Error (GP#1234|Short title): Long text" << 1234 << "Short title"
                               << "Long text";
        QTest::newRow("warning without title") << "Warning (GP#2001): Text" << 2001 << " Text"
                                               << "Text";
        QTest::newRow("no digits") << "Error (GP#): abcd" << -1 << " abcd"
                                   << "abcd";
        QTest::newRow("exactly prefix + 4") << "Error (GP#1): " << -1 << ""
                                            << "";
        QTest::newRow("short") << "Error (GP#12)x" << -1 << ""
                               << "";
        QTest::newRow("digits stop at letter") << "Error (GP#12ab|T): m" << 12 << "T"
                                               << "m";
        QTest::newRow("bar after paren") << "Error (GP#1001): a|b" << 1001 << " a|b"
                                         << "a|b";
        QTest::newRow("empty title") << "Error (GP#1002|): msg" << 1002 << ""
                                     << "msg";
        QTest::newRow("nothing after paren") << "Error (GP#1003|Title)" << 1003 << "Title"
                                             << "";
        QTest::newRow("code too large") << "Error (GP#99999999999|T): m" << -1 << "T"
                                        << "m";
        QTest::newRow("escaped line break") << "Warning (GP#2005|T): first\\nsecond" << 2005 << "T"
                                            << "first\nsecond";
    }

    void lineGrammar()
    {
        QFETCH(QString, line);
        EncoderOutputParser parser;
        parser.parseOutput(line);
        QCOMPARE(parser.logs().size(), 1);
        const EncoderOutputLog& log = parser.logs().first();
        QCOMPARE(log.priority, line.startsWith("Error") ? LoggingManager::Error : LoggingManager::Warning);
        QTEST(log.code, "code");
        QTEST(log.title, "title");
        QTEST(log.message, "message");
    }

    void onlyPrefixedLinesCountAndStandardErrorComesFirst()
    {
        EncoderOutputParser parser;
        QSignalSpy spy(&parser, &EncoderOutputParser::outputParserDidGenerateOutputMessages);
        parser.parseOutputs(QStringLiteral("Error (GP#1001|E): e\n"),
                            QStringLiteral("Loading scene...\n  Warning (GP#2001|Indented): no\n"
                                           "warning (GP#2002|Lower case): no\nWarning (GP#2003|Kept): one\r\n"
                                           "Info (GP#3000|Other): no\n\n"));
        QCOMPARE(spy.count(), 1);
        const auto logs = spy.first().first().value<EncoderOutputLogs>();
        QCOMPARE(logs.size(), 2);
        QCOMPARE(logs.at(0).code, 1001);
        QCOMPARE(logs.at(1).code, 2003);
        QCOMPARE(logs.at(1).message, QStringLiteral("one"));

        parser.clearLogs();
        parser.parseOutputs(QString(), QString()); // nothing printed still announces an empty batch
        QCOMPARE(spy.count(), 2);
        QVERIFY(spy.last().first().value<EncoderOutputLogs>().isEmpty());
    }

    void recordsTravelThroughQueuedSignals()
    {
        EncoderOutputParser parser;
        LoggingManager manager;
        manager.setTrackEventSink(nullptr);
        connect(&parser, &EncoderOutputParser::outputParserDidGenerateOutputMessages, &manager,
                &LoggingManager::outputParserDidGenerateOutputMessages, Qt::QueuedConnection);
        QSignalSpy spy(&manager, &LoggingManager::loggingManagerHasNewLogsAvailable);
        parser.parseOutputs(QStringLiteral("Warning (GP#2001|W): w"), QString());
        QVERIFY(spy.wait(2000));
        QCOMPARE(spy.first().at(0).value<EncoderOutputLogs>().size(), 1);
        // Every batch is announced as an error, whatever its records are.
        QCOMPARE(spy.first().at(1).value<LoggingManager::LoggingPriority>(), LoggingManager::Error);
    }

    void tableRowsAndDetails()
    {
        LoggingManager manager;
        manager.setTrackEventSink(nullptr);
        manager.outputParserDidGenerateOutputMessages(
            {record(LoggingManager::Error, 1001, "a", "a text"), record(LoggingManager::Error, 1002, "b", "b text")});
        QVERIFY(manager.model()->item(1, 0)->data(Qt::DecorationRole).canConvert<QIcon>());

        // A parser batch replaces the table; the viewer's records are appended.
        manager.outputParserDidGenerateOutputMessages({record(LoggingManager::Warning, 2001, "only", "new")});
        manager.addLogs({record(LoggingManager::Warning, 0, "The 3d model is empty", "viewer")});
        QCOMPARE(manager.model()->rowCount(), 2);
        QCOMPARE(manager.model()->item(0, 0)->text(), QStringLiteral("only"));
        QCOMPARE(manager.model()->item(1, 0)->text(), QStringLiteral("The 3d model is empty"));
        QCOMPARE(manager.detailMessage(1), QStringLiteral("viewer"));
        QVERIFY(manager.detailMessage(2).isNull() && manager.detailMessage(-1).isNull());

        // After a clear, the viewer's records start at the first row with their own texts.
        manager.clear();
        QVERIFY(manager.detailMessage(0).isNull());
        manager.addLogs({record(LoggingManager::Warning, 0, "again", "viewer again")});
        QVERIFY(manager.model()->rowCount() == 1 && manager.rowCount() == 1);
        QCOMPARE(manager.detailMessage(0), QStringLiteral("viewer again"));
    }

    void trackerCountsAccumulate()
    {
        LoggingManager manager;
        QStringList events;
        manager.setTrackEventSink([&](const QString& c, const QString& a, const QString& l, int v) {
            events << QStringList {c, a, l, QString::number(v)}.join('|');
        });
        EncoderOutputParser parser;
        parser.parseOutput(QStringLiteral("Error (GP#1500|A): x\nError (GP#1500|A): y\nWarning (GP#2500|B): z\n"
                                          "Error (GP#1200|C): w"));
        manager.outputParserDidGenerateOutputMessages(parser.logs());
        // Ascending code order, errors before warnings.
        QCOMPARE(events, (QStringList {"model|error|1200|1", "model|error|1500|2", "model|warning|2500|1"}));

        // Running totals are reported again with every batch.
        events.clear();
        manager.outputParserDidGenerateOutputMessages({record(LoggingManager::Error, 1500)});
        QCOMPARE(events, (QStringList {"model|error|1200|1", "model|error|1500|3", "model|warning|2500|1"}));

        // The code's range decides, not the priority; codes outside both ranges are not counted.
        events.clear();
        manager.addLogs({record(LoggingManager::Warning, 1999), record(LoggingManager::Error, 2000),
                         record(LoggingManager::Error, 999), record(LoggingManager::Warning, 3000),
                         record(LoggingManager::Error, -1), record(LoggingManager::Error, 1000),
                         record(LoggingManager::Error, 2999)});
        QCOMPARE(manager.errorCodeCounts(), (QMap<int, int> {{1000, 1}, {1200, 1}, {1500, 3}, {1999, 1}}));
        QCOMPARE(manager.warningCodeCounts(), (QMap<int, int> {{2000, 1}, {2500, 1}, {2999, 1}}));
    }
};

QTEST_GUILESS_MAIN(TestEncoderLogs)
#include "tst_encoderlogs.moc"

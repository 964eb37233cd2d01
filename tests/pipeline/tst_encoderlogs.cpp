// Encoder console lines to log records.
#include "EncoderOutputParser.h"
#include "LoggingManager.h"

#include <QtTest>

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
                               << QString("Long text");
        QTest::newRow("no digits") << "Error (GP#): abcd" << -1 << " abcd" << QString("abcd");
        QTest::newRow("short") << "Error (GP#12)x" << -1 << "" << QString();
        QTest::newRow("digits stop at letter") << "Error (GP#12ab|T): m" << 12 << "T" << QString("m");
        QTest::newRow("code too large") << "Error (GP#99999999999|T): m" << -1 << "T" << QString("m");
        QTest::newRow("escaped line break")
            << "Warning (GP#2005|T): first\\nsecond" << 2005 << "T" << QString("first\nsecond");
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
};

QTEST_GUILESS_MAIN(TestEncoderLogs)
#include "tst_encoderlogs.moc"

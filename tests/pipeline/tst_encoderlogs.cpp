// Encoder console lines to log records, and the environment the encoder runs in.
#include "EncoderChildProcess.h"
#include "EncoderOutputParser.h"
#include "EncoderProcess.h"

#include <QtTest>

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTemporaryFile>

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
        const EncoderOutputLogs logs = EncoderOutputParser::parse(line);
        QCOMPARE(logs.size(), 1);
        const EncoderOutputLog& log = logs.first();
        QCOMPARE(log.priority, line.startsWith("Error") ? LoggingPriorities::Error : LoggingPriorities::Warning);
        QTEST(log.code, "code");
        QTEST(log.title, "title");
        QTEST(log.message, "message");
    }

    void onlyPrefixedLinesCountAndStandardErrorComesFirst()
    {
        const EncoderOutputLogs logs = EncoderOutputParser::parse(
            QStringLiteral("Error (GP#1001|E): e\n"),
            QStringLiteral("Loading scene...\n  Warning (GP#2001|Indented): no\n"
                           "warning (GP#2002|Lower case): no\nWarning (GP#2003|Kept): one\r\n"
                           "Info (GP#3000|Other): no\n\n"));
        QCOMPARE(logs.size(), 2);
        QCOMPARE(logs.at(0).code, 1001);
        QCOMPARE(logs.at(1).code, 2003);
        QCOMPARE(logs.at(1).message, QStringLiteral("one"));
        QVERIFY(EncoderOutputParser::parse(QString(), QString()).isEmpty());
    }

    // Every code the encoder has, with hostile titles and texts, through the
    // encoder's own writing, the process's pipes and the parser.
    void recordsSurviveTheEncoderProcess_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("backslashes") << QByteArray("C:\\new\\model.fbx \\n \\\\x41 \\");
        QTest::newRow("quotes") << QByteArray("\"a b\" 'c' `d` |x) (GP#1000|y): z");
        QTest::newRow("line breaks") << QByteArray("/m/a\nError (GP#1001|x): b\r\n\n\t end");
        QTest::newRow("not UTF-8") << QByteArray("/m/\xff\xfe\xc3(\xe2\x82 \xed\xa0\x80 \x01\x7f \xc3\xa9");
    }

    void recordsSurviveTheEncoderProcess()
    {
        QFETCH(QByteArray, text);
        QFile codes(qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/encoder/MessageCodes.h");
        QVERIFY(codes.open(QIODevice::ReadOnly));
        QTemporaryFile list;
        QVERIFY(list.open());
        EncoderOutputLogs expected, warnings;
        static const QRegularExpression kCode(QStringLiteral("= (\\d{4}),"));
        for (auto it = kCode.globalMatch(codes.readAll()); it.hasNext();) {
            const QByteArray code = it.next().captured(1).toLatin1();
            const QByteArray title = "T|" + code + ") " + text.left(12);
            list.write(code + '\0' + title + '\0' + text + '\0');
            const EncoderOutputLog record {code < "2000" ? LoggingPriorities::Error : LoggingPriorities::Warning,
                                           code.toInt(), QString::fromUtf8(title), QString::fromUtf8(text)};
            (record.priority == LoggingPriorities::Error ? expected : warnings).append(record);
        }
        QVERIFY(expected.size() > 5 && warnings.size() > 20);
        list.close();
        const EncoderProcess::Result run
            = EncoderProcess::run(qEnvironmentVariable("VELMORA_BUILD_DIR") + "/tools/linux/model-encoder",
                                  {"--print-messages", list.fileName()}, QDir::tempPath());
        QCOMPARE(run.exitCode, 0);
        const EncoderOutputLogs records = EncoderOutputParser::parse(run.standardError, run.standardOutput);
        QCOMPARE(records.size(), expected.size() + warnings.size());
        expected += warnings;
        for (int i = 0; i < records.size(); ++i) {
            QCOMPARE(records[i].priority, expected[i].priority);
            QCOMPARE(records[i].code, expected[i].code);
            QCOMPARE(records[i].title, expected[i].title);
            QCOMPARE(records[i].message, expected[i].message);
        }
    }

    // The files a conversion read, with the digest of what it read, and the
    // files it missed, named exactly however odd their names.
    void filesUsedSurviveTheEncoderProcess_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("backslashes") << "C:\\new\\model";
        QTest::newRow("quotes") << "\"a\" 'b' `c`";
        QTest::newRow("line break, accent") << "one\ntwo\r\xc3\xa9";
    }

    void filesUsedSurviveTheEncoderProcess()
    {
        QFETCH(QString, name);
        const QString model = QDir::current().absoluteFilePath(name + ".obj");
        QFile file(model);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray content = "mtllib " + QFile::encodeName(name) + ".mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
        QVERIFY(file.write(content) == content.size());
        file.close();
        const QString encoder = qEnvironmentVariable("VELMORA_BUILD_DIR") + "/tools/linux/model-encoder";
        const EncoderProcess::Result run = EncoderProcess::run(
            encoder, EncoderProcess::arguments("root", "off", model, QDir::current().absoluteFilePath("m/model.gpb")),
            QDir::currentPath());
        QCOMPARE(run.exitCode, 0);
        const QByteArray md5 = QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex();
        QCOMPARE(EncoderOutputParser::filesRead(run.standardOutput), (QMap<QString, QByteArray> {{model, md5}}));
        const QString library = QDir::current().absoluteFilePath(name + ".mtl");
        QVERIFY2(EncoderOutputParser::filesMissing(run.standardOutput).contains(library),
                 qPrintable(run.standardOutput));
    }

    // Why a run left no model travels as a record of its own, never as text
    // to be parsed back.
    void failureRecords_data()
    {
        using Outcome = EncoderProcess::Outcome;
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("modelWritten");
        QTest::addColumn<QString>("title"); // empty: no record
        QTest::addColumn<QString>("message");
        QTest::newRow("wrote its model") << int(Outcome::Finished) << 0 << true << QString() << QString();
        QTest::newRow("cancelled") << int(Outcome::Cancelled) << 0 << false << QString() << QString();
        QTest::newRow("not started") << int(Outcome::FailedToStart) << 0 << false
                                     << "The model encoder could not be started"
                                     << "executed:\n/x/model-encoder";
        QTest::newRow("crashed after writing") << int(Outcome::Crashed) << 0 << true << "The model encoder crashed"
                                               << "converting the model:\n/x/model-encoder";
        QTest::newRow("exit code") << int(Outcome::Finished) << 3 << false << "The model could not be converted"
                                   << "failed with exit code 3.";
        QTest::newRow("silent, nothing written")
            << int(Outcome::Finished) << 0 << false << "The model could not be converted"
            << "without writing a model.";
    }

    void failureRecords()
    {
        QFETCH(int, outcome);
        QFETCH(int, exitCode);
        QFETCH(bool, modelWritten);
        QFETCH(QString, title);
        QFETCH(QString, message);
        EncoderProcess::Result result;
        result.outcome = EncoderProcess::Outcome(outcome);
        result.exitCode = exitCode;
        const EncoderOutputLogs records = EncoderProcess::failureRecords(result, "/x/model-encoder", modelWritten);
        QCOMPARE(records.size(), title.isEmpty() ? 0 : 1);
        if (title.isEmpty())
            return;
        QCOMPARE(records.first().priority, LoggingPriorities::Error);
        QCOMPARE(records.first().code, 0); // kept out of the encoder's error statistics
        QCOMPARE(records.first().title, title);
        QVERIFY2(records.first().message.endsWith(message), qPrintable(records.first().message));
    }

    // The encoder's heap asks for huge pages, after any malloc setting of the user's.
    void encoderEnvironment()
    {
        const QByteArray saved = qgetenv("GLIBC_TUNABLES");
        qputenv("GLIBC_TUNABLES", "glibc.malloc.check=3");
        const EncoderProcess::Result result = EncoderProcess::run(
            QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf %s \"$GLIBC_TUNABLES\"")},
            QDir::currentPath());
        qputenv("GLIBC_TUNABLES", saved);
        QCOMPARE(result.standardOutput, QStringLiteral("glibc.malloc.check=3:glibc.malloc.hugetlb=1"));
        QCOMPARE(EncoderChildProcess::withHugePages("glibc.malloc.hugetlb=0"),
                 QStringLiteral("glibc.malloc.hugetlb=0"));
    }
};

QTEST_GUILESS_MAIN(TestEncoderLogs)
#include "tst_encoderlogs.moc"

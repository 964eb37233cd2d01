// Encoder console lines to log records, and the environment the encoder runs in.
#include "EncoderChildProcess.h"
#include "EncoderOutputParser.h"
#include "EncoderProcess.h"

#include <QtTest>

#include <QCryptographicHash>
#include <QRegularExpression>

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

    // Every code the encoder has, with hostile titles and texts, and the files
    // a conversion used, with hostile names: through the encoder's own writing,
    // the process's pipes and the parser.
    void linesSurviveTheEncoderProcess_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("backslashes") << QByteArray("C:\\new\\model.fbx \\n \\\\x41 \\");
        QTest::newRow("quotes") << QByteArray("\"a b\" 'c' `d` |x) (GP#1000|y): z");
        QTest::newRow("line breaks") << QByteArray("a\nError (GP#1001|x): b\r\n\n\t end");
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe\xc3(\xe2\x82 \xed\xa0\x80 \x01\x7f \xc3\xa9");
    }

    void linesSurviveTheEncoderProcess()
    {
        QFETCH(QByteArray, text);
        QFile codes(qEnvironmentVariable("VELMORA_SOURCE_DIR") + "/encoder/MessageCodes.h"), list("list"),
            model(QDir::current().absoluteFilePath(QFile::decodeName(text) + ".obj"));
        QVERIFY(codes.open(QIODevice::ReadOnly) && list.open(QIODevice::WriteOnly) && model.open(QIODevice::WriteOnly));
        auto describe = [](const EncoderOutputLog& r) {
            return QString("%1 %2 %3 %4").arg(int(r.priority)).arg(r.code).arg(r.title, r.message);
        };
        QStringList expected[2]; // errors (standard error) before warnings
        for (auto it = QRegularExpression("= (\\d{4}),").globalMatch(codes.readAll()); it.hasNext();) {
            const QByteArray code = it.next().captured(1).toLatin1(), title = "T|" + code + ") " + text.left(12);
            list.write(code + '\0' + title + '\0' + text + '\0');
            const bool error = code < "2000";
            expected[error ? 0 : 1] << describe({error ? LoggingPriorities::Error : LoggingPriorities::Warning,
                                                 code.toInt(), QString::fromUtf8(title), QString::fromUtf8(text)});
        }
        const QByteArray content = "mtllib none.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
        QVERIFY(expected[1].size() > 20 && model.write(content) == content.size());
        list.close();
        model.close();
        const QString encoder = qEnvironmentVariable("VELMORA_BUILD_DIR") + "/tools/linux/model-encoder";
        const EncoderProcess::Result printed = EncoderProcess::run(encoder, {"--print-messages", "list"}, ".");
        QStringList records;
        for (const EncoderOutputLog& record : EncoderOutputParser::parse(printed.standardError, printed.standardOutput))
            records << describe(record);
        QCOMPARE(records, expected[0] + expected[1]);
        // The model's own name with ".mtl" is where the importer looks when the named library is missing.
        const QString path = model.fileName();
        const EncoderProcess::Result run = EncoderProcess::run(
            encoder, EncoderProcess::arguments("root", "off", path, QDir::current().absoluteFilePath("m/model.gpb")),
            ".");
        QCOMPARE(
            EncoderOutputParser::filesRead(run.standardOutput),
            (QMap<QString, QByteArray> {{path, QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex()}}));
        QVERIFY2(EncoderOutputParser::filesMissing(run.standardOutput).contains(path.chopped(3) + "mtl"),
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

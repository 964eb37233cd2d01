// The command line, repeated warnings and id handling: the parts of the
// encoder around the conversion itself.

#include "Encoder.h"
#include "EncoderTestSupport.h"
#include "IdRegistry.h"

#include <QFile>
#include <QtTest>

using namespace encodertest;

class TestBundleCli : public QObject {
    Q_OBJECT

private slots:
    void programExitsAsDocumented_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("code");
        QTest::newRow("missing input") << QStringList {"-m", "absent.fbx", "model/model.gpb"} << 1 << "1000";
        QTest::newRow("nothing") << QStringList {} << 2 << "1008";
        QTest::newRow("three paths") << QStringList {"a.fbx", "b.gpb", "c"} << 2 << "1008";
        QTest::newRow("unknown option") << QStringList {"-x", "in.fbx", "out.gpb"} << 2 << "1008";
        QTest::newRow("unknown grouping") << QStringList {"-group:all", "in.fbx", "out.gpb"} << 2 << "1008";
        QTest::newRow("unknown culling") << QStringList {"-cull:both", "in.fbx", "out.gpb"} << 2 << "1008";
        QTest::newRow("verbosity missing") << QStringList {"in.fbx", "out.gpb", "-v"} << 2 << "1008";
        QTest::newRow("verbosity not a number") << QStringList {"-v", "loud", "in.fbx", "out.gpb"} << 2 << "1008";
    }

    void programExitsAsDocumented()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, code);
        const Run run = runEncoder(arguments);
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(codes(run), QStringList {code});
        QCOMPARE(badMessageLine(run), QString());
        QVERIFY(!QFile::exists("model/model.gpb"));
    }

    void repeatedWarningsAreSummed()
    {
        // The application reads the pipe only after the encoder ends: at most 20 lines per code, then a count.
        Messages all;
        for (int i = 0; i < 30; ++i)
            all.warning(2003, "Empty mesh skipped", "mesh " + std::to_string(i));
        all.error(1005, "Cannot write bundle", "disk full");
        all.warning(2000, "Light type not supported", "ambient");
        QStringList kept;
        const Messages limited = Encoder::limitRepeats(all, 20);
        for (const Messages::Entry& e : limited.entries())
            kept << QString("%1 %2").arg(e.code).arg(QString::fromStdString(e.text).section(' ', 0, 1));
        QCOMPARE(kept.filter(QRegularExpression("^2003 mesh \\d+$")).size(), 20);
        QCOMPARE(kept.mid(20), QStringList({"1005 disk full", "2000 ambient", "2003 10 more"}));
    }

    void idsAreValidUtf8_data()
    {
        // Four-byte UTF-8 is kept; stray, overlong, surrogate and cut bytes are replaced one by one.
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("valid");
        QTest::newRow("kept") << QByteArray("a\xCE\xB2\xE3\x82\xAB\xF0\x9F\x98\x82")
                              << QByteArray("a\xCE\xB2\xE3\x82\xAB\xF0\x9F\x98\x82");
        QTest::newRow("stray") << QByteArray("a\xFF"
                                             "b")
                               << QByteArray("a_b");
        QTest::newRow("overlong") << QByteArray("\xC0\xAF") << QByteArray("__");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QByteArray("___");
        QTest::newRow("cut") << QByteArray("cut\xE3\x82") << QByteArray("cut__");
    }

    void idsAreValidUtf8()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, valid);
        QCOMPARE(QByteArray::fromStdString(IdRegistry::validUtf8(text.toStdString())), valid);
    }
};

QTEST_GUILESS_MAIN(TestBundleCli)
#include "tst_bundle_cli.moc"

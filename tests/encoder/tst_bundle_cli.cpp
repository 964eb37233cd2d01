// The command line, the FBX header checks and id handling: the parts of the
// encoder that decide what happens before any model is read.

#include "Encoder.h"
#include "EncoderTestSupport.h"
#include "IdRegistry.h"
#include "SourceProbe.h"

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

    void fbxHeadersAreRecognised_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QString>("seen");
        const QByteArray magic("Kaydara FBX Binary  \0", 21);
        QTest::newRow("binary 6.1") << magic + QByteArray("\x1a\0\xd4\x17\0\0", 6) << "fbx binary 6100";
        QTest::newRow("big-endian 7.5") << magic + QByteArray("\x1a\x01\0\0\x1d\x4c", 6)
                                        << "fbx binary big-endian 7500";
        QTest::newRow("spaces for NUL") << QByteArray("Kaydara FBX Binary   \x1a \x84\x1c  ") << "fbx binary damaged 0";
        QTest::newRow("cut after magic") << magic << "fbx binary damaged 0";
        QTest::newRow("ascii header wins over comment")
            << QByteArray("; FBX 7.4.0 project file\nFBXHeaderExtension: {\n FBXVersion: 6100\n") << "fbx 6100";
        QTest::newRow("obj") << QByteArray("v 0 0 0\nf 1 1 1\n") << "0";
    }

    void fbxHeadersAreRecognised()
    {
        QFETCH(QByteArray, head);
        QFETCH(QString, seen);
        const SourceProbe::FbxHeader h = SourceProbe::inspect(head.toStdString());
        QCOMPARE(QString(h.isFbx ? "fbx " : "") + (h.binary ? "binary " : "") + (h.bigEndian ? "big-endian " : "")
                     + (h.damaged ? "damaged " : "") + QString::number(h.version),
                 seen);
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

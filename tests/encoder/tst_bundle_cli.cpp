// The command line, the FBX header checks and id handling: the parts of the
// encoder that decide what happens before any model is read.

#include "CommandLine.h"
#include "Encoder.h"
#include "EncoderTestSupport.h"
#include "IdRegistry.h"
#include "SourceProbe.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace encodertest;

class TestBundleCli : public QObject {
    Q_OBJECT

private slots:
    void applicationArgumentListIsAccepted()
    {
        EncoderOptions options;
        std::string problem;
        const auto outcome = CommandLine::parse({"-group:take", "-cull:cw", "-m", "-v", "2", "-options",
                                                 "/models/a b.fbx", "/ws/res/model/model.gpb"},
                                                options, problem);
        QCOMPARE(int(outcome), int(CommandLine::Outcome::Run));
        QCOMPARE(int(options.grouping), int(AnimationGrouping::Take));
        QCOMPARE(int(options.culling), int(BackfaceCulling::Cw));
        QCOMPARE(options.verbosity, 2);
        QCOMPARE(options.inputPath, std::string("/models/a b.fbx"));
        QCOMPARE(options.outputPath, std::string("/ws/res/model/model.gpb"));
    }

    void everyValueParses_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("grouping");
        QTest::addColumn<int>("culling");
        QTest::newRow("none") << "-group:none" << int(AnimationGrouping::None) << int(BackfaceCulling::Off);
        QTest::newRow("root") << "-group:root" << int(AnimationGrouping::Root) << int(BackfaceCulling::Off);
        QTest::newRow("take") << "-group:take" << int(AnimationGrouping::Take) << int(BackfaceCulling::Off);
        QTest::newRow("off") << "-cull:off" << int(AnimationGrouping::Root) << int(BackfaceCulling::Off);
        QTest::newRow("ccw") << "-cull:ccw" << int(AnimationGrouping::Root) << int(BackfaceCulling::Ccw);
        QTest::newRow("cw") << "-cull:cw" << int(AnimationGrouping::Root) << int(BackfaceCulling::Cw);
        QTest::newRow("material") << "-cull:material" << int(AnimationGrouping::Root) << int(BackfaceCulling::Material);
    }

    void everyValueParses()
    {
        QFETCH(QString, argument);
        QFETCH(int, grouping);
        QFETCH(int, culling);
        EncoderOptions options;
        std::string problem;
        QCOMPARE(int(CommandLine::parse({argument.toStdString(), "in.fbx", "out/model.gpb"}, options, problem)),
                 int(CommandLine::Outcome::Run));
        QCOMPARE(int(options.grouping), grouping);
        QCOMPARE(int(options.culling), culling);
    }

    void badArgumentsAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("input only") << QStringList{"in.fbx"};
        QTest::newRow("three paths") << QStringList{"a.fbx", "b.gpb", "c"};
        QTest::newRow("unknown option") << QStringList{"-x", "in.fbx", "out.gpb"};
        QTest::newRow("unknown grouping") << QStringList{"-group:all", "in.fbx", "out.gpb"};
        QTest::newRow("empty culling") << QStringList{"-cull:", "in.fbx", "out.gpb"};
        QTest::newRow("verbosity missing") << QStringList{"in.fbx", "out.gpb", "-v"};
        QTest::newRow("verbosity not a number") << QStringList{"-v", "loud", "in.fbx", "out.gpb"};
    }

    void badArgumentsAreRefused()
    {
        QFETCH(QStringList, arguments);
        std::vector<std::string> list;
        for (const QString& a : arguments)
            list.push_back(a.toStdString());
        EncoderOptions options;
        std::string problem;
        QCOMPARE(int(CommandLine::parse(list, options, problem)), int(CommandLine::Outcome::Invalid));
        QVERIFY(!problem.empty());

        // The program itself: exit code 2 and one error line that says what is wrong.
        const Run run = runEncoder(arguments);
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(codes(run), QStringList{"1008"});
        QCOMPARE(badMessageLine(run.out, run.err), QString());
        QVERIFY(run.err.contains(QString::fromStdString(problem)));
    }

    void helpExplainsEveryOption()
    {
        const Run run = runEncoder({"--help"});
        QCOMPARE(run.exitCode, 0);
        for (const char* word : {"-group:none|root|take", "-cull:off|ccw|cw|material", "-m", "-v N", "-options",
                                 "take", "root", "none", "Exit code"})
            QVERIFY2(run.out.contains(word), word);
    }

    void missingInputIsAnError()
    {
        QTemporaryDir dir;
        const Run run = runEncoder({"-m", dir.path() + "/absent.fbx", dir.path() + "/model/model.gpb"});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(codes(run), QStringList{"1000"});
        QVERIFY(!QFile::exists(dir.path() + "/model/model.gpb"));
    }

    void fbxHeadersAreRecognised_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("isFbx");
        QTest::addColumn<bool>("binary");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<unsigned>("version");
        const QByteArray magic("Kaydara FBX Binary  \0", 21);
        QTest::newRow("binary 7.4") << magic + QByteArray("\x1a\0\xe8\x1c\0\0", 6) << true << true << false << false << 7400u;
        QTest::newRow("binary 6.1") << magic + QByteArray("\x1a\0\xd4\x17\0\0", 6) << true << true << false << false << 6100u;
        QTest::newRow("big-endian 7.5") << magic + QByteArray("\x1a\x01\0\0\x1d\x4c", 6) << true << true << true << false << 7500u;
        QTest::newRow("spaces for NUL") << QByteArray("Kaydara FBX Binary   \x1a \x84\x1c  ") << true << true << false << true << 0u;
        QTest::newRow("cut after magic") << magic << true << true << false << true << 0u;
        QTest::newRow("ascii 6.1 comment") << QByteArray("; FBX 6.1.0 project file\n; ---\n") << true << false << false << false << 6100u;
        QTest::newRow("ascii 7.3 header") << QByteArray("FBXHeaderExtension:  {\n\tFBXHeaderVersion: 1003\n\tFBXVersion: 7300\n")
                                         << true << false << false << false << 7300u;
        QTest::newRow("ascii header wins over comment")
            << QByteArray("; FBX 7.4.0 project file\nFBXHeaderExtension: {\n FBXVersion: 6100\n") << true << false << false << false << 6100u;
        QTest::newRow("obj") << QByteArray("v 0 0 0\nf 1 1 1\n") << false << false << false << false << 0u;
    }

    void fbxHeadersAreRecognised()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, isFbx);
        QFETCH(bool, binary);
        QFETCH(bool, bigEndian);
        QFETCH(bool, damaged);
        QFETCH(unsigned, version);
        const SourceProbe::FbxHeader header = SourceProbe::inspect(head.toStdString());
        QCOMPARE(header.isFbx, isFbx);
        QCOMPARE(header.binary, binary);
        QCOMPARE(header.bigEndian, bigEndian);
        QCOMPARE(header.damaged, damaged);
        QCOMPARE(header.version, version);
    }

    void oldAsciiFbxSaysWhichVersion()
    {
        QTemporaryDir dir;
        QFile file(dir.path() + "/old.fbx");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("; FBX 5.8.0 project file\nFBXHeaderExtension:  {\n\tFBXVersion: 5800\n}\n");
        file.close();
        const Run run = runEncoder({file.fileName(), dir.path() + "/m/model.gpb"});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(codes(run), QStringList{"1001"});
        QVERIFY(run.err.contains("FBX 5.8 file"));
        QVERIFY(run.err.contains("FBX 2011 or newer"));
    }

    void embeddedContentIsChecked_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("sound");
        QTest::newRow("none") << QByteArray("Objects: {\n}\n") << true;
        QTest::newRow("valid") << QByteArray("Video: 1 {\n Content: ,\n \"aGVsbG8=\"\n}\n") << true;
        QTest::newRow("valid, two pads") << QByteArray("Content: ,\"aGVsbA==\"") << true;
        QTest::newRow("empty") << QByteArray("Content: ,\"\"") << true;
        QTest::newRow("binary-style value") << QByteArray("Content: R: 12 bytes") << true;
        QTest::newRow("bad character") << QByteArray("Content: ,\"aGV!bG8=\"") << false;
        QTest::newRow("pad in the middle") << QByteArray("Content: ,\"aG=sbG8=\"") << false;
        QTest::newRow("length not a multiple of 4") << QByteArray("Content: ,\"aGVsbG8\"") << false;
        QTest::newRow("unterminated") << QByteArray("Content: ,\"aGVsbG8=") << false;
        QTest::newRow("second one bad") << QByteArray("Content: ,\"aGVsbG8=\"\nContent: ,\"a b=\"") << false;
    }

    void embeddedContentIsChecked()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, sound);
        QCOMPARE(SourceProbe::embeddedContentIsSound(text.toStdString()), sound);
    }

    void repeatedWarningsAreSummed()
    {
        Messages all;
        for (int i = 0; i < 30; ++i)
            all.warning(2003, "Empty mesh skipped", "mesh " + std::to_string(i));
        all.error(1005, "Cannot write bundle", "disk full");
        all.warning(2000, "Light type not supported", "ambient");
        const Messages limited = Encoder::limitRepeats(all, 20);
        int empty = 0;
        bool summary = false, error = false, light = false;
        for (const auto& e : limited.entries()) {
            empty += e.code == 2003;
            summary = summary || (e.code == 2003 && e.text.rfind("10 more", 0) == 0);
            error = error || (e.error && e.code == 1005);
            light = light || e.code == 2000;
        }
        QCOMPARE(empty, 21);
        QVERIFY(summary && error && light);
    }

    void idsAreUniqueAndValidUtf8()
    {
        IdRegistry ids;
        QCOMPARE(ids.claim("Box", "node"), std::string("Box"));
        QCOMPARE(ids.claim("Box", "node"), std::string("Box__2"));
        QCOMPARE(ids.claim("Box__2", "node"), std::string("Box__2__2"));
        QCOMPARE(ids.claim("Box", "node"), std::string("Box__3"));
        QCOMPARE(ids.claim("", "node"), std::string("node"));
        QCOMPARE(ids.claim("", "node"), std::string("node__2"));
        // Four-byte UTF-8 is kept; stray, overlong and surrogate bytes are replaced one by one.
        QCOMPARE(IdRegistry::validUtf8("a\xCE\xB2\xE3\x82\xAB\xF0\x9F\x98\x82"), std::string("a\xCE\xB2\xE3\x82\xAB\xF0\x9F\x98\x82"));
        QCOMPARE(IdRegistry::validUtf8("a\xFF" "b"), std::string("a_b"));
        QCOMPARE(IdRegistry::validUtf8("\xC0\xAF"), std::string("__"));
        QCOMPARE(IdRegistry::validUtf8("\xED\xA0\x80"), std::string("___"));
        QCOMPARE(IdRegistry::validUtf8("cut\xE3\x82"), std::string("cut__"));
    }
};

QTEST_GUILESS_MAIN(TestBundleCli)
#include "tst_bundle_cli.moc"

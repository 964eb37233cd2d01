// The batch converter: "--convert INPUT OUTPUT.vm3" in a scratch install tree
// (bin/, tools/linux/model-encoder, res/shaders), its exit codes, what it
// prints to standard error and the archive it writes.
#include "PipelineTestSupport.h"

#include "CommandLineConverter.h"

#include <QBuffer>
#include <QImage>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

using namespace testsupport;

class TestCommandLine : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& relative) const { return m_dir.path() + '/' + relative; }
    ProcessResult convert(const QStringList& arguments)
    {
        return runProgram(path("app/bin/Velmora3dEncoder"), arguments, m_dir.path());
    }
    void start(QProcess& process, const QStringList& arguments)
    {
        process.setWorkingDirectory(m_dir.path());
        process.start(path("app/bin/Velmora3dEncoder"), arguments);
    }
    QStringList workspaces() const
    {
        return QDir(path("tmp/Velmora3dEncoder")).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    QStringList sortedEntries(const QString& archive)
    {
        QStringList entries = QString(runProgram("unzip", {"-Z1", archive}).out).split('\n', Qt::SkipEmptyParts);
        entries.sort();
        return entries;
    }

private slots:
    void initTestCase()
    {
        qputenv("TMPDIR", path("tmp").toUtf8()); // the converter's workspaces go below it
        QVERIFY(QDir().mkpath(path("app/bin")));
        QVERIFY(QFile::copy(VELMORA_CONVERT_PROBE, path("app/bin/Velmora3dEncoder")));
        QVERIFY(
            QFile::setPermissions(path("app/bin/Velmora3dEncoder"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }

    void init()
    {
        QDir(path("tmp")).removeRecursively();
        QDir(path("out")).removeRecursively();
        QVERIFY(QDir().mkpath(path("tmp")) && QDir().mkpath(path("out")));
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Normal, path("record")));
        QFile::remove(path("record/args.txt"));
    }

    void consoleModeIsRecognised()
    {
        // Each case ends in whether it asks for console mode; the last is a file really named "--convert".
        for (const char* line : {"--convert a.fbx b.vm3 1", "--convert=a.fbx b.vm3 1", "-h 1", "--version 1", "0",
                                 "model.fbx 0", "--converted.fbx 0", "-- --convert 0"}) {
            QList<QByteArray> arguments = ("Velmora3dEncoder " + QByteArray(line)).split(' ');
            const bool expected = arguments.takeLast() == "1";
            QVector<char*> argv;
            for (QByteArray& argument : arguments)
                argv.append(argument.data());
            QVERIFY2(CommandLineConverter::wantsConsoleMode(argv.size(), argv.data()) == expected, line);
        }
    }

    void helpVersionAndWindowMode()
    {
        const ProcessResult help = convert({"--help"});
        QVERIFY2(help.exitCode == 0 && help.out.contains("--convert <INPUT>") && help.out.contains("OUTPUT.vm3")
                     && help.out.contains("--grouping <MODE>") && help.out.contains("--culling <MODE>"),
                 help.out);
        const ProcessResult version = convert({"--version"});
        QVERIFY(version.exitCode == 0 && version.out.trimmed() == "Velmora3dEncoder 1.7");
        const ProcessResult window = convert({path("some.fbx")});
        QVERIFY(window.exitCode == 42 && window.out == "window mode\n");
    }

    void wrongArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no output") << QStringList {"--convert", "in.fbx"} << "exactly one output file";
        QTest::newRow("unknown option") << QStringList {"--convert", "in.fbx", "a.vm3", "--fast"} << "Unknown option";
        QTest::newRow("output not vm3") << QStringList {"--convert", "@input", "out.zip"} << "must end in .vm3";
        QTest::newRow("bad grouping") << QStringList {"--convert", "@input", "a.vm3", "--grouping", "all"}
                                      << "--grouping must be none, root or take";
        QTest::newRow("bad culling") << QStringList {"--convert", "@input", "a.vm3", "--culling=CW"}
                                     << "--culling must be off, ccw, cw or material";
    }

    void wrongArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QVERIFY(writeFile(path("in/model.fbx"), "fbx"));
        const ProcessResult run = convert(arguments.replaceInStrings("@input", path("in/model.fbx")));
        QCOMPARE(run.exitCode, int(CommandLineConverter::UsageError));
        QVERIFY2(QString(run.err).contains(message), run.err);
        QVERIFY(!QFileInfo::exists(path("out.zip")));
    }

    void fbxConvertsAndPrintsRecords()
    {
        const QString input = path("in/Tree model.FBX");
        QVERIFY(writeFile(input, "fbx tree"));
        const ProcessResult run = convert({"--convert", input, path("out/tree.vm3")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err,
                 QByteArray("error GP#1001 [Fake error] from stderr / second line\n"
                            "warning GP#2001 [Fake warning] from stdout\n"));
        QStringList entries
            = QString(runProgram("unzip", {"-Z1", path("out/tree.vm3")}).out).split('\n', Qt::SkipEmptyParts);
        entries.sort();
        QCOMPARE(entries,
                 (QStringList {"model/model.gpb", "model/shaders/colored.vert", "model/shaders/lib/common.glsl",
                               "model/version"}));
        QCOMPARE(runProgram("unzip", {"-p", path("out/tree.vm3"), "model/model.gpb"}).out,
                 FakeEncoder::bundleBytesFor(input));
        // The window's menu choices do not reach the console; the options do.
        QSettings window("com.velmora", "velmoraEncoder");
        window.setValue("Import/AnimationGrouping", "take");
        window.setValue("Import/BackfaceCulling", "ccw");
        window.sync();
        QCOMPARE(readFile(path("record/args.txt")).split('\n').mid(0, 2),
                 (QList<QByteArray> {"-group:root", "-cull:off"}));
        QCOMPARE(
            convert({"--convert", input, path("out/tree.vm3"), "--grouping", "none", "--culling", "material"}).exitCode,
            0);
        QCOMPARE(readFile(path("record/args.txt")).split('\n').mid(0, 2),
                 (QList<QByteArray> {"-group:none", "-cull:material"}));
        QCOMPARE(convert({"--convert", input, path("out/tree.vm3")}).exitCode, 0);
        QCOMPARE(readFile(path("record/args.txt")).split('\n').mid(0, 2),
                 (QList<QByteArray> {"-group:root", "-cull:off"}));
        // The workspace is gone; only the list of pending deletions may remain.
        const QStringList left
            = QDir(path("tmp/Velmora3dEncoder")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        QVERIFY2(left.isEmpty() || left == QStringList {"props.ini"}, qPrintable(left.join(',')));
    }

    void containerIsRepacked()
    {
        QVERIFY(QDir().mkpath(path("in")) && ZipFixture::write(path("in/a.VM3"), ZipFixture::validModel("4", "1.5")));
        const ProcessResult run = convert({"--convert", path("in/a.VM3"), path("out/b.vm3")});
        QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), run.err);
        QCOMPARE(runProgram("unzip", {"-p", path("out/b.vm3"), "model/version"}).out,
                 ZipFixture::versionFile("1.5", "4"));
    }

    void failuresExitWithTheirCode_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("missing input") << "none.fbx" << int(CommandLineConverter::InputError)
                                       << QStringList {"does not exist", "none.fbx"};
        QTest::newRow("folder input") << "folder.fbx" << int(CommandLineConverter::InputError)
                                      << QStringList {"The input is a folder, not a file"};
        QTest::newRow("fifo input") << "fifo.fbx" << int(CommandLineConverter::InputError)
                                    << QStringList {"The input is a named pipe (FIFO), not a file"};
        QTest::newRow("device input") << "/dev/null" << int(CommandLineConverter::InputError)
                                      << QStringList {"The input is a device, not a file: /dev/null"};
        QTest::newRow("unsupported input")
            << "model.blend" << int(CommandLineConverter::InputError) << QStringList {"Unsupported file type", ".glb"};
        QTest::newRow("encoder missing") << "model.fbx" << int(CommandLineConverter::EncoderFailed)
                                         << QStringList {"model encoder was not found",
                                                         "/app/tools/linux/model-encoder"};
        QTest::newRow("encoder crashes") << "model.fbx" << int(CommandLineConverter::EncoderFailed)
                                         << QStringList {"The model encoder crashed",
                                                         "warning GP#2002 [Before crash] about to crash"};
        QTest::newRow("encoder fails") << "model.fbx" << int(CommandLineConverter::EncoderFailed)
                                       << QStringList {"error GP#1002 [Cannot read] the file is not an FBX file\n"
                                                       "The model encoder failed with exit code 3.\n"};
        QTest::newRow("output not writable")
            << "model.fbx" << int(CommandLineConverter::OutputError) << QStringList {"Cannot write the output file"};
        QTest::newRow("too new")
            << "too-new.vm3" << int(CommandLineConverter::ContainerRefused)
            << QStringList {"VM3 file format version not supported. Please update your Application Velmora3dEncoder"};
        QTest::newRow("damaged") << "damaged.vm3" << int(CommandLineConverter::ContainerRefused)
                                 << QStringList {"is damaged"};
        QTest::newRow("zip slip") << "slip.vm3" << int(CommandLineConverter::ContainerRefused)
                                  << QStringList {"was refused"};
        QTest::newRow("no model in it") << "bare.vm3" << int(CommandLineConverter::ContainerRefused)
                                        << QStringList {"holds no model"};
    }

    void failuresExitWithTheirCode()
    {
        QFETCH(QString, input);
        QFETCH(int, exitCode);
        QFETCH(QStringList, messages);
        const QString tag = QTest::currentDataTag();
        if (tag == "folder input")
            QVERIFY(QDir().mkpath(path("in/") + input));
        else if (tag == "fifo input")
            QVERIFY(QDir().mkpath(path("in")) && ::mkfifo(QFile::encodeName(path("in/") + input), 0600) == 0);
        else if (input != "none.fbx" && !input.startsWith('/'))
            QVERIFY(writeFile(path("in/") + input, "PK\x03\x04 this is not really a zip file"));
        if (tag == "encoder missing")
            QFile::remove(path("app/tools/linux/model-encoder"));
        if (tag == "encoder crashes" || tag == "encoder fails")
            QVERIFY(FakeEncoder::install(path("app"),
                                         tag == "encoder crashes" ? FakeEncoder::Behaviour::Crash
                                                                  : FakeEncoder::Behaviour::FailWithoutModel,
                                         path("record")));
        if (tag == "too new")
            QVERIFY(ZipFixture::write(path("in/") + input, ZipFixture::validModel("5")));
        if (tag == "no model in it")
            QVERIFY(ZipFixture::write(path("in/") + input, {{"model/version", ZipFixture::versionFile("1.7", "4")}}));
        if (tag == "zip slip")
            QVERIFY(ZipFixture::write(path("in/") + input, {{"model/version", "{}"}, {"../../../escaped", "x"}}));
        QVERIFY(writeFile(path("out/keep.vm3"), "previous export"));
        QVERIFY(writeFile(path("out/blocker"), "a file, not a folder"));
        const QString output = path(tag == "output not writable" ? "out/blocker/x.vm3" : "out/keep.vm3");

        const ProcessResult run = convert({"--convert", input.startsWith('/') ? input : path("in/") + input, output});
        QCOMPARE(run.exitCode, exitCode);
        for (const QString& message : messages)
            QVERIFY2(QString(run.err).contains(message), run.err);
        // The previous output survives; the encoder does not run for an unwritable output.
        QCOMPARE(readFile(path("out/keep.vm3")), QByteArray("previous export"));
        QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden), (QStringList {"blocker", "keep.vm3"}));
        QVERIFY(!QFileInfo::exists(path("escaped")));
        QVERIFY(tag != "output not writable" || !QFileInfo::exists(path("record/args.txt")));
    }

    void parallelRunsOfOneFileShareNoWorkspace()
    {
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Brief, path("record")));
        const QString input = path("in/same.fbx");
        QVERIFY(writeFile(input, "same content"));
        QProcess runs[4];
        for (int i = 0; i < 4; ++i)
            start(runs[i], {"--convert", input, path(QString("out/%1.vm3").arg(i))});
        for (int i = 0; i < 4; ++i) {
            QVERIFY(runs[i].waitForFinished(60000));
            QVERIFY2(runs[i].exitCode() == 0, runs[i].readAllStandardError());
            QCOMPARE(sortedEntries(path(QString("out/%1.vm3").arg(i))),
                     (QStringList {"model/model.gpb", "model/shaders/colored.vert", "model/shaders/lib/common.glsl",
                                   "model/version"}));
        }
        QCOMPARE(workspaces(), QStringList());
    }

    void stoppedConverterLeavesNothingBehind_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGKILL") << int(SIGKILL);
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void stoppedConverterLeavesNothingBehind()
    {
        QFETCH(int, signalNumber);
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Slow, path("record")));
        QFile::remove(path("record/pid.txt"));
        const QString input = path("in/slow.fbx");
        QVERIFY(writeFile(input, "slow model"));
        QProcess converter;
        start(converter, {"--convert", input, path("out/slow.vm3")});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path("record/args.txt")), 30000);
        const qint64 encoder = readFile(path("record/pid.txt")).trimmed().toLongLong();
        QVERIFY(processRuns(encoder));
        QCOMPARE(::kill(pid_t(converter.processId()), signalNumber), 0);
        QVERIFY(converter.waitForFinished(30000));
        QCOMPARE(converter.exitStatus(), QProcess::CrashExit);
        // The encoder goes with its converter; the stand-in would run for 20 s.
        QTRY_VERIFY_WITH_TIMEOUT(!processRuns(encoder), 10000);
        if (signalNumber == SIGKILL) {
            // Nothing could clean up; the next run removes what the dead one left.
            QCOMPARE(workspaces().size(), 1);
            QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Normal, path("record")));
            QVERIFY(writeFile(path("in/next.fbx"), "next model"));
            QCOMPARE(convert({"--convert", path("in/next.fbx"), path("out/next.vm3")}).exitCode, 0);
        }
        QCOMPARE(workspaces(), QStringList());
        QVERIFY(!QFileInfo::exists(path("out/slow.vm3")));
    }

    void fullDiskIsNamed_data()
    {
        QTest::addColumn<int>("entries"); // of 600 KB / count, random
        QTest::addColumn<QString>("message");
        QTest::newRow("unpacking") << 1 << "could not be unpacked";
        QTest::newRow("exporting") << 6 << "Writing " + path("out/full.vm3") + " failed: ";
    }

    void fullDiskIsNamed()
    {
        QFETCH(int, entries);
        QFETCH(QString, message);
        ZipFixture::Entries model = ZipFixture::validModel();
        QRandomGenerator random(7);
        for (int i = 0; i < entries; ++i) {
            QByteArray bytes(600 * 1024 / entries, '\0');
            random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
            model.append({QString("model/tex/%1.bin").arg(i), bytes});
        }
        QVERIFY(QDir().mkpath(path("in")) && ZipFixture::write(path("in/big.vm3"), model));
        // A file size limit fails writes the way a full disk does (EFBIG
        // rather than ENOSPC), without needing a small file system.
        const ProcessResult run
            = runProgram("/bin/sh",
                         {"-c", "trap '' XFSZ; ulimit -f 256; exec \"$0\" \"$@\"", path("app/bin/Velmora3dEncoder"),
                          "--convert", path("in/big.vm3"), path("out/full.vm3")},
                         m_dir.path());
        QCOMPARE(run.exitCode, int(CommandLineConverter::OutputError));
        QVERIFY2(QString(run.err).contains(message) && run.err.contains("File too large"), run.err);
        QVERIFY2(!run.err.contains("Exporting to") && !run.err.contains("Unknown error"), run.err);
        QVERIFY(!QFileInfo::exists(path("out/full.vm3")));
        QCOMPARE(workspaces(), QStringList());
    }

    void thumbnail_data()
    {
        QTest::addColumn<QString>("preview"); // "png", "none", "broken png", "not a zip", "missing file"
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QSize>("written"); // 0x0: no file may exist
        QTest::newRow("wide, scaled down") << "png"
                                           << "64" << 0 << QSize(64, 32);
        QTest::newRow("scaled up") << "png"
                                   << "400" << 0 << QSize(400, 200);
        QTest::newRow("no preview") << "none"
                                    << "64" << int(CommandLineConverter::ContainerRefused) << QSize(0, 0);
        QTest::newRow("damaged preview") << "broken png"
                                         << "64" << int(CommandLineConverter::ContainerRefused) << QSize(0, 0);
        QTest::newRow("damaged container") << "not a zip"
                                           << "64" << int(CommandLineConverter::ContainerRefused) << QSize(0, 0);
        QTest::newRow("missing input") << "missing file"
                                       << "64" << int(CommandLineConverter::InputError) << QSize(0, 0);
        QTest::newRow("size not a number") << "png"
                                           << "big" << int(CommandLineConverter::UsageError) << QSize(0, 0);
        QTest::newRow("size zero") << "png"
                                   << "0" << int(CommandLineConverter::UsageError) << QSize(0, 0);
    }

    void thumbnail()
    {
        QFETCH(QString, preview);
        QFETCH(QString, size);
        QFETCH(int, exitCode);
        QFETCH(QSize, written);
        QImage image(256, 128, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QBuffer png;
        QVERIFY(png.open(QIODevice::WriteOnly) && image.save(&png, "PNG"));
        ZipFixture::Entries entries = ZipFixture::validModel();
        if (preview == "png" || preview == "broken png")
            entries.append({"model/.meta/perspective.png", preview == "png" ? png.data() : png.data().left(60)});
        const QString input = path("in/model.vm3");
        QVERIFY(QDir().mkpath(path("in")));
        QFile::remove(input);
        if (preview == "not a zip")
            QVERIFY(writeFile(input, "PK\x03\x04 truncated"));
        else if (preview != "missing file")
            QVERIFY(ZipFixture::write(input, entries));

        const ProcessResult run = convert({"--thumbnail", input, path("out/thumb.png"), size});
        QVERIFY2(run.exitCode == exitCode, run.err);
        QCOMPARE(QImage(path("out/thumb.png")).size(), written);
        QCOMPARE(QFileInfo::exists(path("out/thumb.png")), !written.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"

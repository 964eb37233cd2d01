// The program's console mode as main() runs it, in a scratch install tree
// (bin/, tools/linux/model-encoder, res/shaders): "--convert INPUT OUTPUT.vm3"
// with its exit codes, the records it prints to standard error and the
// archive it writes; the batch form "--convert --output-dir DIR INPUT..."
// with its report, shards, skipping and stopping; "--thumbnail" and "--info".
#include "PipelineTestSupport.h"

#include "CommandLineConverter.h"
#include "ConversionStamp.h"
#include "CpuAllowance.h"
#include "ShardSelection.h"
#include "VersionFile.h"
#include "ZipArchiveWriter.h"
#include "ZipEntryReader.h"

#include "../engine/GpbBuilder.h"

#include <QBuffer>
#include <QImage>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

// What a conversion with the stand-in encoder writes.
const QStringList kConverted
    = {"model/.meta/info", "model/.meta/perspective.png", "model/.meta/source.json",       "model/.meta/topdown.png",
       "model/model.gpb",  "model/shaders/colored.vert",  "model/shaders/lib/common.glsl", "model/version"};

// The batch report: one JSON object per line, records first, the summary last.
QVector<QJsonObject> reportLines(const QString& path)
{
    QVector<QJsonObject> lines;
    for (const QByteArray& line : readFile(path).split('\n')) {
        if (!line.isEmpty())
            lines.append(QJsonDocument::fromJson(line).object());
    }
    return lines;
}

// Shaders of 21 KB that include the next level four times over 15 levels:
// some 4^15 copies of the last one when expanded.
ZipFixture::Entries fanOutShaders()
{
    ZipFixture::Entries shaders;
    for (int level = 0; level < 15; ++level)
        shaders.append({QString("model/shaders/fan/l%1.glsl").arg(level),
                        level == 14 ? QByteArray(1400, 'x')
                                    : QString("#include \"l%1.glsl\"\n").arg(level + 1).repeated(4).toUtf8()});
    return shaders;
}

class TestCommandLine : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& relative) const { return m_dir.path() + '/' + relative; }
    ProcessResult convert(const QStringList& arguments)
    {
        return runProgram(path("app/bin/Velmora3dEncoder"), arguments, m_dir.path());
    }
    // Rewrites a container as a valid model with the same conversion record,
    // then repeats an entry or flips a byte of the bundle's stored data.
    static bool damageKeepingStamp(const QString& container, bool duplicate)
    {
        QByteArray stamp;
        if (ZipEntryReader::read(container, ConversionStamp::entryName(), 1 << 16, &stamp)
            != ZipEntryReader::Status::Read)
            return false;
        ZipFixture::Entries entries = ZipFixture::validModel()
            << qMakePair(QString(ConversionStamp::entryName()), stamp);
        if (duplicate)
            return ZipFixture::write(container, entries << entries.first(), "ZIP_STORED");
        QFile file(container);
        if (!ZipFixture::write(container, entries, "ZIP_STORED") || !file.open(QIODevice::ReadWrite))
            return false;
        QByteArray bytes = file.readAll();
        const int middle = bytes.indexOf(entries.first().second) + entries.first().second.size() / 2;
        bytes[middle] = char(bytes.at(middle) ^ 0x55);
        return file.seek(0) && file.write(bytes) == bytes.size();
    }

    ProcessResult batch(const QStringList& arguments)
    {
        return convert(QStringList {"--convert", "--output-dir", path("out"), "--report", path("report.json")}
                       + arguments);
    }
    QStringList filesBelow(const QString& folder) const
    {
        QStringList found;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << QDir(folder).relativeFilePath(it.next());
        found.sort();
        return found;
    }
    static QString sharedModels() { return qEnvironmentVariable("VELMORA_SHARED_MODELS"); }
    // The first shared model among arguments that is absent ("nothing" names
    // one that is meant to be), or empty.
    static QString missingSharedModel(const QStringList& arguments)
    {
        for (const QString& argument : arguments) {
            if (argument.startsWith(sharedModels()) && !argument.contains("nothing") && !QFileInfo::exists(argument))
                return argument;
        }
        return QString();
    }
    // Puts the built model encoder where the program looks for it.
    bool installRealEncoder()
    {
        const QString encoder = path("app/tools/linux/model-encoder");
        QFile::remove(encoder);
        return QFile::copy(qEnvironmentVariable("VELMORA_BUILD_DIR") + "/tools/linux/model-encoder", encoder);
    }
    QStringList workspaces() const
    {
        return QDir(path("tmp/Velmora3dEncoder")).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    QString ownerFile() const
    {
        const QStringList claimed = workspaces();
        return claimed.isEmpty() ? QString() : path("tmp/Velmora3dEncoder/" + claimed.first() + "/owner");
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
        qputenv("LC_ALL", "C.UTF-8"); // file names are UTF-8 to the converter, whatever the caller's locale
        QVERIFY(QDir().mkpath(path("app/bin")));
        QVERIFY(QFile::copy(VELMORA_CONVERT_PROBE, path("app/bin/Velmora3dEncoder")));
        QVERIFY(
            QFile::setPermissions(path("app/bin/Velmora3dEncoder"), QFileDevice::ReadOwner | QFileDevice::ExeOwner));

        // For --info: a bundle of two nodes, one with a mesh whose material is
        // in model.material and one whose material is not; packed as a vm3 too.
        enginetest::GpbBuilder b;
        b.record("scene", 1);
        b.u32(2);
        b.beginNode("box", 0);
        b.endNode("#mesh", {"known"});
        b.beginNode("other", 0);
        b.endNode("#mesh", {"missing"}, 1);
        b.sceneEnd("#other");
        b.mesh("mesh", 3);
        const QByteArray bundle = QByteArray::fromStdString(b.build());
        QVERIFY(writeFile(path("info/model/model.gpb"), bundle) && writeFile(path("info/broken.gpb"), bundle.left(40)));
        QVERIFY(writeFile(path("info/model/model.material"), "material known\n{\n}\n"));
        enginetest::GpbBuilder damaged; // spider's repro: one index past the vertices
        damaged.record("scene", 1);
        damaged.u32(1);
        damaged.leaf("box", 0, "#mesh");
        damaged.sceneEnd();
        damaged.mesh("mesh", 3, 0x1403, 0xFFFF);
        QVERIFY(writeFile(path("info/damaged.gpb"), QByteArray::fromStdString(damaged.build())));
        ZipArchiveWriter writer;
        QVERIFY(writeFile(path("info/broken.vm3"), "PK not really"));
        QVERIFY(writer.open(path("info/noversion.vm3")) && writer.addFolder(path("info/model"), "model")
                && writer.close());
        QVERIFY(VersionFile::write(path("info/model"))
                && ::mkfifo(QFile::encodeName(path("info/fifo.vm3")), 0600) == 0);
        QVERIFY(QDir().mkpath(path("info/fifomodel"))
                && ::mkfifo(QFile::encodeName(path("info/fifomodel/model.gpb")), 0600) == 0);
        QVERIFY(writer.open(path("info/model.vm3")) && writer.addFolder(path("info/model"), "model") && writer.close());
    }

    void init()
    {
        QDir(path("tmp")).removeRecursively();
        QDir(path("out")).removeRecursively();
        QDir(path("lib")).removeRecursively();
        QVERIFY(QDir().mkpath(path("tmp")) && QDir().mkpath(path("out")));
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Normal, path("record")));
        QFile::remove(path("record/args.txt"));
    }

    void consoleArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message"); // on standard output or error
        const int usage = CommandLineConverter::UsageError;
        QTest::newRow("help, one line per mode")
            << QStringList {"--help"} << 0
            << "--convert [options] INPUT OUTPUT.vm3\n       Velmora3dEncoder --convert [options] --output-dir DIR "
               "INPUT...\n       Velmora3dEncoder --thumbnail INPUT OUTPUT.png SIZE\n       Velmora3dEncoder "
               "--info [--json] FILE\n";
        QTest::newRow("version") << QStringList {"--version"} << 0 << "Velmora3dEncoder 1.7\n";
        QTest::newRow("a model opens the window") << QStringList {"@input"} << 42 << "window mode\n";
        QTest::newRow("no output") << QStringList {"--convert", "in.fbx"} << usage
                                   << "exactly one input and one output";
        QTest::newRow("options first") << QStringList {"--convert", "--culling", "ccw", "@input", "a.vm3"} << 0 << "";
        QTest::newRow("options between") << QStringList {"--grouping", "take", "@input", "--convert", "a.vm3"} << 0
                                         << "";
        QTest::newRow("old --convert=INPUT") << QStringList {"--convert=@input", "a.vm3"} << 0 << "";
        QTest::newRow("two modes") << QStringList {"--convert", "--info", "@input"} << usage << "Choose one of";
        QTest::newRow("-j without --output-dir")
            << QStringList {"--convert", "-j", "2", "@input", "a.vm3"} << usage << "need --output-dir";
        QTest::newRow("shard beyond N") << QStringList {"--convert", "--output-dir", "o", "--shard", "4/3", "@input"}
                                        << usage << "--shard needs K/N";
        QTest::newRow("auto shard") << QStringList {"--convert", "--output-dir", "o", "--shard", "auto", "@input"}
                                    << usage << "no task array found";
        QTest::newRow("timeout of 0") << QStringList {"--convert", "--output-dir", "o", "--timeout", "0", "@input"}
                                      << usage << "--timeout needs a number of seconds from 1";
        QTest::newRow("output not vm3") << QStringList {"--convert", "@input", "out.zip"} << usage
                                        << "must end in .vm3";
        QTest::newRow("bad grouping") << QStringList {"--convert", "@input", "a.vm3", "--grouping", "all"} << usage
                                      << "--grouping must be none, root or take";
        QTest::newRow("mistyped mode") << QStringList {"--covnert", "@input", "a.vm3"} << usage
                                       << "Unknown option 'covnert'";
    }

    void consoleArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QVERIFY(writeFile(path("in/model.fbx"), "fbx"));
        const ProcessResult run = convert(arguments.replaceInStrings("@input", path("in/model.fbx")));
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(QString(run.out + run.err).contains(message), run.out + run.err);
        QVERIFY(!QFileInfo::exists(path("out.zip")));
        // A conversion prints nothing on standard output unless asked to.
        if (exitCode == 0 && arguments.join(' ').contains("--convert"))
            QCOMPARE(run.out, QByteArray());
    }

    void fbxConvertsAndPrintsRecords_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("plain") << int(FakeEncoder::Behaviour::Normal) << QStringList();
        QTest::newRow("floods both pipes") << int(FakeEncoder::Behaviour::Huge) << QStringList();
        QTest::newRow("reads its input") << int(FakeEncoder::Behaviour::ReadsInput) << QStringList();
        QTest::newRow("quiet: errors only") << int(FakeEncoder::Behaviour::Normal) << QStringList {"--quiet"};
    }

    void fbxConvertsAndPrintsRecords()
    {
        QFETCH(int, behaviour);
        QFETCH(QStringList, options);
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour(behaviour), path("record")));
        const QString input = path("in/Tree model.FBX");
        QVERIFY(writeFile(input, "fbx tree"));
        // Unpacking elsewhere than a temp folder others may write is a warning: --quiet keeps it back.
        if (options.contains("--quiet"))
            QVERIFY(QDir().mkpath(path("tmp/Velmora3dEncoder"))
                    && ::chmod(qPrintable(path("tmp/Velmora3dEncoder")), 0777) == 0);
        // The window's menu choices do not reach the console; the options do.
        QSettings window("com.velmora", "velmoraEncoder");
        window.setValue("Import/AnimationGrouping", "take");
        window.sync();
        const ProcessResult run = convert(QStringList {"--convert", "--culling", "material", input,
                                                       path("out/tree.vm3"), "--report", path("one.json")}
                                          + options);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray());
        // The report carries the records by code, and a summary line.
        const QVector<QJsonObject> report = reportLines(path("one.json"));
        QCOMPARE(report.size(), 2);
        QCOMPARE(report[0]["input"].toString(), input);
        QCOMPARE(report[0]["status"].toString(), QString("converted"));
        QCOMPARE(report[0]["errors"].toArray().at(0).toObject()["code"].toInt(), 1001);
        QCOMPARE(report[0]["warnings"].toArray().at(0).toObject()["title"].toString(), QString("Fake warning"));
        QCOMPARE(report[1]["summary"].toObject()["converted"].toInt(), 1);
        QCOMPARE(run.err,
                 QByteArray("error GP#1001 [Fake error] from stderr / second line\n")
                     + (options.isEmpty() ? "warning GP#2001 [Fake warning] from stdout\n" : ""));
        QCOMPARE(sortedEntries(path("out/tree.vm3")), kConverted);
        QCOMPARE(runProgram("unzip", {"-p", path("out/tree.vm3"), "model/model.gpb"}).out,
                 FakeEncoder::bundleBytesFor(input));
        // The encoder runs in its own folder, told the options, the input and the workspace's bundle.
        const QStringList arguments = QString(readFile(path("record/args.txt"))).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(arguments.mid(0, 7),
                 (QStringList {"-group:root", "-cull:material", "-m", "-v", "2", "-options", input}));
        QVERIFY2(arguments.value(7).endsWith("/res/model/model.gpb"), qPrintable(arguments.value(7)));
        QCOMPARE(QString(readFile(path("record/cwd.txt")).trimmed()),
                 QFileInfo(path("app/tools/linux")).canonicalFilePath());
        QCOMPARE(workspaces(), QStringList());
    }

    void failuresExitWithTheirCode_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("missing input") << "none.fbx" << int(CommandLineConverter::InputError)
                                       << QStringList {"does not exist", "none.fbx"};
        QTest::newRow("fifo input") << "fifo.fbx" << int(CommandLineConverter::InputError)
                                    << QStringList {"The input is a named pipe (FIFO), not a file"};
        QTest::newRow("encoder missing") << "model.fbx" << int(CommandLineConverter::EncoderFailed)
                                         << QStringList {"model encoder was not found",
                                                         "/app/tools/linux/model-encoder"};
        QTest::newRow("encoder crashes") << "model.fbx" << int(CommandLineConverter::EncoderFailed)
                                         << QStringList {"The model encoder crashed",
                                                         "warning GP#2002 [Before crash] about to crash"};
        QTest::newRow("encoder fails") << "model.fbx" << int(CommandLineConverter::EncoderFailed)
                                       << QStringList {"error GP#1002 [Cannot read] the file is not an FBX file\n"
                                                       "The model encoder failed with exit code 3.\n"};
        QTest::newRow("encoder writes nothing") << "model.fbx" << int(CommandLineConverter::EncoderFailed)
                                                << QStringList {"The model encoder ended without writing a model."};
        QTest::newRow("output not writable")
            << "model.fbx" << int(CommandLineConverter::OutputError) << QStringList {"Cannot write the output file"};
        QTest::newRow("damaged") << "damaged.vm3" << int(CommandLineConverter::ContainerRefused)
                                 << QStringList {"is damaged"};
        QTest::newRow("no model in it") << "bare.vm3" << int(CommandLineConverter::ContainerRefused)
                                        << QStringList {"holds no model"};
        QTest::newRow("70 000 entries") << "many.vm3" << int(CommandLineConverter::ContainerRefused)
                                        << QStringList {"more than 65535 entries"};
        QTest::newRow("shader includes fan out") << "fan.vm3" << int(CommandLineConverter::ContainerRefused)
                                                 << QStringList {"includes other files past 16 levels, 4096 includes"};
    }

    void failuresExitWithTheirCode()
    {
        QFETCH(QString, input);
        QFETCH(int, exitCode);
        QFETCH(QStringList, messages);
        const QString tag = QTest::currentDataTag();
        if (tag == "fifo input")
            QVERIFY(QDir().mkpath(path("in")) && ::mkfifo(QFile::encodeName(path("in/") + input), 0600) == 0);
        else if (input != "none.fbx")
            QVERIFY(writeFile(path("in/") + input, "PK\x03\x04 this is not really a zip file"));
        if (tag == "encoder missing")
            QFile::remove(path("app/tools/linux/model-encoder"));
        const QMap<QString, FakeEncoder::Behaviour> encoders
            = {{"encoder crashes", FakeEncoder::Behaviour::Crash},
               {"encoder fails", FakeEncoder::Behaviour::FailWithoutModel},
               {"encoder writes nothing", FakeEncoder::Behaviour::SucceedWithoutModel}};
        if (encoders.contains(tag))
            QVERIFY(FakeEncoder::install(path("app"), encoders.value(tag), path("record")));
        if (tag == "no model in it")
            QVERIFY(ZipFixture::write(path("in/") + input, {{"model/version", ZipFixture::versionFile("1.7", "4")}}));
        const char* const addEntries = "import sys, zipfile\n"
                                       "with zipfile.ZipFile(sys.argv[1], 'a') as z:\n"
                                       "    for i in range(70000): z.writestr('model/tex/%d' % i, '')\n";
        if (tag == "70 000 entries")
            QVERIFY(ZipFixture::write(path("in/") + input, ZipFixture::validModel())
                    && runPython(addEntries, {path("in/") + input}).exitCode == 0);
        if (tag == "shader includes fan out")
            QVERIFY(ZipFixture::write(path("in/") + input, ZipFixture::validModel() + fanOutShaders()));
        QVERIFY(writeFile(path("out/keep.vm3"), "previous export"));
        QVERIFY(writeFile(path("out/blocker"), "a file, not a folder"));
        const QString output = path(tag == "output not writable" ? "out/blocker/x.vm3" : "out/keep.vm3");

        const ProcessResult run = convert({"--convert", path("in/") + input, output});
        QCOMPARE(run.exitCode, exitCode);
        for (const QString& message : messages)
            QVERIFY2(QString(run.err).contains(message), run.err);
        // The previous output survives; the encoder does not run for an unwritable output.
        QCOMPARE(readFile(path("out/keep.vm3")), QByteArray("previous export"));
        QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden), (QStringList {"blocker", "keep.vm3"}));
        QVERIFY(tag != "output not writable" || !QFileInfo::exists(path("record/args.txt")));
    }

    void parallelRunsOfOneFileShareNoWorkspace()
    {
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Brief, path("record")));
        const QString input = path("in/same.fbx");
        QVERIFY(writeFile(input, "same content"));
        QProcess runs[4];
        for (int i = 0; i < 4; ++i)
            runs[i].start(path("app/bin/Velmora3dEncoder"), {"--convert", input, path(QString("out/%1.vm3").arg(i))});
        for (int i = 0; i < 4; ++i) {
            QVERIFY(runs[i].waitForFinished(60000));
            QVERIFY2(runs[i].exitCode() == 0, runs[i].readAllStandardError());
            QCOMPARE(sortedEntries(path(QString("out/%1.vm3").arg(i))), kConverted);
        }
        QCOMPARE(workspaces(), QStringList());
    }

    void stoppedConverterLeavesNothingBehind_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGKILL") << int(SIGKILL);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }

    void stoppedConverterLeavesNothingBehind()
    {
        QFETCH(int, signalNumber);
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Slow, path("record")));
        QFile::remove(path("record/pid.txt"));
        const QString input = path("in/slow.fbx");
        QVERIFY(writeFile(input, "slow model"));
        QProcess converter;
        converter.start(path("app/bin/Velmora3dEncoder"), {"--convert", input, path("out/slow.vm3")});
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

    // A stop while a command unpacks or packs: the process ends by the signal
    // once its workspace is gone, and an earlier output stays as it was.
    void stopsLeaveNothingBehind_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "@in": a 100 MB container
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("whilePacking"); // else as soon as the workspace is claimed
        QTest::newRow("--info, SIGTERM") << QStringList {"--info", "@in"} << int(SIGTERM) << false;
        QTest::newRow("--thumbnail, SIGINT")
            << QStringList {"--thumbnail", "@in", "@out", "64"} << int(SIGINT) << false;
        QTest::newRow("--convert while packing, SIGTERM")
            << QStringList {"--convert", "--verbose", "@in", "@out"} << int(SIGTERM) << true;
    }

    void stopsLeaveNothingBehind()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, signalNumber);
        QFETCH(bool, whilePacking);
        const QString input = path("in/large.vm3");
        if (!QFileInfo::exists(input)) {
            QVERIFY(ZipFixture::write(input, ZipFixture::validModel()));
            const char* const append = "import os, sys, zipfile\n"
                                       "with zipfile.ZipFile(sys.argv[1], 'a', zipfile.ZIP_STORED) as z:\n"
                                       "    z.writestr('model/tex/noise.bin', os.urandom(100 << 20))\n";
            QVERIFY(runPython(append, {input}).exitCode == 0);
        }
        QVERIFY(writeFile(path("out/keep.vm3"), "previous export"));
        arguments.replaceInStrings("@in", input).replaceInStrings("@out", path("out/keep.vm3"));
        QProcess shell; // reports the exit status as a shell sees it
        shell.start("/bin/sh",
                    QStringList {"-c", "\"$@\"; echo \"exit $?\"", "sh", path("app/bin/Velmora3dEncoder")} + arguments);
        QString owner;
        QTRY_VERIFY_WITH_TIMEOUT(!(owner = ownerFile()).isEmpty(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!readFile(owner).isEmpty(), 5000);
        // The packer names each file as it starts on it.
        QByteArray output;
        while (whilePacking && !output.contains("noise.bin is") && shell.waitForReadyRead(30000))
            output += shell.readAllStandardOutput();
        QCOMPARE(::kill(pid_t(readFile(owner).trimmed().toLongLong()), signalNumber), 0);
        QVERIFY(shell.waitForFinished(30000));
        output += shell.readAllStandardOutput();
        QVERIFY2(output.endsWith("exit " + QByteArray::number(128 + signalNumber) + "\n"), output);
        QCOMPARE(workspaces(), QStringList());
        QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden), QStringList {"keep.vm3"});
        QCOMPARE(readFile(path("out/keep.vm3")), QByteArray("previous export"));
    }

    void batchOfRealFiles_data()
    {
        // "%" stands for the shared models; outputs are below the output folder.
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("outputs");
        QTest::addColumn<QStringList>("statuses"); // of the report's records, in order
        QTest::newRow("nested folders") << QStringList {"%/assimp/test/models/glTF2"} << 0
                                        << QStringList {"BoxTextured-glTF-Binary/BoxTextured.vm3",
                                                        "BoxTextured-glTF/BoxTextured.vm3", "cameras/Cameras.vm3",
                                                        "simple_skin/simple_skin.vm3",
                                                        "textureTransform/TextureTransformTest.vm3"}
                                        << QString("converted,").repeated(5).split(',', Qt::SkipEmptyParts);
        QTest::newRow("a failing file among good ones")
            << QStringList {"%/generated/b_three_materials.fbx", "%/assimp/test/models/FBX/transparentTest.fbx",
                            "%/assimp/test/models/PLY/cube_uv.ply"}
            << int(CommandLineConverter::EncoderFailed) << QStringList {"b_three_materials.vm3", "cube_uv.vm3"}
            << QStringList {"converted", "failed", "converted"};
        QTest::newRow("a missing input") << QStringList {"%/nothing.fbx", "%/assimp/test/models/PLY/cube_binary.ply"}
                                         << int(CommandLineConverter::InputError) << QStringList {"cube_binary.vm3"}
                                         << QStringList {"failed", "converted"};
        QTest::newRow("two inputs, one output name")
            << QStringList {"%/assimp/test/models/PLY/cube_uv.ply", "%/assimp/test/models/PLY/cube_uv.ply"}
            << int(CommandLineConverter::InputError) << QStringList {"cube_uv.vm3"}
            << QStringList {"converted", "failed"};
    }

    void batchOfRealFiles()
    {
        QFETCH(QStringList, inputs);
        QFETCH(int, exitCode);
        QFETCH(QStringList, outputs);
        QFETCH(QStringList, statuses);
        inputs.replaceInStrings("%", sharedModels());
        if (!missingSharedModel(inputs).isEmpty())
            QSKIP(qPrintable("shared model missing: " + missingSharedModel(inputs)));
        QVERIFY(installRealEncoder());

        const ProcessResult run = batch(QStringList {"-j", "2"} + inputs);
        QVERIFY2(run.exitCode == exitCode, run.err);
        QCOMPARE(run.out, QByteArray());
        // Not on a terminal: one line per finished file.
        QCOMPARE(QString(run.err).split('\n').filter(QRegularExpression("^\\[\\d+/\\d+\\] ")).size(), statuses.size());
        QCOMPARE(filesBelow(path("out")), outputs);
        const QVector<QJsonObject> report = reportLines(path("report.json"));
        QCOMPARE(report.size(), statuses.size() + 1);
        for (int i = 0; i < statuses.size(); ++i) {
            const QJsonObject record = report.at(i);
            QCOMPARE(record["status"].toString(), statuses.at(i));
            QCOMPARE(record["exitCode"].toInt() == 0, statuses.at(i) == "converted");
            QVERIFY(statuses.at(i) != "converted" || record["triangles"].toInt() > 0);
            // The encoder's reason travels with the file, by its code.
            const QJsonObject firstError = record["errors"].toArray().first().toObject();
            if (record["input"].toString().endsWith("transparentTest.fbx"))
                QCOMPARE(firstError["code"].toInt(), 1003);
            if (!firstError.isEmpty())
                QCOMPARE(record["reason"].toString(),
                         firstError["title"].toString() + ": " + firstError["message"].toString());
            QCOMPARE(record["reason"].toString().isEmpty(), statuses.at(i) != "failed");
        }
        QCOMPARE(report.last()["summary"].toObject()["exitCode"].toInt(), exitCode);
        QCOMPARE(workspaces(), QStringList());
    }

    void shardsCoverEveryInputOnce_data()
    {
        QTest::addColumn<int>("shards");
        QTest::addColumn<QString>("merged"); // the shards whose reports --merge-reports is given
        QTest::addColumn<QString>("problem"); // what it names; empty when the set is complete
        QTest::newRow("1") << 1 << "1"
                           << "";
        QTest::newRow("2") << 2 << "2,1"
                           << "";
        QTest::newRow("3, more than some shards hold") << 3 << "1,2,3"
                                                       << "";
        QTest::newRow("3, one missing") << 3 << "1,3"
                                        << "Shard 2/3 is missing.";
        QTest::newRow("2, one twice") << 2 << "1,2,2"
                                      << "Shard 2/2 appears twice";
        QTest::newRow("2, the second of other inputs") << 2 << "1,2"
                                                       << "were run on different input lists.";
    }

    void shardsCoverEveryInputOnce()
    {
        QFETCH(int, shards);
        QFETCH(QString, merged);
        QFETCH(QString, problem);
        const QStringList library = {"a.fbx", "b/c.obj", "b/d/e.gltf", "f.stl", "g/h.ply", "g/i.dae", "j.3ds"};
        for (const QString& file : library)
            QVERIFY(writeFile(path("lib/") + file, file.toUtf8()));
        QVERIFY(writeFile(path("lib/readme.txt"), "not a model"));
        QStringList converted;
        for (int k = 1; k <= shards; ++k) {
            const ProcessResult run = batch({"--shard", QString("%1/%2").arg(k).arg(shards), path("lib")});
            QVERIFY2(run.exitCode == 0, run.err);
            QVERIFY2(QString(run.err).split("\n").filter("Done: ").size() == 1, run.err); // the closing counts
            for (const QJsonObject& line : reportLines(path("report.json"))) {
                if (line.contains("input"))
                    converted << QDir(path("lib")).relativeFilePath(line["input"].toString());
            }
            QFile::remove(path(QString("report-%1.json").arg(k)));
            QVERIFY(QFile::copy(path("report.json"), path(QString("report-%1.json").arg(k))));
        }
        converted.sort();
        QCOMPARE(converted, library);
        QCOMPARE(filesBelow(path("out")).size(), library.size());
        if (QTest::currentDataTag() == QString("2, the second of other inputs")) { // one model more
            QVERIFY(writeFile(path("more/x.fbx"), "x"));
            QCOMPARE(batch({"--shard", "2/2", path("lib"), path("more")}).exitCode, 0);
            QFile::remove(path("report-2.json"));
            QVERIFY(QFile::copy(path("report.json"), path("report-2.json")));
        }

        const ProcessResult merge
            = convert(QStringList {"--merge-reports", path("merged.json")}
                      + merged.split(',').replaceInStrings(QRegularExpression("(\\d)"), path("report-\\1.json")));
        QVERIFY2(merge.exitCode == (problem.isEmpty() ? 0 : int(CommandLineConverter::InputError)), merge.err);
        QVERIFY2(merge.err.contains(problem.toUtf8()), merge.err);
        const QVector<QJsonObject> lines = reportLines(path("merged.json"));
        QStringList inputs; // in the run's order
        for (const QJsonObject& line : lines.mid(0, lines.size() - 1))
            inputs << QDir(path("lib")).relativeFilePath(line["input"].toString());
        if (problem.isEmpty())
            QCOMPARE(inputs, library);
        QCOMPARE(lines.last()["summary"].toObject()["inputs"].toInt(), inputs.size());
    }

    // Each row: --shard, --shard-base and --shard-count ("auto,,3"), the
    // scheduler's variables ("S:" and "G:" stand for SLURM_ARRAY_TASK_ and
    // SGE_TASK_), and the result as "shard K/N" (K from 1) or part of the error.
    void shardFromScheduler_data()
    {
        QTest::addColumn<QStringList>("row");
        QTest::newRow("Slurm from 0") << QStringList {"auto,,", "S:ID=0 S:MIN=0 S:COUNT=4", "shard 1/4"};
        QTest::newRow("Slurm steps") << QStringList {"auto,,", "S:ID=5 S:MIN=2 S:STEP=3 S:COUNT=3", "shard 2/3"};
        QTest::newRow("Slurm gaps") << QStringList {"auto,,", "S:ID=3 S:MIN=1 S:MAX=7 S:COUNT=3", "does not fit"};
        QTest::newRow("Slurm first") << QStringList {"auto,,", "S:ID=2 S:MIN=1 S:COUNT=2 JOB_COMPLETION_INDEX=0",
                                                     "shard 2/2"};
        QTest::newRow("count not Slurm's") << QStringList {"auto,,3", "S:ID=2 S:MIN=1 S:COUNT=2", "differs from the 2"};
        QTest::newRow("SGE steps") << QStringList {"auto,,", "G:ID=5 G:FIRST=1 G:LAST=9 G:STEPSIZE=2", "shard 3/5"};
        QTest::newRow("SGE, no array") << QStringList {"auto,,", "G:ID=undefined", "no task array found"};
        QTest::newRow("Kubernetes, beyond") << QStringList {"auto,,3", "JOB_COMPLETION_INDEX=3", "outside the 3"};
        QTest::newRow("Kubernetes, no count") << QStringList {"auto,,", "JOB_COMPLETION_INDEX=0", "--shard-count N"};
        QTest::newRow("K/N from 0") << QStringList {"0/4,0,", "", "shard 1/4"};
        QTest::newRow("K/N from 0, K = N") << QStringList {"4/4,0,", "", "K from 0 to N-1"};
    }

    void shardFromScheduler()
    {
        QFETCH(QStringList, row);
        QProcessEnvironment variables;
        for (const QString& pair : row[1].split(' ', Qt::SkipEmptyParts))
            variables.insert(pair.section('=', 0, 0).replace("S:", "SLURM_ARRAY_TASK_").replace("G:", "SGE_TASK_"),
                             pair.section('=', 1));
        const QStringList given = row[0].split(',');
        const ShardSelection shard = ShardSelection::read(given[0], given[1], given[2], variables);
        const QString got
            = shard.error.isEmpty() ? QString("shard %1/%2").arg(shard.index).arg(shard.count) : shard.error;
        QVERIFY2(got.contains(row[2]), qPrintable(got));
    }

    void upToDateOutputsAreSkipped_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("status");
        QTest::newRow("nothing") << "" << QStringList() << "skipped";
        QTest::newRow("touched only") << "touch" << QStringList() << "skipped";
        QTest::newRow("rewritten, same size") << "rewrite" << QStringList() << "converted";
        QTest::newRow("other options") << "" << QStringList {"--culling", "cw"} << "converted";
        QTest::newRow("forced") << "" << QStringList {"--force"} << "converted";
        // Its record intact, the container itself not.
        QTest::newRow("output with a corrupt entry") << "corrupt" << QStringList() << "converted";
        QTest::newRow("output with a duplicate entry") << "duplicate" << QStringList() << "converted";
        // The model encoder itself names what it read.
        QTest::newRow("encoder, nothing") << "obj" << QStringList() << "skipped";
        QTest::newRow("encoder, library elsewhere changed, same size and time")
            << "obj library" << QStringList() << "converted";
        QTest::newRow("encoder, missing library added") << "obj added" << QStringList() << "converted";
        QTest::newRow("one file, nothing") << "" << QStringList {"one"} << "skipped";
        QTest::newRow("one file, forced") << "" << QStringList {"one", "--force"} << "converted";
        QTest::newRow("one file, duplicate entry") << "duplicate" << QStringList {"one"} << "converted";
    }

    void upToDateOutputsAreSkipped()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, options);
        QFETCH(QString, status);
        const bool real = change.startsWith("obj");
        const QString input = path(real ? "in/model.obj" : "in/model.fbx");
        QVERIFY(writeFile(
            input, real ? "mtllib ../lib/m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\nf 1 2 3\n" : "first version"));
        QFile library(path("lib/m.mtl"));
        QVERIFY(!real
                || (installRealEncoder()
                    && (change == "obj added" || writeFile(library.fileName(), "newmtl a\nKd 1 0 0\n"))));
        const QDateTime saved = library.fileTime(QFileDevice::FileModificationTime);
        // "one": a single file, its output named.
        const bool one = options.removeAll("one") > 0;
        const auto run = [&](const QStringList& arguments) {
            return one
                ? convert(arguments
                          + QStringList {"--convert", "--report", path("report.json"), input, path("out/model.vm3")})
                : batch(arguments + QStringList {input});
        };
        QCOMPARE(run({}).exitCode, 0);
        QCOMPARE(reportLines(path("report.json")).first()["status"].toString(), QString("converted"));
        QFile file(input);
        if (change == "touch")
            QVERIFY(file.open(QIODevice::ReadWrite)
                    && file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        else if (change == "rewrite")
            QVERIFY(writeFile(input, "other version"));
        else if (change == "obj library")
            QVERIFY(writeFile(library.fileName(), "newmtl a\nKd 0 1 0\n") && library.open(QIODevice::ReadWrite)
                    && library.setFileTime(saved, QFileDevice::FileModificationTime));
        else if (change == "obj added")
            QVERIFY(writeFile(library.fileName(), "newmtl a\nKd 1 0 0\n"));
        else if (!change.isEmpty() && !real)
            QVERIFY(damageKeepingStamp(path("out/model.vm3"), change == "duplicate"));
        const ProcessResult second = run(options);
        QVERIFY2(second.exitCode == 0, second.err);
        QCOMPARE(reportLines(path("report.json")).first()["status"].toString(), status);
    }

    void stoppedBatchLeavesNoOutput_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void stoppedBatchLeavesNoOutput()
    {
        QFETCH(int, signalNumber);
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Slow, path("record")));
        for (const char* name : {"a", "b", "c", "d"})
            QVERIFY(writeFile(path("lib/") + name + ".fbx", name));
        QProcess converter;
        converter.start(
            path("app/bin/Velmora3dEncoder"),
            {"--convert", "-j", "2", "--output-dir", path("out"), "--report", path("report.json"), path("lib")});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path("record/args.txt")), 30000);
        QCOMPARE(::kill(pid_t(converter.processId()), signalNumber), 0);
        QVERIFY(converter.waitForFinished(30000));
        QCOMPARE(converter.exitStatus(), QProcess::CrashExit);
        QCOMPARE(filesBelow(path("out")), QStringList());
        QCOMPARE(workspaces(), QStringList());
        const QVector<QJsonObject> report = reportLines(path("report.json"));
        QCOMPARE(report.last()["summary"].toObject()["stopped"].toInt(), 4);
        // The summary says how the process ended, as a shell shows it.
        QCOMPARE(report.last()["summary"].toObject()["exitCode"].toInt(), 128 + signalNumber);
    }

    void cpuQuotaCountsProcessorsRoundedUp_data()
    {
        QTest::addColumn<QByteArray>("cpuMax");
        QTest::addColumn<int>("processors"); // 0: no limit
        QTest::newRow("no limit") << QByteArray("max 100000\n") << 0;
        QTest::newRow("one") << QByteArray("100000 100000") << 1;
        QTest::newRow("a half") << QByteArray("50000 100000") << 1;
        QTest::newRow("one and a half") << QByteArray("150000 100000") << 2;
        QTest::newRow("v1 values, no quota") << QByteArray("-1 100000") << 0;
        QTest::newRow("no period") << QByteArray("150000") << 0;
        QTest::newRow("period 0") << QByteArray("150000 0") << 0;
    }

    void cpuQuotaCountsProcessorsRoundedUp()
    {
        QFETCH(QByteArray, cpuMax);
        QFETCH(int, processors);
        QCOMPARE(CpuAllowance::quotaCpusOfCpuMax(cpuMax), processors);
    }

    // Given one processor, the batch runs one encoder at a time by default.
    void conversionsStayWithinTheProcessorsGiven()
    {
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Brief, path("record")));
        QFile::remove(path("record/events.txt"));
        for (const char* name : {"a", "b", "c"})
            QVERIFY(writeFile(path("lib/") + name + ".fbx", name));
        const ProcessResult run = runProgram(
            "taskset",
            {"-c", "0", path("app/bin/Velmora3dEncoder"), "--convert", "--output-dir", path("out"), path("lib")});
        QVERIFY2(run.exitCode == 0, run.err);
        const QByteArray events = readFile(path("record/events.txt"));
        QCOMPARE(events.count("start"), 3);
        QVERIFY2(!events.contains("start\nstart"), events.constData());
    }

    // A FIFO where an output goes and a conversion that never ends: the batch
    // goes on and ends.
    void batchEndsEveryConversion_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO at the output") << QStringList() << 0 << "converted"
                                            << "";
        QTest::newRow("over the time limit")
            << QStringList {"--timeout", "1"} << int(CommandLineConverter::EncoderFailed) << "failed"
            << "Stopped after 1 s: the conversion took longer than";
    }

    void batchEndsEveryConversion()
    {
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QString, status);
        QFETCH(QString, reason);
        const QString input = path("in/model.fbx");
        QVERIFY(writeFile(input, "model"));
        if (QTest::currentDataTag() == QString("FIFO at the output"))
            QVERIFY(::mkfifo(QFile::encodeName(path("out/model.vm3")), 0600) == 0);
        else
            QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Slow, path("record")));
        const ProcessResult run = batch(options + QStringList {input});
        QVERIFY2(run.exitCode == exitCode, run.err);
        const QJsonObject record = reportLines(path("report.json")).first();
        QCOMPARE(record["status"].toString(), status);
        QVERIFY2(record["reason"].toString().startsWith(reason) || reason.isEmpty(),
                 qPrintable(record["reason"].toString()));
        // A container took the FIFO's place; a stopped conversion leaves none.
        QCOMPARE(QFileInfo(path("out/model.vm3")).isFile(), status == "converted");
        QCOMPARE(workspaces(), QStringList());
    }

    // The encoder's model cannot be written into a full temporary folder:
    // the disk is at fault, not the model.
    void fullTemporaryFolderIsAnOutputError_data()
    {
        QTest::addColumn<QString>("input"); // "%": the shared models
        QTest::newRow("FBX") << "%/generated/b_three_materials.fbx";
    }

    void fullTemporaryFolderIsAnOutputError()
    {
        QFETCH(QString, input);
        input = input.startsWith('%') ? input.replace("%", sharedModels()) : path(input);
        if (!missingSharedModel({input}).isEmpty())
            QSKIP(qPrintable("shared model missing: " + input));
        QVERIFY(installRealEncoder());
        const QString full = path("fulltmp");
        QVERIFY(QDir().mkpath(full));
        QCOMPARE(runProgram("mount", {"-t", "tmpfs", "-o", "size=256k", "tmpfs", full}).exitCode, 0);
        const std::unique_ptr<const QString, void (*)(const QString*)> mounted(
            &full, [](const QString* at) { runProgram("umount", {*at}); });
        // Filled to the last byte; folders and empty files can still be made.
        QVERIFY(runProgram("/bin/sh", {"-c", "cat /dev/zero > \"$0/filler\"", full}).exitCode != 0);
        qputenv("TMPDIR", full.toUtf8());
        const ProcessResult run = convert({"--convert", input, path("out/full.vm3")});
        qputenv("TMPDIR", path("tmp").toUtf8());
        QCOMPARE(run.exitCode, int(CommandLineConverter::OutputError));
        QVERIFY2(run.err.contains("No space left on device"), run.err);
        QVERIFY(!QFileInfo::exists(path("out/full.vm3")));
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

    // --report replaces only what is its own: no input, no output of the run,
    // nothing but an earlier report or an empty file; else exit 1 before converting.
    void reportReplacesOnlyReports_data()
    {
        // "@" stands for the scratch folder; in/a.fbx and in/b.fbx exist.
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("report");
        QTest::addColumn<QByteArray>("previous"); // written there first unless empty or the report is an input
        QTest::addColumn<int>("exitCode");
        const QStringList batch {"--convert", "--output-dir", "@/out", "@/in/a.fbx", "@/in/b.fbx"};
        const QStringList single {"--convert", "@/in/a.fbx", "@/out/m.vm3"};
        const QByteArray earlier = "{\"input\":\"x\",\"status\":\"converted\"}\n{\"summary\":{\"inputs\":1}}\n";
        QTest::newRow("an input of the batch") << batch << "in/a.fbx" << QByteArray() << 1;
        QTest::newRow("an input through a link") << batch << "in/link.json" << QByteArray() << 1;
        QTest::newRow("the output of one file") << single << "out/m.vm3" << QByteArray() << 1;
        QTest::newRow("the output, in a new folder")
            << QStringList {"--convert", "@/in/a.fbx", "@/new/m.vm3"} << "new/m.vm3" << QByteArray() << 1;
        QTest::newRow("other text") << single << "notes.txt" << QByteArray("my notes\n") << 1;
        QTest::newRow("JSON, not a report") << single << "notes.json" << QByteArray("{\"summary\":1}\n") << 1;
        QTest::newRow("an earlier report") << batch << "report.json" << earlier << 0;
        QTest::newRow("an empty file") << single << "empty.json" << QByteArray("") << 0;
        QTest::newRow("nothing yet") << batch << "new.json" << QByteArray() << 0;
        QTest::newRow("in a new folder, batch") << batch << "new/deeper/r.json" << QByteArray() << 0;
        QTest::newRow("in a new folder, one file") << single << "new/r.json" << QByteArray() << 0;
    }

    void reportReplacesOnlyReports()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, report);
        QFETCH(QByteArray, previous);
        QFETCH(int, exitCode);
        QFile::remove(path(report));
        QDir(path("new")).removeRecursively();
        QVERIFY(writeFile(path("in/a.fbx"), "model a") && writeFile(path("in/b.fbx"), "model b"));
        QFile::remove(path("in/link.json"));
        QVERIFY(QFile::link(path("in/a.fbx"), path("in/link.json")));
        if (!previous.isNull())
            QVERIFY(writeFile(path(report), previous));
        const QByteArray before = readFile(path(report));
        const ProcessResult run = convert(arguments.replaceInStrings("@", m_dir.path()) << "--report" << path(report));
        QVERIFY2(run.exitCode == exitCode, run.err);
        if (exitCode == 0) {
            QVERIFY(reportLines(path(report)).last().contains("summary"));
            return;
        }
        QVERIFY2(run.err.contains("would replace an") || run.err.contains("is not a report of this program"), run.err);
        QCOMPARE(readFile(path(report)), before);
        QVERIFY(!QFileInfo::exists(path("record/args.txt"))); // nothing was converted
        QVERIFY(!QFileInfo::exists(path("new"))); // and no folder made for it
    }

    // A full disk fails the write with the system's reason, exit 5, and the
    // previous file stays whole; nothing is left beside it.
    void fullDiskKeepsThePreviousFile_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "@": the full file system's file
        QTest::addColumn<QByteArray>("previous");
        QTest::newRow("report") << QStringList {"--output-dir", path("out"), "--report", "@"}
                                << QByteArray("{\"summary\":{}}\n");
        QTest::newRow("output") << QStringList {"@"} << QByteArray("previous export");
    }

    void fullDiskKeepsThePreviousFile()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, previous);
        const QByteArray disk = QFile::encodeName(path("full"));
        QVERIFY(QDir().mkpath(path("full")));
        QVERIFY2(::mount("tmpfs", disk.constData(), "tmpfs", 0, "size=64k") == 0, "mounting needs root, as tests run");
        const auto unmount = qScopeGuard([&disk] { ::umount2(disk.constData(), MNT_DETACH); });
        const QString target = path("full/previous.vm3");
        QVERIFY(writeFile(target, previous) && writeFile(path("in/a.fbx"), "model a"));
        runProgram("/bin/sh", {"-c", "cat /dev/zero > \"$0\"", path("full/filler")});
        const ProcessResult run
            = convert(QStringList {"--convert", path("in/a.fbx")} + arguments.replaceInStrings("@", target));
        QVERIFY2(run.exitCode == int(CommandLineConverter::OutputError), run.err);
        QVERIFY2(run.err.contains("No space left on device"), run.err);
        QCOMPARE(readFile(target), previous);
        QCOMPARE(QDir(path("full")).entryList(QDir::Files | QDir::Hidden), QStringList({"filler", "previous.vm3"}));
    }

    // Outputs and reports replace a link at their path, never the file it
    // points to; a link another user planted in a shared sticky folder (or
    // an output folder that is another user's link) fails the run instead.
    void plantedLinksAreNotFollowed_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "@" stands for the link
        QTest::addColumn<QString>("pointsTo");
        QTest::addColumn<bool>("foreign"); // the link is another user's, in a sticky folder writable by all
        QTest::addColumn<int>("exitCode");
        const QStringList output {path("in/a.fbx"), "@"};
        const QString precious = path("victim/precious.txt");
        QTest::newRow("output, another user's") << output << precious << true << int(CommandLineConverter::OutputError);
        QTest::newRow("report, another user's") << QStringList {path("in/a.fbx"), path("out/a.vm3"), "--report", "@"}
                                                << precious << true << int(CommandLineConverter::UsageError);
        QTest::newRow("output folder, another user's")
            << QStringList {"--output-dir", "@", path("in/a.fbx")} << path("victim") << true
            << int(CommandLineConverter::OutputError);
        QTest::newRow("output, own link") << output << precious << false << 0;
    }

    void plantedLinksAreNotFollowed()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, pointsTo);
        QFETCH(bool, foreign);
        QFETCH(int, exitCode);
        QVERIFY2(::geteuid() == 0, "another user's link needs root to make, as tests run");
        QDir(path("shared")).removeRecursively();
        QVERIFY(writeFile(path("victim/precious.txt"), "precious") && writeFile(path("in/a.fbx"), "model a"));
        QVERIFY(QDir().mkpath(path("shared"))
                && ::chmod(QFile::encodeName(path("shared")), foreign ? 01777 : 0755) == 0);
        const QString link = path("shared/out.vm3");
        const uid_t nobody = 65534;
        QVERIFY(QFile::link(pointsTo, link) && (!foreign || ::lchown(QFile::encodeName(link), nobody, nobody) == 0));
        const ProcessResult run = convert(QStringList {"--convert"} + arguments.replaceInStrings("@", link));
        QVERIFY2(run.exitCode == exitCode, run.err);
        QCOMPARE(filesBelow(path("victim")), QStringList {"precious.txt"});
        QCOMPARE(readFile(path("victim/precious.txt")), QByteArray("precious"));
        // Refused: the link stays as it was. Written: a file of its own took its name.
        QCOMPARE(QFileInfo(link).isSymLink(), foreign);
        QVERIFY2(foreign ? run.err.contains("another user") : sortedEntries(link) == kConverted, run.err);
    }

    void folderBatchesFindEveryModelOnce_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("statuses"); // of the second run's report, in order
        QTest::addColumn<QStringList>("outputs"); // below lib/, after two runs
        QTest::newRow("output folder through a link into the input folder")
            << "link" << 0 << QStringList {"skipped"} << QStringList {"a.fbx", "out/a.vm3"};
        QTest::newRow("a name that is not UTF-8") << "latin1" << int(CommandLineConverter::InputError)
                                                  << QStringList {"skipped", "failed"} << QStringList {"a.fbx"};
    }

    void folderBatchesFindEveryModelOnce()
    {
        QFETCH(QString, setup);
        QFETCH(int, exitCode);
        QFETCH(QStringList, statuses);
        QFETCH(QStringList, outputs);
        QVERIFY(writeFile(path("lib/a.fbx"), "model a"));
        QString outputFolder = path("out");
        const QByteArray latin1Name = QFile::encodeName(path("lib/")) + "caf\xE9.fbx";
        // QDir cannot see that name, so it could not remove it either.
        const auto removeLatin1Name = qScopeGuard([&latin1Name] { ::unlink(latin1Name.constData()); });
        if (setup == "link") {
            QFile::remove(path("outlink"));
            QVERIFY(QDir().mkpath(path("lib/out")) && QFile::link(path("lib/out"), path("outlink")));
            outputFolder = path("outlink");
        } else {
            const int file = ::open(latin1Name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            QVERIFY(file >= 0 && ::write(file, "model", 5) == 5 && ::close(file) == 0);
        }
        const QStringList arguments {"--convert", "--output-dir",      outputFolder,
                                     "--report",  path("report.json"), path("lib")};
        convert(arguments);
        const ProcessResult run = convert(arguments);
        QVERIFY2(run.exitCode == exitCode, run.err);
        QStringList found;
        for (const QJsonObject& line : reportLines(path("report.json")))
            found << line["status"].toString();
        QCOMPARE(found.mid(0, found.size() - 1), statuses);
        if (setup == "latin1") {
            const QJsonObject failed = reportLines(path("report.json")).at(1);
            QCOMPARE(failed["input"].toString(), path("lib/caf\\xE9.fbx"));
            QVERIFY2(failed["reason"].toString().contains("not valid text in the system's encoding"), run.err);
            QCOMPARE(filesBelow(path("out")), QStringList {"a.vm3"});
        }
        QCOMPARE(filesBelow(path("lib")), outputs); // a name that is not UTF-8 is not listed here
    }

    // A batch killed outright takes its conversions along: none outlives it
    // to put an output in place after its caller saw it end.
    void killedBatchLeavesNoConversionBehind()
    {
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Slow, path("record")));
        for (const char* name : {"a", "b", "c"})
            QVERIFY(writeFile(path("lib/") + name + ".fbx", name));
        QProcess converter;
        converter.start(path("app/bin/Velmora3dEncoder"),
                        {"--convert", "-j", "2", "--output-dir", path("out"), path("lib")});
        const qint64 batchPid = converter.processId();
        QVector<qint64> conversions;
        QTRY_VERIFY_WITH_TIMEOUT((conversions = childrenOf(batchPid)).size() == 2, 30000);
        QVector<qint64> encoders;
        QTRY_VERIFY_WITH_TIMEOUT((encoders = childrenOf(conversions[0]) + childrenOf(conversions[1])).size() == 2,
                                 30000);
        for (const qint64 conversion : conversions)
            QCOMPARE(::getpgid(pid_t(conversion)), ::getpgid(pid_t(batchPid)));
        QCOMPARE(::kill(pid_t(batchPid), SIGKILL), 0);
        QVERIFY(converter.waitForFinished(30000));
        // The stand-in encoders would run for 20 s.
        for (const qint64 process : conversions + encoders)
            QTRY_VERIFY_WITH_TIMEOUT(!processRuns(process), 10000);
        QCOMPARE(filesBelow(path("out")), QStringList());
    }

    // A conversion whose batch is gone puts nothing in place, even when it
    // was not killed along with it.
    void conversionOutlivingItsBatchWritesNothing()
    {
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::WaitsForGo, path("record")));
        QFile::remove(path("record/go"));
        QVERIFY(writeFile(path("in/a.fbx"), "model a"));
        QProcess batch; // stands in for a batch: the conversion names it as the batch that started it
        // Its output goes to a file: a pipe to the test would close with the batch.
        batch.start("/bin/sh",
                    {"-c", "VELMORA_BATCH_PROCESS=$$ \"$0\" --convert \"$1\" \"$2\" 2>\"$3\" & echo $!; wait",
                     path("app/bin/Velmora3dEncoder"), path("in/a.fbx"), path("out/a.vm3"), path("record/err.txt")});
        QVERIFY(batch.waitForReadyRead(30000));
        const qint64 conversion = batch.readLine().trimmed().toLongLong();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path("record/args.txt")), 30000);
        QCOMPARE(::kill(pid_t(batch.processId()), SIGKILL), 0);
        QVERIFY(batch.waitForFinished(30000));
        QVERIFY(writeFile(path("record/go"), ""));
        QTRY_VERIFY_WITH_TIMEOUT(!processRuns(conversion), 30000);
        QVERIFY2(readFile(path("record/err.txt")).contains("has ended"), readFile(path("record/err.txt")));
        QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(workspaces(), QStringList());
    }

    void thumbnail_data()
    {
        QTest::addColumn<QString>("preview"); // "png", "none", "broken png"
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QSize>("written"); // 0x0: no file may exist
        const int refused = CommandLineConverter::ContainerRefused;
        QTest::newRow("wide, scaled down") << "png" << 0 << "64" << QSize(64, 32);
        QTest::newRow("no preview") << "none" << refused << "64" << QSize(0, 0);
        QTest::newRow("damaged preview") << "broken png" << refused << "64" << QSize(0, 0);
        QTest::newRow("placeholder preview") << "blank png" << refused << "64" << QSize(0, 0);
        QTest::newRow("size not a number") << "png" << int(CommandLineConverter::UsageError) << "big" << QSize(0, 0);
        QTest::newRow("preview of 20000 x 20000 pixels") << "huge png" << refused << "64" << QSize(0, 0);
        QTest::newRow("container --convert refuses") << "no version" << refused << "64" << QSize(0, 0);
    }

    void thumbnail()
    {
        QFETCH(QString, preview);
        QFETCH(QString, size);
        QFETCH(int, exitCode);
        QFETCH(QSize, written);
        QImage image(256, 128, QImage::Format_RGB32);
        image.fill(Qt::white);
        if (preview != "blank png")
            image.setPixel(100, 60, qRgb(0, 139, 139));
        QBuffer png;
        QVERIFY(png.open(QIODevice::WriteOnly) && image.save(&png, "PNG"));
        ZipFixture::Entries entries = ZipFixture::validModel();
        const QMap<QString, QByteArray> previews = {{"png", png.data()},
                                                    {"blank png", png.data()},
                                                    {"broken png", png.data().left(60)},
                                                    {"huge png", ZipFixture::pngOfSize(20000, 20000)}};
        if (previews.contains(preview))
            entries.append({"model/.meta/perspective.png", previews.value(preview)});
        if (preview == "no version")
            entries.removeAt(1);
        const QString input = path("in/model.vm3");
        QVERIFY(QDir().mkpath(path("in")));
        QFile::remove(input);
        QVERIFY(ZipFixture::write(input, entries));

        const ProcessResult run = convert({"--thumbnail", input, path("out/thumb.png"), size});
        QVERIFY2(run.exitCode == exitCode, run.err);
        QCOMPARE(QImage(path("out/thumb.png")).size(), written);
        QCOMPARE(QFileInfo::exists(path("out/thumb.png")), !written.isEmpty());
        QCOMPARE(workspaces(), QStringList());
    }

    void info_data()
    {
        // "@" stands for the folder of the info files, "%" for the shared models.
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("printsJson");
        QTest::addColumn<QVariantList>("counts"); // nodes, models, cameras, triangles, materials found
        QTest::addColumn<QString>("problems");
        const QVariantList model {2, 2, 1, 1, 1};
        QTest::newRow("folder") << QStringList {"--info", "@/model", "--json"} << 3 << true << model
                                << "material:missing";
        QTest::newRow("vm3") << QStringList {"--info", "@/model.vm3", "--json"} << 3 << true << model
                             << "material:missing";
        QTest::newRow("damaged mesh") << QStringList {"--info", "@/damaged.gpb", "--json"} << 3 << true
                                      << QVariantList {1, 0, 0, 0, 0} << "part:mesh part 0,mesh:mesh";
        QTest::newRow("no file") << QStringList {"--info"} << 1 << false << QVariantList() << "";
        QTest::newRow("missing") << QStringList {"--info", "@/nothing"} << 2 << false << QVariantList() << "";
        QTest::newRow("truncated bundle")
            << QStringList {"--info", "@/broken.gpb"} << 2 << false << QVariantList() << "";
        QTest::newRow("damaged vm3") << QStringList {"--info", "@/broken.vm3"} << 2 << false << QVariantList() << "";
        QTest::newRow("vm3 --convert refuses")
            << QStringList {"--info", "@/noversion.vm3"} << 2 << false << QVariantList() << "";
        QTest::newRow("fifo") << QStringList {"--info", "@/fifo.vm3"} << 2 << false << QVariantList() << "";
        QTest::newRow("model folder whose bundle is a fifo")
            << QStringList {"--info", "@/fifomodel"} << 2 << false << QVariantList() << "";
        QTest::newRow("json first") << QStringList {"--json", "--info", "@/model.vm3"} << 3 << true << model
                                    << "material:missing";
        QTest::newRow("fbx, converted first, tree")
            << QStringList {"--info", "%/generated/b_three_materials.fbx", "--json", "--tree"} << 0 << true
            << QVariantList {2, 1, 0, 12, 3} << "";
        // The conversion's warnings are in the document as on standard error.
        QTest::newRow("model file with warnings")
            << QStringList {"--info", "%/assimp/test/models/FBX/maxPbrMaterial_metalRough.fbx", "--json"} << 0 << true
            << QVariantList {1, 1, 0, 12, 1} << "";
    }

    void info()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(bool, printsJson);
        QFETCH(QVariantList, counts);
        QFETCH(QString, problems);
        arguments.replaceInStrings("%", sharedModels());
        if (!missingSharedModel(arguments).isEmpty())
            QSKIP(qPrintable("shared model missing: " + missingSharedModel(arguments)));
        QVERIFY(!arguments.join(' ').contains(sharedModels()) || installRealEncoder());
        const ProcessResult run = convert(arguments.replaceInStrings("@", path("info")));
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(workspaces(), QStringList());
        // Failures, and what a model lacks (one line each), go to standard error.
        if (exitCode == 3)
            QCOMPARE(run.err.count('\n'), problems.count(',') + 1);
        else if (exitCode == 0) // the conversion's warnings only
            QCOMPARE(run.err.count("warning GP#"), run.err.count('\n'));
        else
            QVERIFY(!run.err.isEmpty());
        if (!printsJson) {
            QVERIFY2(!run.out.startsWith("{"), run.out);
            return;
        }
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(run.out, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QVariantList actual = {o["nodes"].toInt(), o["models"].toInt(), o["cameras"].toInt(),
                                     o["triangles"].toInt(), o["materials"].toArray().size()};
        QCOMPARE(actual, counts);
        QStringList listed;
        for (const QJsonValue& problem : o["problems"].toArray())
            listed << problem["kind"].toString() + ":" + problem["id"].toString();
        QCOMPARE(listed.join(','), problems);
        QCOMPARE(o["warnings"].toArray().size(), run.err.count("warning GP#"));
        // Each mesh with its parts, each material with the textures its samplers name.
        int parts = 0;
        for (const QJsonValue& mesh : o["meshDetails"].toArray())
            parts += mesh["parts"].toInt();
        QCOMPARE(parts, o["parts"].toInt());
        QCOMPARE(o["materialDetails"].toArray().size(), o["materials"].toArray().size());
        if (arguments.join(' ').contains("b_three_materials"))
            QCOMPARE(o["materialDetails"][2]["textures"].toArray().first().toString(), QString("tex/checker.png"));
        // --tree: every node once, each after its parent.
        const QJsonArray tree = o["tree"].toArray();
        QCOMPARE(tree.size(), arguments.contains("--tree") ? counts.first().toInt() : 0);
        for (int i = 0; i < tree.size(); ++i)
            QVERIFY(tree[i]["parent"].isNull() || tree[i]["parent"].toInt() < i);
        // Named as the user gave it, never by a temporary folder that is gone after exit.
        const QString given = arguments.at(arguments.indexOf("--info") + 1);
        QVERIFY2(o["bundle"].toString().startsWith(given), qPrintable(o["bundle"].toString()));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"

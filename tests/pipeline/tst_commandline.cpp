// The batch converter: "--convert INPUT OUTPUT.vm3" in a scratch install tree
// (bin/, tools/linux/model-encoder, res/shaders), its exit codes, what it
// prints to standard error and the archive it writes.
#include "FakeEncoder.h"
#include "ZipFixture.h"

#include "CommandLineConverter.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
    QStringList errLines() const { return err.split('\n', Qt::SkipEmptyParts); }
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void consoleModeIsRecognised();
    void helpAndVersion();
    void plainFileOpensTheWindow();
    void wrongArguments_data();
    void wrongArguments();

    void fbxConvertsAndPrintsRecords();
    void containerIsRepacked();
    void missingInput();
    void unsupportedInput();
    void encoderMissing();
    void encoderCrashes();
    void encoderFails();
    void outputNotWritable();
    void failedConversionKeepsExistingOutput();
    void refusedContainers_data();
    void refusedContainers();

private:
    Run convert(const QStringList& arguments);
    QStringList archiveEntries(const QString& archive);

    QTemporaryDir m_dir;
    QString m_app;
    QString m_program;
};

void TestCommandLine::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_app = m_dir.path() + "/app";
    QDir().mkpath(m_app + "/bin");
    m_program = m_app + "/bin/Velmora3dEncoder";
    QVERIFY(QFile::copy(VELMORA_CONVERT_PROBE, m_program));
    QVERIFY(QFile(m_program).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
}

void TestCommandLine::init()
{
    QDir(m_dir.path() + "/tmp").removeRecursively();
    QDir(m_dir.path() + "/out").removeRecursively();
    QDir().mkpath(m_dir.path() + "/tmp");
    QDir().mkpath(m_dir.path() + "/out");
    QVERIFY(FakeEncoder::install(m_app, FakeEncoder::Behaviour::Normal, m_dir.path() + "/record"));
}

Run TestCommandLine::convert(const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", m_dir.path() + "/tmp");
    environment.insert("XDG_CONFIG_HOME", m_dir.path() + "/config");
    environment.insert("HOME", m_dir.path() + "/home");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(m_dir.path());
    process.start(m_program, arguments);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QStringList TestCommandLine::archiveEntries(const QString& archive)
{
    QProcess unzip;
    unzip.start("unzip", {"-Z1", archive});
    unzip.waitForFinished(30000);
    QStringList entries = QString::fromUtf8(unzip.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    entries.sort();
    return entries;
}

void TestCommandLine::consoleModeIsRecognised()
{
    auto wants = [](QList<QByteArray> arguments) {
        arguments.prepend("Velmora3dEncoder");
        QVector<char*> argv;
        for (QByteArray& argument : arguments)
            argv.append(argument.data());
        return CommandLineConverter::wantsConsoleMode(argv.size(), argv.data());
    };
    QVERIFY(wants({"--convert", "a.fbx", "b.vm3"}));
    QVERIFY(wants({"--convert=a.fbx", "b.vm3"}));
    QVERIFY(wants({"--help"}));
    QVERIFY(wants({"-h"}));
    QVERIFY(wants({"--version"}));
    QVERIFY(!wants({}));
    QVERIFY(!wants({"model.fbx"}));
    QVERIFY(!wants({"--converted.fbx"}));
    QVERIFY(!wants({"--", "--convert"})); // a file really named "--convert"
}

void TestCommandLine::helpAndVersion()
{
    const Run help = convert({"--help"});
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(help.out.contains("--convert <INPUT>"), qPrintable(help.out));
    QVERIFY(help.out.contains("OUTPUT.vm3"));

    const Run version = convert({"--version"});
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out.trimmed(), QStringLiteral("Velmora3dEncoder 1.7"));
}

void TestCommandLine::plainFileOpensTheWindow()
{
    const Run run = convert({m_dir.path() + "/some.fbx"});
    QCOMPARE(run.exitCode, 42);
    QCOMPARE(run.out, QStringLiteral("window mode\n"));
}

void TestCommandLine::wrongArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("no output") << QStringList{"--convert", "in.fbx"} << "exactly one output file";
    QTest::newRow("two outputs") << QStringList{"--convert", "in.fbx", "a.vm3", "b.vm3"} << "exactly one output file";
    QTest::newRow("no input") << QStringList{"--convert"} << "Missing value after '--convert'";
    QTest::newRow("unknown option") << QStringList{"--convert", "in.fbx", "a.vm3", "--fast"} << "Unknown option";
    QTest::newRow("output not vm3") << QStringList{"--convert", "@input", "out.zip"} << "must end in .vm3";
}

void TestCommandLine::wrongArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const QString input = m_dir.path() + "/in/model.fbx";
    QVERIFY(writeFile(input, "fbx"));
    arguments.replaceInStrings("@input", input);
    const Run run = convert(arguments);
    QCOMPARE(run.exitCode, int(CommandLineConverter::UsageError));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(!QFileInfo::exists(m_dir.path() + "/out.zip"));
}

void TestCommandLine::fbxConvertsAndPrintsRecords()
{
    const QString input = m_dir.path() + "/in/Tree model.FBX";
    QVERIFY(writeFile(input, "fbx tree"));
    const QString output = m_dir.path() + "/out/tree.vm3";
    const Run run = convert({"--convert", input, output});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.errLines(), (QStringList{"error GP#1001 [Fake error] from stderr / second line",
                                          "warning GP#2001 [Fake warning] from stdout"}));

    QCOMPARE(archiveEntries(output), (QStringList{"model/model.gpb", "model/shaders/colored.vert",
                                                  "model/shaders/lib/common.glsl", "model/version"}));
    QProcess unzip;
    unzip.start("unzip", {"-p", output, "model/model.gpb"});
    unzip.waitForFinished(30000);
    QCOMPARE(unzip.readAllStandardOutput(), FakeEncoder::bundleBytesFor(input));

    // The workspace is gone; only the list of pending deletions may remain.
    const QStringList left =
        QDir(m_dir.path() + "/tmp/Velmora3dEncoder").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QVERIFY2(left.isEmpty() || left == QStringList{"props.ini"}, qPrintable(left.join(',')));
}

void TestCommandLine::containerIsRepacked()
{
    const QString input = m_dir.path() + "/in/a.VM3";
    QDir().mkpath(m_dir.path() + "/in");
    QFile::remove(input);
    QVERIFY(ZipFixture::write(input, ZipFixture::validModel("4", "1.5")));
    const QString output = m_dir.path() + "/out/b.vm3";
    const Run run = convert({"--convert", input, output});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QString());
    // The workspace always receives the application's shaders as well.
    QCOMPARE(archiveEntries(output), (QStringList{"model/model.gpb", "model/shaders/colored.vert",
                                                  "model/shaders/lib/common.glsl", "model/version"}));
    QProcess unzip;
    unzip.start("unzip", {"-p", output, "model/version"});
    unzip.waitForFinished(30000);
    QCOMPARE(unzip.readAllStandardOutput(), ZipFixture::versionFile("1.5", "4"));
}

void TestCommandLine::missingInput()
{
    const Run run = convert({"--convert", m_dir.path() + "/in/none.fbx", m_dir.path() + "/out/x.vm3"});
    QCOMPARE(run.exitCode, int(CommandLineConverter::InputError));
    QVERIFY2(run.err.contains("does not exist") && run.err.contains("none.fbx"), qPrintable(run.err));
    QVERIFY(!QFileInfo::exists(m_dir.path() + "/out/x.vm3"));
}

void TestCommandLine::unsupportedInput()
{
    const QString input = m_dir.path() + "/in/model.obj";
    QVERIFY(writeFile(input, "obj"));
    const Run run = convert({"--convert", input, m_dir.path() + "/out/x.vm3"});
    QCOMPARE(run.exitCode, int(CommandLineConverter::InputError));
    QVERIFY2(run.err.contains("Unsupported file type"), qPrintable(run.err));
}

void TestCommandLine::encoderMissing()
{
    FakeEncoder::remove(m_app);
    const QString input = m_dir.path() + "/in/model.fbx";
    QVERIFY(writeFile(input, "fbx"));
    const Run run = convert({"--convert", input, m_dir.path() + "/out/x.vm3"});
    QCOMPARE(run.exitCode, int(CommandLineConverter::EncoderFailed));
    QVERIFY2(run.err.contains("model encoder was not found") && run.err.contains(m_app + "/tools/linux/model-encoder"),
             qPrintable(run.err));
    QVERIFY(!QFileInfo::exists(m_dir.path() + "/out/x.vm3"));
}

void TestCommandLine::encoderCrashes()
{
    QVERIFY(FakeEncoder::install(m_app, FakeEncoder::Behaviour::Crash, m_dir.path() + "/record"));
    const QString input = m_dir.path() + "/in/model.fbx";
    QVERIFY(writeFile(input, "fbx"));
    const Run run = convert({"--convert", input, m_dir.path() + "/out/x.vm3"});
    QCOMPARE(run.exitCode, int(CommandLineConverter::EncoderFailed));
    QVERIFY2(run.err.contains("The model encoder crashed"), qPrintable(run.err));
    QVERIFY(run.err.contains("warning GP#2002 [Before crash] about to crash"));
    QVERIFY(!QFileInfo::exists(m_dir.path() + "/out/x.vm3"));
}

void TestCommandLine::encoderFails()
{
    QVERIFY(FakeEncoder::install(m_app, FakeEncoder::Behaviour::FailWithoutModel, m_dir.path() + "/record"));
    const QString input = m_dir.path() + "/in/model.fbx";
    QVERIFY(writeFile(input, "fbx"));
    const Run run = convert({"--convert", input, m_dir.path() + "/out/x.vm3"});
    QCOMPARE(run.exitCode, int(CommandLineConverter::EncoderFailed));
    QCOMPARE(run.errLines(), (QStringList{"error GP#1002 [Cannot read] the file is not an FBX file",
                                          "The model encoder failed with exit code 3."}));
}

void TestCommandLine::outputNotWritable()
{
    const QString input = m_dir.path() + "/in/model.fbx";
    QVERIFY(writeFile(input, "fbx"));
    QVERIFY(writeFile(m_dir.path() + "/out/blocker", "a file, not a folder"));
    QFile::remove(m_dir.path() + "/record/args.txt");
    const Run run = convert({"--convert", input, m_dir.path() + "/out/blocker/x.vm3"});
    QCOMPARE(run.exitCode, int(CommandLineConverter::OutputError));
    QVERIFY2(run.err.contains("Cannot write the output file"), qPrintable(run.err));
    // Checked before the encoder wastes any time.
    QVERIFY(!QFileInfo::exists(m_dir.path() + "/record/args.txt"));

    QDir().mkpath(m_dir.path() + "/out/folder.vm3");
    QCOMPARE(convert({"--convert", input, m_dir.path() + "/out/folder.vm3"}).exitCode,
             int(CommandLineConverter::OutputError));
}

void TestCommandLine::failedConversionKeepsExistingOutput()
{
    QVERIFY(FakeEncoder::install(m_app, FakeEncoder::Behaviour::FailWithoutModel, m_dir.path() + "/record"));
    const QString input = m_dir.path() + "/in/model.fbx";
    QVERIFY(writeFile(input, "fbx"));
    const QString output = m_dir.path() + "/out/keep.vm3";
    QVERIFY(writeFile(output, "previous export"));
    QVERIFY(convert({"--convert", input, output}).exitCode != 0);
    QCOMPARE(readFile(output), QByteArray("previous export"));
    QCOMPARE(QDir(m_dir.path() + "/out").entryList(QDir::Files | QDir::Hidden), QStringList{"keep.vm3"});
}

void TestCommandLine::refusedContainers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("too new") << "too new"
                             << "VM3 file format version not supported. Please update your Application Velmora3dEncoder";
    QTest::newRow("no version file") << "no version"
                                     << "Error reading version/format from the vm3 file: Version file missing. "
                                        "Please create the vm3-file again.";
    QTest::newRow("damaged") << "damaged" << "is damaged";
    QTest::newRow("zip slip") << "slip" << "was refused";
}

void TestCommandLine::refusedContainers()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    const QString input = m_dir.path() + "/in/refused.vm3";
    QDir().mkpath(m_dir.path() + "/in");
    QFile::remove(input);
    if (kind == "too new")
        QVERIFY(ZipFixture::write(input, ZipFixture::validModel("5")));
    else if (kind == "no version")
        QVERIFY(ZipFixture::write(input, {{"model/model.gpb", "GPB"}}));
    else if (kind == "damaged")
        QVERIFY(writeFile(input, QByteArray("PK\x03\x04 this is not really a zip file")));
    else
        QVERIFY(ZipFixture::write(input, {{"model/version", "{}"}, {"../../../escaped", "x"}}));

    const Run run = convert({"--convert", input, m_dir.path() + "/out/x.vm3"});
    QCOMPARE(run.exitCode, int(CommandLineConverter::ContainerRefused));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(!QFileInfo::exists(m_dir.path() + "/out/x.vm3"));
    QVERIFY(!QFileInfo::exists(m_dir.path() + "/escaped"));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"

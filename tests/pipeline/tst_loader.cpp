// The FBX import: the encoder's command line, the workspace it fills, how its
// console output is collected, and what happens when it is missing, crashes,
// floods its pipes or is superseded.
#include "FakeEncoder.h"

#include "EncoderOutputParser.h"
#include "EncoderProcess.h"
#include "Loader.h"
#include "UserSettings.h"
#include "VersionFile.h"
#include "WorkspaceService.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

namespace {

struct LoaderReport {
    bool arrived = false;
    int retValue = -100;
    QString modelPath, version, log, error;
    int format = -100;
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList readLines(const QString& path)
{
    return QString::fromUtf8(readFile(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestLoader : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void argumentsFollowUserSettings();
    void reportsFixedResultAndConsoleTexts();
    void fillsTheWorkspace();
    void pathsAreFixedWhenTheLoaderIsCreated();
    void missingEncoderGivesClearRecord();
    void crashingEncoderGivesClearRecord();
    void failingEncoderStillReportsZero();
    void floodingEncoderDoesNotBlock();
    void encoderWaitingForInputDoesNotHang();
    void cancelStopsTheEncoder();
    void cancelledBeforeStartTouchesNothing();
    void consoleTextEndsAtZeroByte();
    void exitCodeIsKept();

private:
    LoaderReport runOnPool(Loader* loader, int timeoutMs);
    QString makeInput(const QString& name, const QByteArray& bytes);

    QTemporaryDir m_dir;
    QString m_appParent;
    QString m_record;
    WorkspaceService* m_service = nullptr;
};

void TestLoader::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Keep the settings store away from the user's, also when run by hand.
    qputenv("XDG_CONFIG_HOME", (m_dir.path() + "/config").toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    m_appParent = m_dir.path() + "/app";
    m_record = m_dir.path() + "/record";
}

void TestLoader::init()
{
    QDir(m_dir.path() + "/tmp").removeRecursively();
    QDir(m_record).removeRecursively();
    QDir().mkpath(m_dir.path() + "/tmp");
    QVERIFY(FakeEncoder::install(m_appParent, FakeEncoder::Behaviour::Normal, m_record));
    m_service = new WorkspaceService(m_dir.path() + "/tmp", m_appParent);
    WorkspaceService::setInstance(m_service);
    UserSettings::instance().setAnimationGroupingRoot();
    UserSettings::instance().setBackfaceCullingOff();
}

void TestLoader::cleanup()
{
    QThreadPool::globalInstance()->waitForDone(30000);
    WorkspaceService::setInstance(nullptr);
    delete m_service;
    m_service = nullptr;
}

LoaderReport TestLoader::runOnPool(Loader* loader, int timeoutMs)
{
    LoaderReport report;
    QEventLoop loop;
    connect(loader, &Loader::loaderDidFinish, &loop,
            [&](int r, QString m, QString v, int f, QString log, QString error) {
                report = {true, r, m, v, log, error, f};
                loop.quit();
            });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QThreadPool::globalInstance()->start(loader);
    loop.exec();
    return report;
}

QString TestLoader::makeInput(const QString& name, const QByteArray& bytes)
{
    const QString path = m_dir.path() + "/input/" + name;
    QDir().mkpath(m_dir.path() + "/input");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

void TestLoader::argumentsFollowUserSettings()
{
    const QString input = makeInput("Käse model.FBX", "fbx one");
    m_service->setModelFile(input);
    UserSettings::instance().setAnimationGroupingTake();
    UserSettings::instance().setBackfaceCullingCW();

    Loader loader(input);
    loader.setAutoDelete(false);
    loader.run();

    const QStringList expected{"-group:take", "-cull:cw", "-m", "-v", "2", "-options", input,
                               m_service->modelFolder() + "/model.gpb"};
    QCOMPARE(readLines(m_record + "/args.txt"), expected);
    QCOMPARE(readLines(m_record + "/cwd.txt"), QStringList{QFileInfo(m_appParent + "/tools/linux").canonicalFilePath()});
}

void TestLoader::reportsFixedResultAndConsoleTexts()
{
    const QString input = makeInput("a.fbx", "fbx a");
    m_service->setModelFile(input);
    const LoaderReport report = runOnPool(new Loader(input), 20000);
    QVERIFY(report.arrived);
    QCOMPARE(report.retValue, 0);
    QCOMPARE(report.modelPath, QStringLiteral("model.gpb"));
    QCOMPARE(report.version, QStringLiteral("1.7"));
    QCOMPARE(report.format, 4);
    QCOMPARE(report.log, QStringLiteral("Loading scene...\nWarning (GP#2001|Fake warning): from stdout\n"));
    QCOMPARE(report.error, QStringLiteral("Error (GP#1001|Fake error): from stderr\\nsecond line\n"));
}

void TestLoader::fillsTheWorkspace()
{
    const QString input = makeInput("a.fbx", "fbx a");
    m_service->setModelFile(input);
    Loader loader(input);
    loader.setAutoDelete(false);
    loader.run();

    const QString model = m_service->modelFolder();
    QCOMPARE(readFile(model + "/model.gpb"), FakeEncoder::bundleBytesFor(input));
    QCOMPARE(readFile(model + "/version"), QByteArray("{\"encoderversion\":\"1.7\",\"format\":4}\n"));
    QVERIFY(QFileInfo(model + "/tex").isDir());
    QVERIFY(QFileInfo(model + "/.meta").isDir());
    QCOMPARE(readFile(model + "/shaders/colored.vert"), QByteArray("void main() {}\n"));
    QCOMPARE(readFile(model + "/shaders/lib/common.glsl"), QByteArray("// common\n"));
    QCOMPARE(loader.encoderResult().outcome, EncoderProcess::Outcome::Finished);
}

void TestLoader::pathsAreFixedWhenTheLoaderIsCreated()
{
    const QString first = makeInput("first.fbx", "first model");
    const QString second = makeInput("second.fbx", "second model");
    m_service->setModelFile(first);
    const QString firstModelFolder = m_service->modelFolder();
    Loader loader(first);
    loader.setAutoDelete(false);

    // The user opens another model before the first loader got a thread.
    m_service->setModelFile(second);
    QVERIFY(m_service->modelFolder() != firstModelFolder);
    loader.run();

    QCOMPARE(readFile(firstModelFolder + "/model.gpb"), FakeEncoder::bundleBytesFor(first));
    QVERIFY(!QFileInfo::exists(m_service->modelFolder() + "/model.gpb"));
    QCOMPARE(readLines(m_record + "/args.txt").last(), firstModelFolder + "/model.gpb");
}

void TestLoader::missingEncoderGivesClearRecord()
{
    FakeEncoder::remove(m_appParent);
    const QString input = makeInput("a.fbx", "fbx a");
    m_service->setModelFile(input);
    const LoaderReport report = runOnPool(new Loader(input), 20000);
    QVERIFY(report.arrived);
    QCOMPARE(report.retValue, 0);
    QCOMPARE(report.log, QString());

    EncoderOutputParser parser;
    parser.parseOutputs(report.error, report.log);
    QCOMPARE(parser.logs().size(), 1);
    const EncoderOutputLog& record = parser.logs().first();
    QCOMPARE(record.priority, LoggingPriorities::Error);
    QCOMPARE(record.code, 0);
    QCOMPARE(record.title, QStringLiteral("The model encoder could not be started"));
    QVERIFY2(record.message.contains(m_appParent + "/tools/linux/model-encoder"), qPrintable(record.message));
}

void TestLoader::crashingEncoderGivesClearRecord()
{
    QVERIFY(FakeEncoder::install(m_appParent, FakeEncoder::Behaviour::Crash, m_record));
    const QString input = makeInput("a.fbx", "fbx a");
    m_service->setModelFile(input);
    Loader loader(input);
    loader.setAutoDelete(false);
    QSignalSpy spy(&loader, &Loader::loaderDidFinish);
    loader.run();
    QCOMPARE(loader.encoderResult().outcome, EncoderProcess::Outcome::Crashed);
    QCOMPARE(spy.count(), 1);

    EncoderOutputParser parser;
    parser.parseOutputs(spy.first().at(5).toString(), spy.first().at(4).toString());
    QCOMPARE(parser.logs().size(), 2);
    QCOMPARE(parser.logs().at(0).title, QStringLiteral("The model encoder crashed"));
    QVERIFY(parser.logs().at(0).message.contains(m_appParent + "/tools/linux/model-encoder"));
    QCOMPARE(parser.logs().at(1).code, 2002); // what it printed before it died is kept
}

void TestLoader::failingEncoderStillReportsZero()
{
    QVERIFY(FakeEncoder::install(m_appParent, FakeEncoder::Behaviour::FailWithoutModel, m_record));
    const QString input = makeInput("a.obj", "not fbx");
    m_service->setModelFile(input);
    Loader loader(input);
    loader.setAutoDelete(false);
    QSignalSpy spy(&loader, &Loader::loaderDidFinish);
    loader.run();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(0).toInt(), 0);
    QCOMPARE(loader.encoderResult().exitCode, 3);
    QCOMPARE(spy.first().at(5).toString(),
             QStringLiteral("Error (GP#1002|Cannot read): the file is not an FBX file\n"));
}

void TestLoader::floodingEncoderDoesNotBlock()
{
    QVERIFY(FakeEncoder::install(m_appParent, FakeEncoder::Behaviour::Huge, m_record));
    const QString input = makeInput("a.fbx", "fbx a");
    m_service->setModelFile(input);
    const LoaderReport report = runOnPool(new Loader(input), 60000);
    QVERIFY(report.arrived);
    QVERIFY(report.log.size() > 8000000);
    QVERIFY(report.error.size() > 8000000);
    QVERIFY(report.log.endsWith("Warning (GP#2001|Fake warning): from stdout\n"));

    EncoderOutputParser parser;
    parser.parseOutputs(report.error, report.log);
    QCOMPARE(parser.logs().size(), 2);
}

void TestLoader::encoderWaitingForInputDoesNotHang()
{
    QVERIFY(FakeEncoder::install(m_appParent, FakeEncoder::Behaviour::ReadsInput, m_record));
    const QString input = makeInput("a.fbx", "fbx a");
    m_service->setModelFile(input);
    const LoaderReport report = runOnPool(new Loader(input), 20000);
    QVERIFY(report.arrived);
    QVERIFY(QFileInfo::exists(m_service->modelFolder() + "/model.gpb"));
}

void TestLoader::cancelStopsTheEncoder()
{
    QVERIFY(FakeEncoder::install(m_appParent, FakeEncoder::Behaviour::Slow, m_record));
    const QString input = makeInput("a.fbx", "fbx a");
    m_service->setModelFile(input);
    auto flag = std::make_shared<std::atomic<bool>>(false);
    auto* loader = new Loader(input);
    loader->setCancelFlag(flag);
    QTimer::singleShot(500, [flag] { flag->store(true); });

    QElapsedTimer clock;
    clock.start();
    const LoaderReport report = runOnPool(loader, 15000);
    QVERIFY(report.arrived);
    QVERIFY2(clock.elapsed() < 10000, "the encoder was not stopped");
    QVERIFY(!QFileInfo::exists(m_service->modelFolder() + "/model.gpb"));
    QVERIFY(!report.error.contains("crashed")); // a stop we asked for is no crash
}

void TestLoader::cancelledBeforeStartTouchesNothing()
{
    const QString input = makeInput("a.fbx", "fbx a");
    m_service->setModelFile(input);
    Loader loader(input);
    loader.setAutoDelete(false);
    loader.setCancelFlag(std::make_shared<std::atomic<bool>>(true));
    QSignalSpy spy(&loader, &Loader::loaderDidFinish);
    loader.run();
    QCOMPARE(spy.count(), 1);
    QVERIFY(!QFileInfo::exists(m_service->workspaceRoot()));
    QVERIFY(!QFileInfo::exists(m_record + "/args.txt"));
}

void TestLoader::consoleTextEndsAtZeroByte()
{
    const EncoderProcess::Result result =
        EncoderProcess::run("/bin/sh", {"-c", "printf 'before\\000after'; printf 'err\\000x' >&2"}, m_dir.path());
    QCOMPARE(result.outcome, EncoderProcess::Outcome::Finished);
    QCOMPARE(result.standardOutput, QStringLiteral("before"));
    QCOMPARE(result.standardError, QStringLiteral("err"));
}

void TestLoader::exitCodeIsKept()
{
    const EncoderProcess::Result result = EncoderProcess::run("/bin/sh", {"-c", "exit 7"}, m_dir.path());
    QCOMPARE(result.outcome, EncoderProcess::Outcome::Finished);
    QCOMPARE(result.exitCode, 7);
    QCOMPARE(EncoderProcess::failureLine(result, "/bin/sh"), QString());
}

QTEST_GUILESS_MAIN(TestLoader)
#include "tst_loader.moc"

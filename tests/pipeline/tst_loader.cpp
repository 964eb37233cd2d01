// The FBX import: the encoder's command line, the workspace it fills, how its
// console output is collected, and what happens when it is missing, crashes,
// floods its pipes or is cancelled.
#include "PipelineTestSupport.h"

#include "EncoderOutputParser.h"
#include "Loader.h"
#include "UserSettings.h"
#include "WorkspaceService.h"

#include <QtTest>

using namespace testsupport;

class TestLoader : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_input;
    WorkspaceService* m_service = nullptr;

    // Runs a loader on the pool; its one signal's arguments, or nothing.
    QVariantList runOnPool(Loader* loader, int timeoutMs)
    {
        QVariantList report;
        QEventLoop loop;
        connect(loader, &Loader::loaderDidFinish, &loop, [&](int r, QString m, QString v, int f, QString o, QString e) {
            report = {r, m, v, f, o, e};
            loop.quit();
        });
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        QThreadPool::globalInstance()->start(loader);
        loop.exec();
        return report;
    }

    QString path(const QString& relative) const { return m_dir.path() + '/' + relative; }
    QStringList recorded(const QString& name)
    {
        return QString(readFile(path("record/" + name))).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true); // keeps the settings away from the user's
        QDir(path("tmp")).removeRecursively();
        QDir(path("record")).removeRecursively();
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Normal, path("record")));
        m_input = path(QString::fromUtf8("input/K\xc3\xa4se model.FBX"));
        QVERIFY(writeFile(m_input, "fbx one"));
        m_service = new WorkspaceService(path("tmp"), path("app"));
        WorkspaceService::setInstance(m_service);
        m_service->setModelFile(m_input);
    }

    void cleanup()
    {
        QThreadPool::globalInstance()->waitForDone(30000);
        WorkspaceService::setInstance(nullptr);
        delete m_service;
    }

    void importRunsTheEncoderAndFillsTheWorkspace()
    {
        UserSettings::instance().setAnimationGroupingTake();
        UserSettings::instance().setBackfaceCullingCW();
        const QVariantList report = runOnPool(new Loader(m_input), 20000);
        QCOMPARE(
            report,
            (QVariantList {0, "model.gpb", "1.7", 4, "Loading scene...\nWarning (GP#2001|Fake warning): from stdout\n",
                           "Error (GP#1001|Fake error): from stderr\\nsecond line\n"}));
        const QString model = m_service->modelFolder();
        QCOMPARE(recorded("args.txt"),
                 (QStringList {"-group:take", "-cull:cw", "-m", "-v", "2", "-options", m_input, model + "/model.gpb"}));
        QCOMPARE(recorded("cwd.txt"), QStringList {QFileInfo(path("app/tools/linux")).canonicalFilePath()});
        QCOMPARE(readFile(model + "/model.gpb"), FakeEncoder::bundleBytesFor(m_input));
        QCOMPARE(readFile(model + "/version"), QByteArray("{\"encoderversion\":\"1.7\",\"format\":4}\n"));
        QVERIFY(QFileInfo(model + "/tex").isDir() && QFileInfo(model + "/.meta").isDir());
        QCOMPARE(readFile(model + "/shaders/lib/common.glsl"), QByteArray("// common\n"));
    }

    void pathsAreFixedWhenTheLoaderIsCreated()
    {
        const QString firstModelFolder = m_service->modelFolder();
        Loader loader(m_input);
        loader.setAutoDelete(false);
        // The user opens another model before the first loader got a thread.
        QVERIFY(writeFile(path("input/second.fbx"), "second model"));
        m_service->setModelFile(path("input/second.fbx"));
        loader.run();
        QCOMPARE(readFile(firstModelFolder + "/model.gpb"), FakeEncoder::bundleBytesFor(m_input));
        QVERIFY(!QFileInfo::exists(m_service->modelFolder() + "/model.gpb"));
    }

    void encoderOutcomes_data()
    {
        using B = FakeEncoder::Behaviour;
        QTest::addColumn<int>("behaviour"); // -1: no encoder at all
        QTest::addColumn<int>("result"); // negative: no model to show
        QTest::addColumn<QStringList>("titles");
        const QString noModel = "The model could not be converted";
        QTest::newRow("missing") << -1 << -1 << QStringList {"The model encoder could not be started"};
        QTest::newRow("crashes") << int(B::Crash) << -1 << QStringList {"The model encoder crashed", "Before crash"};
        QTest::newRow("fails") << int(B::FailWithoutModel) << -1 << QStringList {"Cannot read", noModel};
        QTest::newRow("writes nothing") << int(B::SucceedWithoutModel) << -1 << QStringList {noModel};
        QTest::newRow("floods both pipes") << int(B::Huge) << 0 << QStringList {"Fake error", "Fake warning"};
        QTest::newRow("reads its input") << int(B::ReadsInput) << 0 << QStringList {"Fake error", "Fake warning"};
    }

    void encoderOutcomes()
    {
        QFETCH(int, behaviour);
        QFETCH(int, result);
        QFETCH(QStringList, titles);
        if (behaviour < 0)
            QFile::remove(path("app/tools/linux/model-encoder"));
        else
            QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour(behaviour), path("record")));
        const QVariantList report = runOnPool(new Loader(m_input), 60000);
        QCOMPARE(report.value(0).toInt(), result);
        EncoderOutputParser parser;
        parser.parseOutputs(report.value(5).toString(), report.value(4).toString());
        QStringList seen;
        for (const EncoderOutputLog& log : parser.logs())
            seen << log.title;
        QCOMPARE(seen, titles);
        // A failure to run names the encoder; a noisy encoder still delivers its model.
        QCOMPARE(seen.first().startsWith("The model encoder"),
                 parser.logs().first().message.contains(path("app/tools/linux/model-encoder")));
        QVERIFY(behaviour != int(FakeEncoder::Behaviour::Huge) || report.value(5).toString().size() > 8000000);
    }

    void cancelStopsTheEncoder()
    {
        // Cancelled before it started, a loader touches nothing.
        auto* early = new Loader(m_input);
        early->setCancelFlag(std::make_shared<std::atomic<bool>>(true));
        QCOMPARE(runOnPool(early, 5000).size(), 6);
        QVERIFY(!QFileInfo::exists(m_service->modelFolder()) && !QFileInfo::exists(path("record/args.txt")));

        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Slow, path("record")));
        auto flag = std::make_shared<std::atomic<bool>>(false);
        auto* loader = new Loader(m_input);
        loader->setCancelFlag(flag);
        QTimer::singleShot(500, [flag] { flag->store(true); });
        QElapsedTimer clock;
        clock.start();
        const QVariantList report = runOnPool(loader, 15000);
        QVERIFY2(!report.isEmpty() && clock.elapsed() < 10000, "the encoder was not stopped");
        QVERIFY(!QFileInfo::exists(m_service->modelFile()));
        QVERIFY(!report.value(5).toString().contains("crashed")); // a stop we asked for is no crash
    }
};

QTEST_GUILESS_MAIN(TestLoader)
#include "tst_loader.moc"

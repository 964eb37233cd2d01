// The model manager: only the newest of several imports is shown, a
// workspace is deleted only once the work that reads or writes it has ended,
// and a file opened again reuses its conversion while nothing it depends on changed.
#include "PipelineTestSupport.h"

#include "Exporter.h"
#include "ModelManager.h"
#include "WorkspaceService.h"

#include <QCryptographicHash>
#include <QtTest>

#include <sys/stat.h>

using namespace testsupport;

namespace {

// The models the model manager hands over, and the last one it announced.
struct Results {
    QVector<LoadedModel> models;
    QString lastLoaded;

    explicit Results(ModelManager& manager)
    {
        QObject::connect(&manager, &ModelManager::newModelLoaded, [this](const QString& p) { lastLoaded = p; });
        QObject::connect(&manager, &ModelManager::modelReady, [this](const LoadedModel& m) { models << m; });
    }
};

} // namespace

class TestModelManager : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    WorkspaceService* m_service = nullptr;

    QString path(const QString& relative) const { return m_dir.path() + '/' + relative; }
    QString input(const QString& name, const QByteArray& bytes)
    {
        writeFile(path("input/" + name), bytes);
        return path("input/" + name);
    }
    QString container(const QString& name, const ZipFixture::Entries& entries)
    {
        return ZipFixture::write(path("input/" + name), entries) ? path("input/" + name) : QString();
    }
    void open(ModelManager& manager, const QString& file)
    {
        m_service->setModelFile(file);
        manager.importModel(file);
    }
    // Waits until the pool is idle and queued results have arrived.
    void settle()
    {
        QThreadPool::globalInstance()->waitForDone(30000);
        QTest::qWait(200);
    }

private slots:
    void init()
    {
        QDir(path("tmp")).removeRecursively();
        QVERIFY(QDir().mkpath(path("tmp")) && QDir().mkpath(path("input")));
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Normal, path("record")));
        QFile::remove(path("record/args.txt"));
        m_service = new WorkspaceService(path("tmp"), path("app"));
    }

    void cleanup()
    {
        settle();
        delete m_service;
    }

    void newerImportSupersedesRunningOne()
    {
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Slow, path("record")));
        ModelManager manager(*m_service);
        Results log(manager);
        open(manager, input("first.fbx", "first"));
        const QString firstModel = m_service->modelFile();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path("record/args.txt")), 10000); // the encoder runs

        // The newest of several files is shown, and quickly: the slow encoder is stopped.
        QElapsedTimer clock;
        clock.start();
        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Normal, path("record")));
        QStringList inputs, modelFiles;
        for (int i = 0; i < 3; ++i) {
            inputs << input(QString("quick%1.fbx").arg(i), QByteArray::number(i));
            open(manager, inputs.last());
            modelFiles << m_service->modelFile();
        }
        QTRY_COMPARE_WITH_TIMEOUT(log.models.size(), 1, 10000);
        settle();
        QVERIFY2(clock.elapsed() < 10000, "the superseded encoder was not stopped");
        QCOMPARE(log.models.size(), 1);
        QCOMPARE(log.lastLoaded, inputs.last());
        QCOMPARE(readFile(modelFiles.last()), FakeEncoder::bundleBytesFor(inputs.last()));
        QVERIFY(!QFileInfo::exists(firstModel));
        // Whatever an earlier loader still wrote went to its own workspace.
        for (int i = 0; i < 2; ++i)
            QVERIFY(readFile(modelFiles.at(i)).isEmpty()
                    || readFile(modelFiles.at(i)) == FakeEncoder::bundleBytesFor(inputs.at(i)));
    }

    void workspacesInUseAreDeletedWhenTheirWorkEnds()
    {
        ModelManager manager(*m_service);
        Results log(manager);
        open(manager, container("a.vm3", ZipFixture::validModel()));
        const QString exported = m_service->workspaceRoot();
        // An export waits on the pool for the workspace the user is leaving.
        auto* exporter = new Exporter(m_service->modelFolder(), path("input/out.vm3"), m_service);
        QSignalSpy done(exporter, &Exporter::exporterDidFinish);

        QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Brief, path("record")));
        open(manager, input("first.fbx", "first"));
        const QString converted = m_service->workspaceRoot();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path("record/args.txt")), 10000);
        // The next file is named (and hashed) before its import stops the
        // encoder, which meanwhile goes on writing into its workspace.
        m_service->setModelFile(input("second.fbx", "second"));

        QThreadPool::globalInstance()->start(exporter);
        settle();
        QCOMPARE(done.count(), 1);
        QCOMPARE(runProgram("unzip", {"-p", path("input/out.vm3"), "model/model.gpb"}).out, ZipFixture::bundle());
        QVERIFY(!QFileInfo::exists(exported));
        QVERIFY(!QFileInfo::exists(converted));
    }

    // The digest that names the workspace is taken on the thread pool: the
    // caller's thread goes on at once, and only the newest file opened counts.
    void openingHashesOffTheCallersThread_data()
    {
        QTest::addColumn<QStringList>("files"); // opened one after the other
        QTest::newRow("one file") << QStringList {"a.fbx"};
        QTest::newRow("a second file opened meanwhile") << QStringList {"a.fbx", "b.fbx"};
    }

    void openingHashesOffTheCallersThread()
    {
        QFETCH(QStringList, files);
        ModelManager manager(*m_service);
        Results log(manager);
        QSignalSpy started(&manager, &ModelManager::importStarted);
        const QString before = m_service->modelHash();
        for (const QString& name : files)
            manager.openModel(input(name, name.toUtf8().repeated(1000)));
        QCOMPARE(started.count(), 0);
        QCOMPARE(m_service->modelHash(), before);
        QTRY_COMPARE(log.lastLoaded, path("input/" + files.last()));
        settle();
        QCOMPARE(started.count(), 1);
        QCOMPARE(log.models.size(), 1);
        const QByteArray md5 = QCryptographicHash::hash(readFile(log.lastLoaded), QCryptographicHash::Md5).toHex();
        QCOMPARE(m_service->modelHash(), QString(md5));
    }

    void reopeningReusesTheConversion_data()
    {
        QTest::addColumn<QString>("change"); // between the two openings
        QTest::addColumn<bool>("encoderRuns");
        QTest::newRow("nothing") << "" << false;
        QTest::newRow("content saved again") << "content" << true;
        QTest::newRow("texture beside it saved again") << "texture" << true;
        QTest::newRow("encoder rebuilt") << "encoder" << true;
        QTest::newRow("same content under another name") << "copy" << true;
    }

    void reopeningReusesTheConversion()
    {
        QFETCH(QString, change);
        QFETCH(bool, encoderRuns);
        ModelManager manager(*m_service);
        Results log(manager);
        const QString file = input("model.fbx", "model");
        QVERIFY(writeFile(path("input/textures/skin.png"), "png"));
        open(manager, file);
        settle();
        QCOMPARE(log.models.size(), 1);
        const EncoderOutputLogs firstRecords = log.models.last().records;
        QVERIFY(QFileInfo::exists(path("record/args.txt")));
        QVERIFY(QFile::remove(path("record/args.txt")));

        QTest::qWait(20); // a later modification time
        if (change == "content")
            input("model.fbx", "other");
        else if (change == "texture")
            QVERIFY(writeFile(path("input/textures/skin.png"), "PNG"));
        else if (change == "encoder")
            QVERIFY(FakeEncoder::install(path("app"), FakeEncoder::Behaviour::Normal, path("record")));
        const QString reopened = change == "copy" ? input("copy.fbx", "model") : file;
        open(manager, reopened);
        settle();
        QCOMPARE(log.models.size(), 2);
        QCOMPARE(QFileInfo::exists(path("record/args.txt")), encoderRuns);
        QCOMPARE(readFile(m_service->modelFile()), FakeEncoder::bundleBytesFor(reopened));
        QCOMPARE(log.models.last().records.size(), firstRecords.size());
        if (encoderRuns)
            return;
        // A reimport into the same workspace writes new files, never through
        // the ones the cache lent it.
        const QString restored = m_service->modelFile();
        const QStringList entries
            = QDir(path("tmp/Velmora3dEncoder/cache")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(entries.size(), 1);
        ImportOptions culled;
        culled.culling = ImportOptions::Culling::Cw;
        manager.setImportOptions(culled);
        manager.reimportModel();
        settle();
        QVERIFY(QFileInfo::exists(path("record/args.txt")));
        struct stat cached, workspace;
        QVERIFY(::stat(QFile::encodeName(path("tmp/Velmora3dEncoder/cache/") + entries.first() + "/model/model.gpb"),
                       &cached)
                    == 0
                && ::stat(QFile::encodeName(restored), &workspace) == 0);
        QVERIFY(cached.st_ino != workspace.st_ino);
    }
};

QTEST_GUILESS_MAIN(TestModelManager)
#include "tst_modelmanager.moc"

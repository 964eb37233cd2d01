// The model manager: which signals an FBX import, a vm3 import (good, too
// new, broken, damaged, hostile) and an export produce, and that only the
// newest of several imports is shown.
#include "FakeEncoder.h"
#include "ZipFixture.h"

#include "ModelManager.h"
#include "SceneGraph.h"
#include "UserSettings.h"
#include "VersionFile.h"
#include "WorkspaceService.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

namespace {

const char* const tooNewText =
    "VM3 file format version not supported. Please update your Application Velmora3dEncoder";
const char* const versionMissingText =
    "Error reading version/format from the vm3 file: Version file missing. Please create the vm3-file again.";

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Records every signal of a model manager in arrival order.
struct SignalLog {
    QStringList order;
    QVector<SceneGraph*> sceneGraphs;
    const EncoderOutputLogs* logs = nullptr;
    EncoderOutputLogs parsedLogs;
    QStringList loadedPaths, errorPaths, versionErrors, importErrors, exported, exportFailures;

    explicit SignalLog(ModelManager& manager)
    {
        QObject::connect(manager.encoderOutputParser(), &EncoderOutputParser::outputParserDidGenerateOutputMessages,
                         [this](const EncoderOutputLogs& l) {
                             order << "parsed";
                             parsedLogs = l;
                         });
        QObject::connect(&manager, &ModelManager::newModelLoaded, [this](const QString& p) {
            order << "newModelLoaded";
            loadedPaths << p;
        });
        QObject::connect(&manager, &ModelManager::newSceneGraphIsReadyToDisplay,
                         [this](SceneGraph* g, const EncoderOutputLogs* l) {
                             order << "sceneGraph";
                             sceneGraphs << g;
                             logs = l;
                         });
        QObject::connect(&manager, &ModelManager::errorLoadingModel, [this](const QString& p) {
            order << "errorLoadingModel";
            errorPaths << p;
        });
        QObject::connect(&manager, &ModelManager::signalVersionError, [this](const QString& t) {
            order << "versionError";
            versionErrors << t;
        });
        QObject::connect(&manager, &ModelManager::signalImportError, [this](const QString& t) {
            order << "importError";
            importErrors << t;
        });
        QObject::connect(&manager, &ModelManager::modelExported, [this](const QString& p) {
            order << "exported";
            exported << p;
        });
        QObject::connect(&manager, &ModelManager::modelExportFailed, [this](const QString& p, const QString& e) {
            order << "exportFailed";
            exportFailures << p + " | " + e;
        });
    }
    ~SignalLog() { qDeleteAll(sceneGraphs); }
};

} // namespace

class TestModelManager : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void supportedSuffixes();
    void containerIsChosenByNameOnly();
    void emptyPathDoesNothing();
    void unreadableFileRunsNoImport();
    void reimportBeforeAnyImportDoesNothing();

    void fbxImportEmitsLogsThenModelThenSceneGraph();
    void containerImportLoadsFormat4();
    void containerOfFormat2UsesSceneFile();
    void reimportUnpacksTheContainerAgain();
    void containerTooNewIsRefused();
    void containerWithoutVersionFile();
    void versionErrorCarriesStoredContainerPath();
    void damagedContainers_data();
    void damagedContainers();
    void hostileEntriesAreRefused_data();
    void hostileEntriesAreRefused();
    void zipWithDirectoryEntriesImports();

    void newerImportSupersedesRunningOne();
    void containerImportSupersedesRunningEncoder();
    void quickOpensNeverMixFiles();

    void realEncoderConvertsSharedModel();
    void realEncoderRecordsReachTheLog();

    void exportNeedsBothPaths();
    void exportReportsTheWrittenFile();
    void failedExportIsNotReportedAsDone();

private:
    QString writeInput(const QString& name, const QByteArray& bytes);
    QString writeContainer(const QString& name, const ZipFixture::Entries& entries);
    bool useRealEncoder();
    bool waitFor(const std::function<bool()>& condition, int timeoutMs);

    QTemporaryDir m_dir;
    QString m_appParent;
    QString m_record;
    WorkspaceService* m_service = nullptr;
};

void TestModelManager::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CONFIG_HOME", (m_dir.path() + "/config").toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    m_appParent = m_dir.path() + "/app";
    m_record = m_dir.path() + "/record";
}

void TestModelManager::init()
{
    QDir(m_dir.path() + "/tmp").removeRecursively();
    QDir().mkpath(m_dir.path() + "/tmp");
    QVERIFY(FakeEncoder::install(m_appParent, FakeEncoder::Behaviour::Normal, m_record));
    m_service = new WorkspaceService(m_dir.path() + "/tmp", m_appParent);
    WorkspaceService::setInstance(m_service);
}

void TestModelManager::cleanup()
{
    QThreadPool::globalInstance()->waitForDone(30000);
    QCoreApplication::processEvents();
    WorkspaceService::setInstance(nullptr);
    delete m_service;
    m_service = nullptr;
}

QString TestModelManager::writeInput(const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(m_dir.path() + "/input");
    const QString path = m_dir.path() + "/input/" + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

QString TestModelManager::writeContainer(const QString& name, const ZipFixture::Entries& entries)
{
    QDir().mkpath(m_dir.path() + "/input");
    const QString path = m_dir.path() + "/input/" + name;
    QFile::remove(path);
    if (!ZipFixture::write(path, entries))
        return QString();
    return path;
}

bool TestModelManager::waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < timeoutMs)
        QTest::qWait(20);
    return condition();
}

void TestModelManager::supportedSuffixes()
{
    QVERIFY(!ModelManager::isSupportedSuffix(""));
    for (const char* suffix : {"fbx", "FBX", "Fbx", "vm3", "VM3", "Vm3"})
        QVERIFY2(ModelManager::isSupportedSuffix(suffix), suffix);
    for (const char* suffix : {"obj", "fbx2", "vm", "zip", " fbx"})
        QVERIFY2(!ModelManager::isSupportedSuffix(suffix), suffix);
}

void TestModelManager::containerIsChosenByNameOnly()
{
    QVERIFY(ModelManager::isContainerFile("/a/b.vm3"));
    QVERIFY(ModelManager::isContainerFile("/a/b.VM3"));
    QVERIFY(!ModelManager::isContainerFile("/a/b.FBX"));
    QVERIFY(!ModelManager::isContainerFile("/a/b.obj"));
    QVERIFY(!ModelManager::isContainerFile("/a/vm3"));
}

void TestModelManager::emptyPathDoesNothing()
{
    ModelManager manager;
    SignalLog log(manager);
    const QString container = writeContainer("a.vm3", ZipFixture::validModel());
    m_service->setModelFile(container);
    manager.importModel(container);
    log.order.clear();

    manager.importModel(QString());
    QTest::qWait(100);
    QVERIFY(log.order.isEmpty());
    QCOMPARE(manager.currentModelPath(), container);
}

void TestModelManager::reimportBeforeAnyImportDoesNothing()
{
    ModelManager manager;
    SignalLog log(manager);
    manager.reimportModel();
    QTest::qWait(100);
    QVERIFY(log.order.isEmpty());
    QVERIFY(!QFileInfo::exists(m_dir.path() + "/tmp/Velmora3dEncoder"));
}

void TestModelManager::unreadableFileRunsNoImport()
{
    // Without a readable file there is no workspace name: nothing may be
    // converted or unpacked into the shared company folder.
    for (const char* name : {"gone.fbx", "gone.vm3"}) {
        QFile::remove(m_record + "/args.txt");
        ModelManager manager;
        SignalLog log(manager);
        const QString missing = m_dir.path() + "/input/" + name;
        m_service->setModelFile(missing);
        manager.importModel(missing);
        QThreadPool::globalInstance()->waitForDone(30000);
        QCoreApplication::processEvents();
        QCOMPARE(log.order, (QStringList{"errorLoadingModel", "importError"}));
        QVERIFY2(log.importErrors.first().contains(QStringLiteral("cannot be read")), qPrintable(log.importErrors.first()));
        QVERIFY(!QFileInfo::exists(m_record + "/args.txt"));
        QVERIFY(QDir(m_dir.path() + "/tmp").entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
    }
}

void TestModelManager::fbxImportEmitsLogsThenModelThenSceneGraph()
{
    ModelManager manager;
    SignalLog log(manager);
    const QString input = writeInput("Robot.FBX", "robot");
    m_service->setModelFile(input);
    manager.importModel(input);
    QVERIFY(log.order.isEmpty()); // the encoder runs on the pool

    QVERIFY(waitFor([&] { return log.sceneGraphs.size() == 1; }, 20000));
    QCOMPARE(log.order, (QStringList{"parsed", "newModelLoaded", "sceneGraph"}));
    QCOMPARE(log.loadedPaths, QStringList{input});
    QCOMPARE(log.sceneGraphs.first()->modelPath(), QStringLiteral("model.gpb"));
    QCOMPARE(log.sceneGraphs.first()->version(), QStringLiteral("1.7"));
    QCOMPARE(log.sceneGraphs.first()->format(), 4);

    // The encoder printed an error, yet the model is shown; standard error
    // comes first. The pointer handed out is the parser's own list.
    QCOMPARE(log.logs, &manager.encoderOutputParser()->logs());
    QCOMPARE(log.logs->size(), 2);
    QCOMPARE(log.logs->at(0).code, 1001);
    QCOMPARE(log.logs->at(0).message, QStringLiteral("from stderr\nsecond line"));
    QCOMPARE(log.logs->at(1).code, 2001);
    QCOMPARE(readFile(m_service->modelFile()), FakeEncoder::bundleBytesFor(input));
}

void TestModelManager::containerImportLoadsFormat4()
{
    ModelManager manager;
    SignalLog log(manager);
    const QString container = writeContainer("Model.VM3", ZipFixture::validModel("4", "1.6"));
    m_service->setModelFile(container);
    manager.importModel(container);

    // Unpacking runs on the calling thread: everything has been emitted.
    QCOMPARE(log.order, (QStringList{"parsed", "newModelLoaded", "sceneGraph"}));
    const QString expectedPath = "Velmora3dEncoder/" + m_service->modelHash() + "/res/model/model.gpb";
    QCOMPARE(log.sceneGraphs.first()->modelPath(), expectedPath);
    QCOMPARE(log.sceneGraphs.first()->version(), QStringLiteral("1.6"));
    QCOMPARE(log.sceneGraphs.first()->format(), 4);
    QCOMPARE(manager.containerModelPath(), expectedPath);
    QVERIFY(log.logs->isEmpty());
    QCOMPARE(readFile(m_service->modelFile()), QByteArray("GPB\xab container bundle"));
    QVERIFY(QFileInfo(m_service->metaFolder()).isDir());
    QVERIFY(QFileInfo::exists(m_service->modelFolder() + "/shaders/colored.vert"));
}

void TestModelManager::containerOfFormat2UsesSceneFile()
{
    ModelManager manager;
    SignalLog log(manager);
    const QString container = writeContainer(
        "old.vm3", {{"model/version", ZipFixture::versionFile("1.2", "2")}, {"model/duck.scene", "scene"}});
    m_service->setModelFile(container);
    manager.importModel(container);
    QCOMPARE(log.sceneGraphs.size(), 1);
    QCOMPARE(log.sceneGraphs.first()->modelPath(), QStringLiteral("duck.scene"));
    QCOMPARE(log.sceneGraphs.first()->format(), 2);
}

void TestModelManager::reimportUnpacksTheContainerAgain()
{
    ModelManager manager;
    SignalLog log(manager);
    const QString container = writeContainer("a.vm3", ZipFixture::validModel());
    m_service->setModelFile(container);
    manager.importModel(container);
    QVERIFY(QFile::remove(m_service->modelFile()));

    manager.reimportModel();
    QCOMPARE(log.sceneGraphs.size(), 2);
    QVERIFY(QFileInfo::exists(m_service->modelFile()));
}

void TestModelManager::containerTooNewIsRefused()
{
    ModelManager manager;
    SignalLog log(manager);
    const QString container = writeContainer("new.vm3", ZipFixture::validModel("5"));
    m_service->setModelFile(container);
    manager.importModel(container);
    QCOMPARE(log.order, (QStringList{"errorLoadingModel", "versionError"}));
    QCOMPARE(log.errorPaths, QStringList{QString()}); // no container loaded before
    QCOMPARE(log.versionErrors, QStringList{tooNewText});
}

void TestModelManager::containerWithoutVersionFile()
{
    ModelManager manager;
    SignalLog log(manager);
    const QString container = writeContainer("nover.vm3", {{"model/model.gpb", "GPB"}});
    m_service->setModelFile(container);
    manager.importModel(container);
    QCOMPARE(log.order, (QStringList{"errorLoadingModel", "versionError"}));
    QCOMPARE(log.versionErrors, QStringList{versionMissingText});
}

void TestModelManager::versionErrorCarriesStoredContainerPath()
{
    ModelManager manager;
    SignalLog log(manager);
    const QString good = writeContainer("good.vm3", ZipFixture::validModel());
    m_service->setModelFile(good);
    manager.importModel(good);
    const QString goodPath = manager.containerModelPath();
    QVERIFY(!goodPath.isEmpty());

    const QString bad = writeContainer("bad.vm3", ZipFixture::validModel("4.0"));
    m_service->setModelFile(bad);
    manager.importModel(bad);
    QCOMPARE(log.errorPaths, QStringList{goodPath});
    QCOMPARE(log.versionErrors.size(), 1);
    QVERIFY(log.versionErrors.first().contains("file format"));
    QCOMPARE(manager.containerModelPath(), goodPath);
}

void TestModelManager::damagedContainers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("not a zip") << "garbage";
    QTest::newRow("truncated") << "truncated";
    QTest::newRow("crc mismatch") << "crc";
    QTest::newRow("empty file") << "empty";
}

void TestModelManager::damagedContainers()
{
    QFETCH(QString, kind);
    QByteArray bytes;
    if (kind == "garbage") {
        bytes = QByteArray(4096, 'x');
    } else if (kind != "empty") {
        // Large, poorly compressible content so the damage lands in file data.
        ZipFixture::Entries entries = ZipFixture::validModel();
        QByteArray noise;
        quint32 state = 12345;
        for (int i = 0; i < 200000; ++i) {
            state = state * 1103515245u + 12345u;
            noise.append(char(state >> 24));
        }
        entries.append({"model/tex/noise.bin", noise});
        const QString whole = writeContainer("whole.vm3", entries);
        QVERIFY(!whole.isEmpty());
        bytes = readFile(whole);
        if (kind == "truncated") {
            bytes.truncate(bytes.size() / 2);
        } else {
            const int at = bytes.indexOf("model/tex/noise.bin") + 19 + 1000;
            bytes[at] = char(bytes[at] ^ 0x55);
        }
    }
    const QString container = writeInput("damaged.vm3", bytes);

    ModelManager manager;
    SignalLog log(manager);
    m_service->setModelFile(container);
    manager.importModel(container);
    QCOMPARE(log.order, (QStringList{"errorLoadingModel", "importError"}));
    QVERIFY2(log.importErrors.first().contains("damaged"), qPrintable(log.importErrors.first()));
    QVERIFY(log.importErrors.first().contains("damaged.vm3"));
    QVERIFY(!QFileInfo::exists(m_service->modelFile()));
    QVERIFY(!QFileInfo::exists(m_service->modelFolder() + "/version"));
}

void TestModelManager::hostileEntriesAreRefused_data()
{
    QTest::addColumn<QString>("entryName");
    QTest::newRow("dot dot") << "../../escaped.txt";
    QTest::newRow("inner dot dot") << "model/../../escaped.txt";
    QTest::newRow("absolute") << "/tmp/escaped.txt";
    QTest::newRow("backslash dot dot") << "model\\..\\..\\escaped.txt";
    QTest::newRow("drive letter") << "C:/escaped.txt";
}

void TestModelManager::hostileEntriesAreRefused()
{
    QFETCH(QString, entryName);
    ZipFixture::Entries entries = ZipFixture::validModel();
    entries.append({entryName, "owned"});
    const QString container = writeContainer("hostile.vm3", entries);
    QVERIFY(!container.isEmpty());

    ModelManager manager;
    SignalLog log(manager);
    m_service->setModelFile(container);
    manager.importModel(container);
    QCOMPARE(log.order, (QStringList{"errorLoadingModel", "importError"}));
    QVERIFY2(log.importErrors.first().contains("refused"), qPrintable(log.importErrors.first()));
    QVERIFY(log.sceneGraphs.isEmpty());
    QVERIFY(!QFileInfo::exists(m_service->workspaceRoot() + "/escaped.txt"));
    QVERIFY(!QFileInfo::exists(m_dir.path() + "/tmp/Velmora3dEncoder/escaped.txt"));
    QVERIFY(!QFileInfo::exists(m_service->modelFile()));
}

void TestModelManager::zipWithDirectoryEntriesImports()
{
    // Info-ZIP's zip adds an entry for every folder.
    const QString source = m_dir.path() + "/zipsource";
    QDir().mkpath(source + "/model/tex/deep");
    QFile gpb(source + "/model/model.gpb");
    QVERIFY(gpb.open(QIODevice::WriteOnly));
    gpb.write("GPB zip");
    gpb.close();
    QFile version(source + "/model/version");
    QVERIFY(version.open(QIODevice::WriteOnly));
    version.write(VersionFile::contents());
    version.close();
    QFile texture(source + "/model/tex/deep/t.png");
    QVERIFY(texture.open(QIODevice::WriteOnly));
    texture.write("png");
    texture.close();

    const QString container = m_dir.path() + "/input/zipped.vm3";
    QDir().mkpath(m_dir.path() + "/input");
    QProcess zip;
    zip.setWorkingDirectory(source);
    zip.start("zip", {"-r", "-q", container, "model"});
    QVERIFY(zip.waitForFinished(30000));
    QCOMPARE(zip.exitCode(), 0);

    ModelManager manager;
    SignalLog log(manager);
    m_service->setModelFile(container);
    manager.importModel(container);
    QCOMPARE(log.sceneGraphs.size(), 1);
    QCOMPARE(readFile(m_service->modelFile()), QByteArray("GPB zip"));
    QCOMPARE(readFile(m_service->modelFolder() + "/tex/deep/t.png"), QByteArray("png"));
}

void TestModelManager::newerImportSupersedesRunningOne()
{
    QVERIFY(FakeEncoder::install(m_appParent, FakeEncoder::Behaviour::Slow, m_record));
    QFile::remove(m_record + "/args.txt");
    ModelManager manager;
    SignalLog log(manager);
    const QString first = writeInput("first.fbx", "first");
    m_service->setModelFile(first);
    const QString firstModel = m_service->modelFile();
    manager.importModel(first);
    QVERIFY(waitFor([&] { return QFileInfo::exists(m_record + "/args.txt"); }, 10000)); // encoder runs

    QVERIFY(FakeEncoder::install(m_appParent, FakeEncoder::Behaviour::Normal, m_record));
    const QString second = writeInput("second.fbx", "second");
    m_service->setModelFile(second);
    QElapsedTimer clock;
    clock.start();
    manager.importModel(second);

    QVERIFY(waitFor([&] { return log.sceneGraphs.size() == 1; }, 15000));
    QVERIFY2(clock.elapsed() < 10000, "the superseded encoder was not stopped");
    QThreadPool::globalInstance()->waitForDone(30000);
    QTest::qWait(200);
    QCOMPARE(log.sceneGraphs.size(), 1);
    QCOMPARE(log.loadedPaths, QStringList{second});
    QCOMPARE(manager.currentModelPath(), second);
    QCOMPARE(readFile(m_service->modelFile()), FakeEncoder::bundleBytesFor(second));
    QVERIFY(!QFileInfo::exists(firstModel));
}

void TestModelManager::containerImportSupersedesRunningEncoder()
{
    QVERIFY(FakeEncoder::install(m_appParent, FakeEncoder::Behaviour::Slow, m_record));
    QFile::remove(m_record + "/args.txt");
    ModelManager manager;
    SignalLog log(manager);
    const QString fbx = writeInput("slow.fbx", "slow");
    m_service->setModelFile(fbx);
    manager.importModel(fbx);
    QVERIFY(waitFor([&] { return QFileInfo::exists(m_record + "/args.txt"); }, 10000));

    const QString container = writeContainer("c.vm3", ZipFixture::validModel());
    m_service->setModelFile(container);
    manager.importModel(container);
    QCOMPARE(log.sceneGraphs.size(), 1);

    QThreadPool::globalInstance()->waitForDone(30000);
    QTest::qWait(200);
    QCOMPARE(log.sceneGraphs.size(), 1);
    QCOMPARE(log.sceneGraphs.first()->modelPath(), manager.containerModelPath());
}

void TestModelManager::quickOpensNeverMixFiles()
{
    ModelManager manager;
    SignalLog log(manager);
    QStringList inputs;
    QStringList modelFiles;
    for (int i = 0; i < 4; ++i) {
        inputs << writeInput(QString("quick%1.fbx").arg(i), QByteArray("model ") + QByteArray::number(i));
        m_service->setModelFile(inputs.last());
        modelFiles << m_service->modelFile();
        manager.importModel(inputs.last());
    }
    QVERIFY(waitFor([&] { return !log.sceneGraphs.isEmpty(); }, 20000));
    QThreadPool::globalInstance()->waitForDone(30000);
    QTest::qWait(200);
    QCOMPARE(log.sceneGraphs.size(), 1);
    QCOMPARE(log.loadedPaths, QStringList{inputs.last()});
    QCOMPARE(readFile(modelFiles.last()), FakeEncoder::bundleBytesFor(inputs.last()));
    // Whatever an earlier loader still managed to write went to its own workspace.
    for (int i = 0; i < 3; ++i) {
        const QByteArray bytes = readFile(modelFiles.at(i));
        QVERIFY(bytes.isEmpty() || bytes == FakeEncoder::bundleBytesFor(inputs.at(i)));
    }
}

// The real encoder and shaders of the build tree, in place of the fake.
bool TestModelManager::useRealEncoder()
{
    const QString buildDir = qEnvironmentVariable("VELMORA_BUILD_DIR");
    if (buildDir.isEmpty() || !QFileInfo(buildDir + "/tools/linux/model-encoder").isExecutable())
        return false;
    WorkspaceService::setInstance(nullptr);
    delete m_service;
    m_service = new WorkspaceService(m_dir.path() + "/tmp", buildDir);
    WorkspaceService::setInstance(m_service);
    return true;
}

void TestModelManager::realEncoderConvertsSharedModel()
{
    const QString model = qEnvironmentVariable("VELMORA_SHARED_MODELS") + "/generated/b_three_materials.fbx";
    if (!QFileInfo::exists(model))
        QSKIP("shared models not present");
    if (!useRealEncoder())
        QSKIP("model-encoder not built");

    ModelManager manager;
    SignalLog log(manager);
    m_service->setModelFile(model);
    manager.importModel(model);
    QVERIFY(waitFor([&] { return !log.sceneGraphs.isEmpty(); }, 120000));
    QCOMPARE(log.order, (QStringList{"parsed", "newModelLoaded", "sceneGraph"}));
    QVERIFY(log.logs->isEmpty());
    QVERIFY(QFileInfo(m_service->modelFile()).size() > 0);
    QVERIFY(QFileInfo::exists(m_service->modelFolder() + "/shaders"));
}

void TestModelManager::realEncoderRecordsReachTheLog()
{
    const QString model = qEnvironmentVariable("VELMORA_SHARED_MODELS") + "/ufbx/data/maya_cube_6100_binary.fbx";
    if (!QFileInfo::exists(model))
        QSKIP("shared models not present");
    if (!useRealEncoder())
        QSKIP("model-encoder not built");

    ModelManager manager;
    SignalLog log(manager);
    m_service->setModelFile(model);
    manager.importModel(model);
    QVERIFY(waitFor([&] { return !log.sceneGraphs.isEmpty(); }, 120000));
    // An FBX 6 file is refused by the encoder; its record arrives intact.
    QVERIFY(!log.logs->isEmpty());
    const EncoderOutputLog& first = log.logs->first();
    QCOMPARE(first.priority, LoggingPriorities::Error);
    QVERIFY2(first.code >= 1000 && first.code <= 1999, qPrintable(QString::number(first.code)));
    QVERIFY(!first.title.isEmpty());
    QVERIFY(first.message.contains("maya_cube_6100_binary.fbx"));
}

void TestModelManager::exportNeedsBothPaths()
{
    ModelManager manager;
    SignalLog log(manager);
    manager.exportModel(QString(), m_dir.path() + "/out.vm3");
    manager.exportModel(m_dir.path(), QString());
    QThreadPool::globalInstance()->waitForDone(10000);
    QTest::qWait(100);
    QVERIFY(log.order.isEmpty());
    QVERIFY(!QFileInfo::exists(m_dir.path() + "/out.vm3"));
}

void TestModelManager::exportReportsTheWrittenFile()
{
    ModelManager manager;
    SignalLog log(manager);
    const QString container = writeContainer("a.vm3", ZipFixture::validModel());
    m_service->setModelFile(container);
    manager.importModel(container);

    const QString target = m_dir.path() + "/exports/Ünïcode out.vm3";
    QDir().mkpath(m_dir.path() + "/exports");
    manager.exportModel(m_service->modelFolder(), target);
    QVERIFY(waitFor([&] { return !log.exported.isEmpty() || !log.exportFailures.isEmpty(); }, 20000));
    QCOMPARE(log.exported, QStringList{target});
    QVERIFY(log.exportFailures.isEmpty());

    // The written file imports again to the same bundle.
    m_service->setModelFile(target);
    manager.importModel(target);
    QCOMPARE(log.sceneGraphs.size(), 2);
    QCOMPARE(readFile(m_service->modelFile()), QByteArray("GPB\xab container bundle"));
}

void TestModelManager::failedExportIsNotReportedAsDone()
{
    ModelManager manager;
    SignalLog log(manager);
    const QString container = writeContainer("a.vm3", ZipFixture::validModel());
    m_service->setModelFile(container);
    manager.importModel(container);

    // A folder that cannot exist, because a file holds its name (this also
    // holds when the tests run as root).
    const QString blocker = writeInput("blocker", "I am a file");
    const QString target = blocker + "/out.vm3";
    manager.exportModel(m_service->modelFolder(), target);
    QVERIFY(waitFor([&] { return !log.exported.isEmpty() || !log.exportFailures.isEmpty(); }, 20000));
    QVERIFY(log.exported.isEmpty());
    QCOMPARE(log.exportFailures.size(), 1);
    QVERIFY(log.exportFailures.first().startsWith(target + " | "));
    QVERIFY(log.exportFailures.first().size() > target.size() + 3); // a reason is given
}

QTEST_GUILESS_MAIN(TestModelManager)
#include "tst_modelmanager.moc"

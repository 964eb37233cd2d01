// Workspace naming, creation and deletion, and the pending-deletion list.

#include "PipelineTestSupport.h"

#include "WorkspaceService.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

namespace {
const QString kAbcMd5 = QStringLiteral("900150983cd24fb0d6963f7d28e17f72");
}

class WorkspaceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir* m_scratch = nullptr;
    QString m_temp;       // stands in for the system temp folder
    QString m_appParent;  // stands in for the application's parent folder
    QString m_modelFile;  // holds "abc"

    QString company() const { return m_temp + QStringLiteral("/Velmora3dEncoder/"); }
    void writePendingList(const QString& list)
    {
        QDir().mkpath(company());
        QSettings settings(company() + QStringLiteral("props.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("model"), list);
        settings.sync();
    }
    QString pendingListText() const
    {
        QSettings settings(company() + QStringLiteral("props.ini"), QSettings::IniFormat);
        return settings.value(QStringLiteral("model")).toString();
    }

private slots:
    void init()
    {
        m_scratch = new QTemporaryDir();
        QVERIFY(m_scratch->isValid());
        m_temp = m_scratch->path() + QStringLiteral("/temp");
        m_appParent = m_scratch->path() + QStringLiteral("/app");
        QDir().mkpath(m_temp);
        m_modelFile = m_scratch->path() + QStringLiteral("/input/model.fbx");
        QVERIFY(writeFile(m_modelFile, "abc"));
    }

    void cleanup()
    {
        delete m_scratch;
        m_scratch = nullptr;
    }

    void pathsFollowTheLayout()
    {
        WorkspaceService service(m_temp, m_appParent);
        QCOMPARE(service.modelHash(), QStringLiteral("."));
        QCOMPARE(service.companyFolder(), company());
        QCOMPARE(service.workspaceRoot(), company() + QStringLiteral("."));

        service.setModelFile(m_modelFile);
        QCOMPARE(service.modelHash(), kAbcMd5);
        const QString root = company() + kAbcMd5;
        QCOMPARE(service.workspaceRoot(), root);
        QCOMPARE(service.resFolder(), root + "/res");
        QCOMPARE(service.modelFolder(), root + "/res/model");
        QCOMPARE(service.modelFile(), root + "/res/model/model.gpb");
        QCOMPARE(service.texFolder(), root + "/res/model/tex");
        QCOMPARE(service.metaFolder(), root + "/res/model/.meta");
        QCOMPARE(service.modelShadersFolder(), root + "/res/model/shaders");
        QCOMPARE(service.relativeModelFolder(), QStringLiteral("Velmora3dEncoder/") + kAbcMd5 + "/res/model");
        QCOMPARE(service.pendingListFile(), company() + QStringLiteral("props.ini"));

        QCOMPARE(service.applicationShadersFolder(), m_appParent + "/res/shaders");
        QCOMPARE(service.toolsFolder(), m_appParent + "/tools/linux");
        QCOMPARE(service.encoderExecutable(), m_appParent + "/tools/linux/model-encoder");

        const WorkspaceService defaults;
        QCOMPARE(defaults.tempFolder(), QDir::tempPath());
        QCOMPARE(defaults.applicationParentFolder(),
                 QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/..")));
    }

    void hashCoversTheWholeFile()
    {
        // Larger than one read block, and not a multiple of it.
        QByteArray bytes(2 * 1024 * 1024 + 4099, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 2654435761u) >> 13);
        const QString file = m_scratch->path() + "/big.fbx";
        QVERIFY(writeFile(file, bytes));
        WorkspaceService service(m_temp, m_appParent);
        service.setModelFile(file);
        QCOMPARE(service.modelHash(),
                 QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex()));
        bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 1);  // the last byte counts too
        QVERIFY(writeFile(file, bytes));
        service.setModelFile(file);
        QCOMPARE(service.modelHash(),
                 QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex()));
    }

    void unreadableModelFileGivesNoWorkspace()
    {
        WorkspaceService service(m_temp, m_appParent);
        service.setModelFile(m_modelFile);
        QCOMPARE(service.modelHash(), kAbcMd5);
        service.setModelFile(m_scratch->path() + QStringLiteral("/missing.fbx"));
        QCOMPARE(service.modelHash(), QStringLiteral("."));
        service.setModelFile(m_scratch->path());  // a folder is not a model file
        QCOMPARE(service.modelHash(), QStringLiteral("."));
        // With no model, deleting must not touch the company folder itself.
        QDir().mkpath(company() + "keep");
        service.deleteCurrentWorkspace();
        QVERIFY(QFileInfo::exists(company() + "keep"));
    }

    void reopeningTheSameFileReusesItsName()
    {
        WorkspaceService service(m_temp, m_appParent);
        service.setModelFile(m_modelFile);
        service.prepareWorkspace();
        QVERIFY(writeFile(service.modelFile(), "bundle"));
        service.setModelFile(m_modelFile);
        QCOMPARE(service.modelHash(), kAbcMd5);
        QVERIFY(!QFileInfo::exists(service.modelFile()));
        QVERIFY(service.pendingDeletions().isEmpty());
    }

    void failedDeletionIsQueuedAndRetried()
    {
        WorkspaceService service(m_temp, m_appParent);
        service.setModelFile(m_modelFile);
        service.prepareWorkspace();
        const QString firstRoot = service.workspaceRoot();
        QVERIFY(writeFile(service.texFolder() + "/stuck.png", "png"));
        ReadOnlyFolder lock(service.texFolder());
        if (!lock.isActive())
            QSKIP("cannot make a folder read-only here");

        service.setModelFile(m_modelFile);
        QVERIFY(QFileInfo::exists(firstRoot));
        QCOMPARE(service.modelHash(), kAbcMd5 + "1");
        QCOMPARE(service.pendingDeletions(), QStringList{firstRoot});

        // A third open while both folders exist takes the next number.
        service.prepareWorkspace();
        service.setModelFile(m_scratch->path() + QStringLiteral("/missing.fbx"));
        QVERIFY(!QFileInfo::exists(company() + kAbcMd5 + "1"));
        QDir().mkpath(company() + kAbcMd5 + "1");
        service.setModelFile(m_modelFile);
        QCOMPARE(service.modelHash(), kAbcMd5 + "2");

        // The next start-up keeps the entry while the folder resists...
        WorkspaceService nextRun(m_temp, m_appParent);
        nextRun.cleanPendingWorkspaces();
        QCOMPARE(nextRun.pendingDeletions(), QStringList{firstRoot});
        // ...and removes it once it can.
        lock.release();
        nextRun.cleanPendingWorkspaces();
        QVERIFY(!QFileInfo::exists(firstRoot));
        QVERIFY(nextRun.pendingDeletions().isEmpty());
        QCOMPARE(pendingListText(), QString());
    }

    void pendingListComparesWholeEntries()
    {
        WorkspaceService service(m_temp, m_appParent);
        service.setModelFile(m_modelFile);
        service.prepareWorkspace();
        const QString root = service.workspaceRoot();
        // An entry that merely starts with our root must not hide it.
        writePendingList(root + "1");
        QVERIFY(writeFile(service.texFolder() + "/stuck.png", "png"));
        ReadOnlyFolder lock(service.texFolder());
        if (!lock.isActive())
            QSKIP("cannot make a folder read-only here");
        service.deleteCurrentWorkspace();
        QCOMPARE(pendingListText(), root + "1;" + root);
        service.deleteCurrentWorkspace();
        QCOMPARE(pendingListText(), root + "1;" + root);  // not added twice

        lock.release();
        service.deleteCurrentWorkspace();
        QCOMPARE(pendingListText(), root + "1");
    }

    void cleanupDeletesOnlyInsideTheCompanyFolder()
    {
        WorkspaceService service(m_temp, m_appParent);
        const QString inside = company() + "0123456789abcdef0123456789abcdef";
        QVERIFY(writeFile(inside + "/res/model/model.gpb", "x"));

        // Paths that mention the temp folder but do not lie in the company folder.
        const QString outside = m_temp + "/Velmora3dEncoderData";
        QVERIFY(writeFile(outside + "/precious.txt", "keep"));
        const QString dotted = company() + "../Velmora3dEncoderData";
        const QString elsewhere = m_scratch->path() + "/elsewhere";
        QVERIFY(writeFile(elsewhere + "/precious.txt", "keep"));
        const QString link = company() + "linked";
        QVERIFY(QFile::link(elsewhere, link));
        const QString missing = company() + "gone";

        writePendingList(QStringList{outside, dotted, link, company(), inside, missing, elsewhere, QString()}
                             .join(';'));
        service.cleanPendingWorkspaces();

        QVERIFY(!QFileInfo::exists(inside));
        QCOMPARE(readFile(outside + "/precious.txt"), QByteArray("keep"));
        QCOMPARE(readFile(elsewhere + "/precious.txt"), QByteArray("keep"));
        QVERIFY(QFileInfo(company()).isDir());
        QCOMPARE(pendingListText(), QString());
    }

    void deletionNeverFollowsLinks()
    {
        const QString elsewhere = m_scratch->path() + "/elsewhere";
        QVERIFY(writeFile(elsewhere + "/precious.txt", "keep"));
        QVERIFY(writeFile(m_scratch->path() + "/single.txt", "keep"));

        WorkspaceService service(m_temp, m_appParent);
        service.setModelFile(m_modelFile);
        service.prepareWorkspace();
        QVERIFY(QDir().mkpath(service.metaFolder()) && QDir().mkpath(service.texFolder()));
        QVERIFY(QFile::link(elsewhere, service.modelFolder() + "/folderlink"));
        QVERIFY(QFile::link(m_scratch->path() + "/single.txt", service.metaFolder() + "/filelink"));
        QVERIFY(QFile::link(m_scratch->path() + "/nothing-here", service.texFolder() + "/dangling"));
        QVERIFY(writeFile(service.metaFolder() + "/.hidden", "h"));

        service.deleteCurrentWorkspace();
        QVERIFY(!QFileInfo::exists(service.workspaceRoot()));
        QCOMPARE(readFile(elsewhere + "/precious.txt"), QByteArray("keep"));
        QCOMPARE(readFile(m_scratch->path() + "/single.txt"), QByteArray("keep"));

        // A workspace root that is itself a link loses only the link.
        QDir().mkpath(company());
        QVERIFY(QFile::link(elsewhere, service.workspaceRoot()));
        service.deleteCurrentWorkspace();
        QVERIFY(!QFileInfo(service.workspaceRoot()).isSymLink());
        QCOMPARE(readFile(elsewhere + "/precious.txt"), QByteArray("keep"));
    }

    void removeDirectoryRecursively_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing folder") << false;
        QTest::newRow("folder with hidden content") << true;
    }

    void removeDirectoryRecursively()
    {
        QFETCH(bool, exists);
        const QString folder = m_scratch->path() + "/tree";
        if (exists) {
            QVERIFY(writeFile(folder + "/.DS_Store", "finder"));
            QVERIFY(writeFile(folder + "/a/.meta/info", "{}"));
            QVERIFY(writeFile(folder + "/a/b/c/d.bin", "d"));
        }
        QVERIFY(WorkspaceService::removeDirectoryRecursively(folder));
        QVERIFY(!QFileInfo::exists(folder));
    }

    void prepareCreatesTheTreeAndCopiesShaders()
    {
        QVERIFY(writeFile(m_appParent + "/res/shaders/colored.vert", "vertex"));
        QVERIFY(writeFile(m_appParent + "/res/shaders/colored.frag", "fragment"));
        QVERIFY(writeFile(m_appParent + "/res/shaders/lib/lighting.frag", "lighting"));
        QVERIFY(writeFile(m_appParent + "/res/shaders/.hidden", "hidden"));

        WorkspaceService service(m_temp, m_appParent);
        service.setModelFile(m_modelFile);
        // A file already in place is left as it is.
        QVERIFY(writeFile(service.modelShadersFolder() + "/colored.frag", "mine"));
        service.prepareWorkspace();

        for (const QString& folder : {service.companyFolder(), service.workspaceRoot(), service.resFolder(),
                                      service.modelFolder(), service.modelShadersFolder()})
            QVERIFY2(QFileInfo(folder).isDir(), qPrintable(folder));
        QCOMPARE(readFile(service.modelShadersFolder() + "/colored.vert"), QByteArray("vertex"));
        QCOMPARE(readFile(service.modelShadersFolder() + "/colored.frag"), QByteArray("mine"));
        QCOMPARE(readFile(service.modelShadersFolder() + "/lib/lighting.frag"), QByteArray("lighting"));
        QCOMPARE(readFile(service.modelShadersFolder() + "/.hidden"), QByteArray("hidden"));

        // A snapshot keeps pointing at its workspace after the next open.
        const WorkspacePaths snapshot = service.paths();
        QVERIFY(writeFile(m_scratch->path() + "/other.fbx", "other"));
        service.setModelFile(m_scratch->path() + "/other.fbx");
        QVERIFY(snapshot.root != service.workspaceRoot());
        QCOMPARE(snapshot.modelHash, kAbcMd5);
    }

    void findSceneFile()
    {
        const QString model = m_scratch->path() + "/model";
        QCOMPARE(WorkspaceService::findSceneFile(model), QString());
        QVERIFY(writeFile(model + "/readme.txt", "x"));
        QCOMPARE(WorkspaceService::findSceneFile(model), QString());
        QVERIFY(writeFile(model + "/old.scene", "scene"));
        QCOMPARE(WorkspaceService::findSceneFile(model), QStringLiteral("old.scene"));
    }

    void registeredInstance()
    {
        QCOMPARE(WorkspaceService::instance(), nullptr);
        WorkspaceService service(m_temp, m_appParent);
        WorkspaceService::setInstance(&service);
        QCOMPARE(WorkspaceService::instance(), &service);
        WorkspaceService::setInstance(nullptr);
        QCOMPARE(WorkspaceService::instance(), nullptr);
    }
};

QTEST_GUILESS_MAIN(WorkspaceTest)
#include "tst_workspace.moc"

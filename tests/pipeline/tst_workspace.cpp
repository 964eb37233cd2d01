// Workspace claiming and deletion, and the list of deletions to retry.

#include "PipelineTestSupport.h"

#include "CompanyFolder.h"
#include "ConversionStamp.h"
#include "FileDigest.h"
#include "WorkspaceService.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

class WorkspaceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_scratch;

    QString path(const QString& relative) const { return m_scratch->path() + '/' + relative; }
    QString company() const { return path("temp/Velmora3dEncoder/"); }
    QString pendingList() const
    {
        return QSettings(company() + "props.ini", QSettings::IniFormat).value("model").toString();
    }

private slots:
    void init()
    {
        m_scratch.reset(new QTemporaryDir());
        QVERIFY(writeFile(path("input/model.fbx"), "abc") && QDir().mkpath(path("temp")));
    }

    void failedDeletionIsQueuedAndRetried()
    {
        WorkspaceService service(path("temp"), path("app"));
        service.setModelFile(path("input/model.fbx"));
        service.prepareWorkspace();
        const QString root = service.workspaceRoot();
        QVERIFY(writeFile(service.texFolder() + "/stuck.png", "png"));
        ReadOnlyFolder lock(service.texFolder());
        if (!lock.isActive())
            QSKIP("cannot make a folder read-only here");

        // An entry that merely starts with our root must not hide it, nor may it be listed twice.
        QSettings(service.pendingListFile(), QSettings::IniFormat).setValue("model", root + "1x");
        service.deleteCurrentWorkspace();
        service.deleteCurrentWorkspace();
        QCOMPARE(pendingList(), root + "1x;" + root);
        // The same file opened again gets a new name beside the stuck folder.
        service.setModelFile(path("input/model.fbx"));
        QCOMPARE(service.workspaceRoot(), root + "1");

        // The next start-up keeps the entry while the folder resists, and drops it once it is gone.
        WorkspaceService nextRun(path("temp"), path("app"));
        nextRun.cleanPendingWorkspaces();
        QCOMPARE(nextRun.pendingDeletions(), QStringList {root});
        lock.release();
        nextRun.cleanPendingWorkspaces();
        QVERIFY(!QFileInfo::exists(root));
        QCOMPARE(pendingList(), QString());
    }

    void cleanupDeletesOnlyInsideTheCompanyFolder()
    {
        const QString inside = company() + "0123456789abcdef0123456789abcdef";
        QVERIFY(writeFile(inside + "/res/model/model.gpb", "x"));
        // Paths that mention the temp folder but do not lie in the company folder.
        QVERIFY(writeFile(path("temp/Velmora3dEncoderData/precious.txt"), "keep"));
        QVERIFY(writeFile(path("elsewhere/precious.txt"), "keep"));
        QVERIFY(QFile::link(path("elsewhere"), company() + "linked"));
        const QStringList pending {path("temp/Velmora3dEncoderData"),
                                   company() + "../Velmora3dEncoderData",
                                   company() + "linked",
                                   company(),
                                   inside,
                                   path("elsewhere"),
                                   QString()};
        QSettings(company() + "props.ini", QSettings::IniFormat).setValue("model", pending.join(';'));

        WorkspaceService(path("temp"), path("app")).cleanPendingWorkspaces();
        QVERIFY(!QFileInfo::exists(inside));
        QCOMPARE(readFile(path("temp/Velmora3dEncoderData/precious.txt")), QByteArray("keep"));
        QCOMPARE(readFile(path("elsewhere/precious.txt")), QByteArray("keep"));
        QVERIFY(QFileInfo(company()).isDir());
        QCOMPARE(pendingList(), QString());
    }

    void deletionNeverFollowsLinks()
    {
        QVERIFY(writeFile(path("elsewhere/precious.txt"), "keep"));
        WorkspaceService service(path("temp"), path("app"));
        service.setModelFile(path("input/model.fbx"));
        service.prepareWorkspace();
        QVERIFY(QDir().mkpath(service.metaFolder()) && QDir().mkpath(service.texFolder()));
        QVERIFY(QFile::link(path("elsewhere"), service.modelFolder() + "/folderlink"));
        QVERIFY(QFile::link(path("elsewhere/precious.txt"), service.metaFolder() + "/filelink"));
        QVERIFY(QFile::link(path("nothing-here"), service.texFolder() + "/dangling"));
        QVERIFY(writeFile(service.metaFolder() + "/.hidden", "h"));
        service.deleteCurrentWorkspace();
        QVERIFY(!QFileInfo::exists(service.workspaceRoot()));
        QCOMPARE(readFile(path("elsewhere/precious.txt")), QByteArray("keep"));

        // A workspace root that is itself a link loses only the link.
        QVERIFY(QFile::link(path("elsewhere"), service.workspaceRoot()));
        service.deleteCurrentWorkspace();
        QVERIFY(!QFileInfo(service.workspaceRoot()).isSymLink());
        QCOMPARE(readFile(path("elsewhere/precious.txt")), QByteArray("keep"));
    }

    void companyFolderIsPrivate_data()
    {
        QTest::addColumn<QString>("found"); // what stands at <temp>/Velmora3dEncoder before the first use
        QTest::addColumn<bool>("used");
        QTest::newRow("nothing: made owner-only") << "" << true;
        QTest::newRow("writable by everyone") << "0777" << false;
        QTest::newRow("a link") << "link" << false;
        QTest::newRow("another user's") << "chown" << false;
    }

    void companyFolderIsPrivate()
    {
        QFETCH(QString, found);
        QFETCH(bool, used);
        const QString standard = path("temp/Velmora3dEncoder");
        if (found == "link")
            QVERIFY(QDir().mkpath(path("mine")) && QFile::link(path("mine"), standard));
        else if (!found.isEmpty())
            QVERIFY(QDir().mkpath(standard));
        if (found.startsWith('0'))
            QCOMPARE(::chmod(QFile::encodeName(standard), mode_t(found.toUInt(nullptr, 8))), 0);
        if (found == "chown" && (geteuid() != 0 || ::chown(QFile::encodeName(standard), 65534, 65534) != 0))
            QSKIP("cannot give a folder to another user here");
        WorkspaceService service(path("temp"), path("app"));
        service.setModelFile(path("input/model.fbx"));
        const QString company = service.companyFolder();
        QCOMPARE(company == standard + '/', used);
        QVERIFY(CompanyFolder::isPrivate(company));
        QVERIFY(service.workspaceRoot().startsWith(company) && QFileInfo(service.workspaceRoot()).isDir());
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
            | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QVERIFY(found != "" || !(QFile::permissions(company) & others));
    }

    // The digest a workspace was named by stands in for the file only while
    // the file is as it was; a save of any kind has it read again.
    void modelDigestStandsForAnUnchangedFileOnly_data()
    {
        QTest::addColumn<QString>("save");
        QTest::addColumn<bool>("describes");
        QTest::newRow("none") << "" << true;
        QTest::newRow("same size, modification time put back") << "rewrite" << false;
        QTest::newRow("renamed into place, modification time put back") << "rename" << false;
        QTest::newRow("the same content under another name") << "copy" << false;
    }
    void modelDigestStandsForAnUnchangedFileOnly()
    {
        QFETCH(QString, save);
        QFETCH(bool, describes);
        QString model = path("input/model.fbx");
        const QDateTime modified = QFileInfo(model).lastModified();
        WorkspaceService service(path("temp"), path("app"));
        service.setModelFile(model);
        const FileDigest::Snapshot digest = service.modelDigest();
        QCOMPARE(digest.md5, FileDigest::md5Hex(model));
        QTest::qWait(10); // a later save, not one in the same millisecond
        if (save == "rewrite" || save == "rename") {
            const QString written = save == "rename" ? path("input/model.tmp") : model;
            QVERIFY(writeFile(written, "xyz"));
            QFile file(written);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(modified, QFileDevice::FileModificationTime));
            file.close();
            QVERIFY(written == model || (QFile::remove(model) && QFile::rename(written, model)));
        } else if (save == "copy") {
            QVERIFY(QFile::copy(model, path("input/copy.fbx")));
            model = path("input/copy.fbx");
        }
        QCOMPARE(digest.describes(QFileInfo(model)), describes);
        ConversionStamp stamp;
        QVERIFY(ConversionStamp::ofInput(model, ImportOptions(), digest, &stamp));
        QCOMPARE(stamp.md5, FileDigest::md5Hex(model));
    }
};

QTEST_GUILESS_MAIN(WorkspaceTest)
#include "tst_workspace.moc"

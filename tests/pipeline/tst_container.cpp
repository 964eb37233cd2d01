// The vm3 container and its version file: archives we write checked with
// Info-ZIP and Python's zipfile, and hostile and damaged archives.

#include "PipelineTestSupport.h"

#include "ContainerImport.h"
#include "Exporter.h"
#include "VersionFile.h"
#include "WorkspaceService.h"

#include <QtTest>

using namespace testsupport;

namespace {

// Checks what every entry must be and lists name -> md5 and date.
const char* const kCheckArchive = R"PY(
import hashlib, json, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    assert z.testzip() is None and not z.comment
    for i in z.infolist():  # deflated, UTF-8 names, no extras, no folders, readable by everyone once unpacked
        assert i.compress_type == 8 and i.flag_bits & 0x800 and not i.extra and not i.comment and not i.is_dir(), i
        assert i.external_attr >> 16 & 0o004, i
    print(json.dumps({i.filename: {"md5": hashlib.md5(z.read(i)).hexdigest(), "date": i.date_time} for i in z.infolist()}))
)PY";

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(1234);
    for (char& byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

} // namespace

class ContainerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_scratch;

    QString path(const QString& relative) const { return m_scratch->path() + '/' + relative; }

    // A model folder like the encoder and viewer leave behind, with a
    // non-ASCII name, a hidden folder, an empty file and an empty folder.
    QString makeModelFolder(const QString& relative)
    {
        const QString model = path(relative);
        writeFile(model + "/model.gpb", randomBytes(100 * 1024));
        VersionFile::write(model + '/');
        writeFile(model + "/shaders/colored.vert", QByteArray("void main() {}\n").repeated(50));
        writeFile(model + "/shaders/lib/lighting.frag", "uniform vec3 u_light;\n");
        writeFile(model + "/.meta/info", QByteArray());
        writeFile(model
                      + QString::fromUtf8("/t\xc3\xabx/Gr\xc3\xb6\xc3\x9f"
                                          "e \xe3\x83\x86.png"),
                  "pixels");
        QDir().mkpath(model + "/empty"); // folders make no entries
        return model;
    }

    ContainerImport::Result importArchive(const QString& archive, WorkspacePaths* workspace)
    {
        WorkspaceService service(path("temp"), path("app"));
        service.setModelFile(archive);
        *workspace = service.paths();
        return ContainerImport::run(archive, *workspace, service);
    }

    // A failed import leaves no model and nothing outside the workspace.
    void verifyNothingUnpacked(const WorkspacePaths& workspace)
    {
        QDirIterator it(m_scratch->path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            QVERIFY2(!it.next().contains("evil") && !it.filePath().contains(".vm3-unpack-"), qPrintable(it.filePath()));
        QVERIFY(!QFileInfo::exists(workspace.model + "/version") && !QFileInfo::exists(workspace.modelFile));
    }

private slots:
    void init()
    {
        m_scratch.reset(new QTemporaryDir());
        QVERIFY(writeFile(path("app/res/shaders/colored.vert"), "application shader"));
        QVERIFY(writeFile(path("app/res/shaders/app-only.frag"), "application only"));
    }

    void versionFileBytes()
    {
        QVERIFY(writeFile(path("v/version"), QByteArray(200, 'x'))); // replaced, not appended to
        QVERIFY(VersionFile::write(path("v")));
        QCOMPARE(readFile(path("v/version")), QByteArray("{\"encoderversion\":\"1.7\",\"format\":4}\n"));
    }

    void exportPassesInfoZipAndPython()
    {
        const QString model = makeModelFolder("model");
        // Links are skipped: one leads out of the folder, one loops back.
        QVERIFY(writeFile(path("outside/secret.txt"), "secret"));
        QVERIFY(QFile::link(path("outside"), model + "/linked-folder"));
        QVERIFY(QFile::link(path("outside/secret.txt"), model + "/linked-file"));
        QVERIFY(QFile::link(model, model + "/shaders/loop"));
        // An earlier export is replaced whole, leaving no temporary file.
        const QString archive = path("model.vm3");
        QVERIFY(writeFile(archive, "old contents"));
        const Exporter::Result result = Exporter::exportFolder(model, archive);
        QVERIFY2(result.ok && result.fileCount == 6, qPrintable(result.errorText));
        QCOMPARE(QDir(m_scratch->path()).entryList(QDir::Files | QDir::Hidden), QStringList {"model.vm3"});

        QCOMPARE(runProgram("unzip", {"-t", "-q", archive}).exitCode, 0);
        const ProcessResult python = runPython(kCheckArchive, {archive});
        QVERIFY2(python.exitCode == 0, python.err);
        const QJsonObject entries = QJsonDocument::fromJson(python.out).object();
        const QMap<QString, QByteArray> digests = treeDigest(model);
        QCOMPARE(entries.size(), digests.size()); // and no entry for a link
        for (auto it = digests.begin(); it != digests.end(); ++it)
            QCOMPARE(entries["model/" + it.key()]["md5"].toString().toLatin1(), it.value().toHex());
    }

    // The version file decides how a container loads; a hostile one is refused with the message, never a crash.
    void versionDecisions_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: no file
        QTest::addColumn<QString>("modelPath");
        QTest::addColumn<QString>("errorText");
        const auto error = [](const char* what) {
            return QString("Error reading version/format from the vm3 file: %1Please create the vm3-file again.")
                .arg(what);
        };
        QTest::newRow("format 3") << QByteArray("{\"encoderversion\":\"1.5\",\"format\":3}") << "RELATIVE"
                                  << "";
        QTest::newRow("format 2 uses the scene file")
            << QByteArray("{\"format\":2,\r\n \"encoderversion\":\"1.0\"}\r\n") << "old.scene"
            << "";
        QTest::newRow("missing") << QByteArray() << "" << error("Version file missing. ");
        QTest::newRow("deeply nested") << QByteArray(100000, '[') << "" << error("Json parsing error. ");
        QTest::newRow("array root") << QByteArray("[\"1.7\",4]") << "" << error("Json parsing error ");
        QTest::newRow("format beyond int") << QByteArray("{\"encoderversion\":\"1.7\",\"format\":4294967300}") << ""
                                           << error("Json parsing error on file format. ");
    }
    void versionDecisions()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, modelPath);
        QFETCH(QString, errorText);
        const WorkspacePaths workspace = WorkspacePaths::forHash(path("temp") + "/Velmora3dEncoder/", "0123");
        QVERIFY(writeFile(workspace.model + "/old.scene", "scene") && writeFile(workspace.modelFile, "GPB"));
        if (!contents.isNull())
            QVERIFY(writeFile(workspace.model + "/version", contents));
        const ContainerImport::Result result = ContainerImport::checkVersion(workspace);
        QCOMPARE(result.errorText, errorText);
        QCOMPARE(result.status,
                 errorText.isEmpty() ? ContainerImport::Status::Loaded : ContainerImport::Status::VersionError);
        QCOMPARE(result.modelPath, modelPath == "RELATIVE" ? workspace.relativeModel + "/model.gpb" : modelPath);
    }

    // A refused export names its reason and leaves the earlier export as it was.
    void exportFailuresAreReported_data()
    {
        QTest::addColumn<QString>("failure");
        for (const char* failure :
             {"nosource", "folder", "readonly", "noversion", "nobundle", "bundlefolder", "toomany"})
            QTest::newRow(failure) << QString(failure);
    }
    void exportFailuresAreReported()
    {
        QFETCH(QString, failure);
        const QString model = failure == "nosource" ? path("no-such-model") : makeModelFolder("model");
        if (failure == "noversion")
            QVERIFY(QFile::remove(model + "/version"));
        if (failure == "nobundle" || failure == "bundlefolder")
            QVERIFY(QFile::remove(model + "/model.gpb"));
        if (failure == "bundlefolder")
            QVERIFY(QDir().mkpath(model + "/model.gpb"));
        for (int i = 0; failure == "toomany" && i < 0xffff; ++i) // more than a zip without ZIP64 holds
            QVERIFY(QFile(model + QString("/.meta/%1").arg(i)).open(QIODevice::WriteOnly));
        QString target = path("out/target.vm3");
        QVERIFY(writeFile(target, "previous export"));
        if (failure == "folder")
            target = path("out");
        ReadOnlyFolder lock(failure == "readonly" ? path("out") : QString());
        if (failure == "readonly" && !lock.isActive())
            QSKIP("cannot make a folder read-only here");
        const Exporter::Result result = Exporter::exportFolder(model, target);
        QVERIFY(!result.ok && !result.errorText.isEmpty());
        lock.release();
        QCOMPARE(readFile(path("out/target.vm3")), QByteArray("previous export"));
        QCOMPARE(QDir(path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList {"target.vm3"});
    }

    void hostileAndDamagedArchivesFail_data()
    {
        QTest::addColumn<QString>("damage"); // or the name of a hostile entry
        QTest::addColumn<QString>("text");
        QTest::newRow("parent") << "model/../../../../evil.txt" << QString("was refused");
        QTest::newRow("mixed separators") << "model\\..\\../..\\evil.txt" << QString("was refused");
        QTest::newRow("absolute") << "ABSOLUTE/evil.txt" << QString("was refused");
        QTest::newRow("drive letter") << "C:/evil.txt" << QString("was refused");
        QTest::newRow("missing file") << "missing" << QString("could not be read");
        QTest::newRow("not a zip") << "text" << QString("is damaged");
        QTest::newRow("truncated") << "truncated" << QString("is damaged");
        QTest::newRow("crc mismatch") << "crc" << QString("is damaged");
        QTest::newRow("unsupported method") << "bzip2" << QString("is damaged");
    }

    void hostileAndDamagedArchivesFail()
    {
        QFETCH(QString, damage);
        QFETCH(QString, text);
        const QString archive = path("broken.vm3");
        // The good entries come first, so a partial unpack would show.
        ZipFixture::Entries entries = ZipFixture::validModel();
        entries.append({"model/tex/noise.bin", "MARKER-" + randomBytes(4000)});
        if (damage.contains("evil"))
            entries.append({QString(damage).replace("ABSOLUTE", path("absolute")), "x"});
        QVERIFY(ZipFixture::write(archive, entries, damage == "bzip2" ? "ZIP_BZIP2" : "ZIP_STORED"));
        QByteArray bytes = readFile(archive);
        if (damage == "missing")
            QFile::remove(archive);
        else if (damage == "text")
            QVERIFY(writeFile(archive, "this is not a zip archive, just text\n"));
        else if (damage == "truncated")
            QVERIFY(writeFile(archive, bytes.left(bytes.size() / 2)));
        else if (damage == "crc") {
            const int at = bytes.indexOf("MARKER-") + 100;
            bytes[at] = char(bytes[at] ^ 1);
            QVERIFY(writeFile(archive, bytes));
        }

        WorkspacePaths workspace;
        const ContainerImport::Result imported = importArchive(archive, &workspace);
        QCOMPARE(imported.status, ContainerImport::Status::Damaged);
        QVERIFY2(imported.errorText.contains(text), qPrintable(imported.errorText));
        verifyNothingUnpacked(workspace);
    }

    void unpackingIsBounded_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("declared sizes beyond the limit")
            << "declared" << QString("would unpack to 6442450980 bytes, more than");
        QTest::newRow("zip bomb") << "bomb" << QString("entry \"model/model.gpb\" claims to grow");
        QTest::newRow("entries sharing data")
            << "overlap" << QString("entries \"model/a.bin\" and \"model/b.bin\" share their data");
    }

    void unpackingIsBounded()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        const char* const script = R"PY(
import struct, sys, zipfile
kind, out = sys.argv[1], sys.argv[2]
version = '{"encoderversion":"1.7","format":4}\n'
with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED if kind == 'bomb' else zipfile.ZIP_STORED) as z:
    z.writestr('model/version', version)
    if kind == 'bomb':
        z.writestr('model/model.gpb', b'\0' * (64 << 20))
    else:
        z.writestr('model/a.bin', b'a' * 1000)
        if kind == 'declared':
            z.writestr('model/b.bin', b'b' * 1000)
data = bytearray(open(out, 'rb').read())
directory, end = data.find(b'PK\x01\x02'), data.find(b'PK\x05\x06')
if kind == 'declared':  # each data entry claims 3 GiB in the directory
    at = data.find(b'PK\x01\x02', directory + 4)
    while at >= 0:
        struct.pack_into('<I', data, at + 24, 3 << 30)
        at = data.find(b'PK\x01\x02', at + 4)
if kind == 'overlap':  # a second name for the data of model/a.bin
    second = data.find(b'PK\x01\x02', directory + 4)
    copy = bytes(data[second:end]).replace(b'model/a.bin', b'model/b.bin')
    record = bytearray(data[end:end + 22])
    struct.pack_into('<HHI', record, 8, 3, 3, end - directory + len(copy))
    data = data[:end] + copy + record
open(out, 'wb').write(data)
)PY";
        const QString archive = path("bounded.vm3");
        const ProcessResult made = runPython(script, {kind, archive});
        QVERIFY2(made.exitCode == 0, made.err);
        WorkspacePaths workspace;
        const ContainerImport::Result imported = importArchive(archive, &workspace);
        QCOMPARE(imported.status, ContainerImport::Status::Damaged);
        QVERIFY2(imported.errorText.contains("was refused") && imported.errorText.contains(text),
                 qPrintable(imported.errorText));
        verifyNothingUnpacked(workspace);
    }
};

QTEST_GUILESS_MAIN(ContainerTest)
#include "tst_container.moc"

// The vm3 container and its version file: archives we write checked with
// Info-ZIP and Python's zipfile, archives Info-ZIP writes imported by us,
// hostile and damaged archives, and what a failed export leaves behind.

#include "PipelineTestSupport.h"

#include "ContainerImport.h"
#include "Exporter.h"
#include "VersionFile.h"
#include "WorkspaceService.h"
#include "ZipArchiveReader.h"
#include "ZipArchiveWriter.h"

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

bool setModified(const QString& path, const QDateTime& time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

QString versionError(const QString& what)
{
    return "Error reading version/format from the vm3 file: " + what + "Please create the vm3-file again.";
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

    // The archive's files merged over the workspace's own shader copy.
    QMap<QString, QByteArray> importedDigest(const QString& model)
    {
        QMap<QString, QByteArray> expected = treeDigest(model);
        expected.insert("shaders/app-only.frag", QCryptographicHash::hash("application only", QCryptographicHash::Md5));
        return expected;
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

    void versionDecisions_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: no file
        QTest::addColumn<QString>("modelPath");
        QTest::addColumn<QString>("errorText");
        const QString format = versionError("Json parsing error on file format. ");
        const QString parse = versionError("Json parsing error. ");
        QTest::newRow("format 3") << QByteArray("{\"encoderversion\":\"1.5\",\"format\":3}") << "RELATIVE"
                                  << "";
        QTest::newRow("format 2 uses the scene file")
            << QByteArray("{\"format\":2,\r\n \"encoderversion\":\"1.0\"}\r\n") << "old.scene"
            << "";
        QTest::newRow("format 5 is too new")
            << QByteArray("{\"encoderversion\":\"9.0\",\"format\":5}") << ""
            << "VM3 file format version not supported. Please update your Application Velmora3dEncoder";
        QTest::newRow("missing") << QByteArray() << "" << versionError("Version file missing. ");
        QTest::newRow("empty") << QByteArray("") << "" << parse;
        QTest::newRow("deeply nested") << QByteArray(100000, '[') << "" << parse;
        QTest::newRow("array root") << QByteArray("[\"1.7\",4]") << "" << versionError("Json parsing error ");
        QTest::newRow("version a number") << QByteArray("{\"encoderversion\":2,\"format\":4}") << ""
                                          << versionError("Json parsing error on file version. ");
        QTest::newRow("format missing") << QByteArray("{\"encoderversion\":\"1.7\"}") << "" << format;
        QTest::newRow("format real") << QByteArray("{\"encoderversion\":\"1.7\",\"format\":4.0}") << "" << format;
        QTest::newRow("format text") << QByteArray("{\"encoderversion\":\"1.7\",\"format\":\"4\"}") << "" << format;
        QTest::newRow("format beyond int")
            << QByteArray("{\"encoderversion\":\"1.7\",\"format\":4294967300}") << "" << format;
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

    void exportPassesInfoZipAndPythonAndRoundTrips()
    {
        const QString model = makeModelFolder("model");
        // Links are skipped: one leads out of the folder, one loops back.
        QVERIFY(writeFile(path("outside/secret.txt"), "secret"));
        QVERIFY(QFile::link(path("outside"), model + "/linked-folder"));
        QVERIFY(QFile::link(path("outside/secret.txt"), model + "/linked-file"));
        QVERIFY(QFile::link(model, model + "/shaders/loop"));
        QVERIFY(setModified(model + "/model.gpb", QDateTime(QDate(2021, 6, 15), QTime(13, 45, 30))));
        QVERIFY(setModified(model + "/.meta/info", QDateTime(QDate(1975, 3, 1), QTime(8, 0))));
        const QString archive = path("model.vm3");
        const Exporter::Result result = Exporter::exportFolder(model, archive);
        QVERIFY2(result.ok && result.fileCount == 6, qPrintable(result.errorText));

        QCOMPARE(runProgram("unzip", {"-t", "-q", archive}).exitCode, 0);
        QStringList names
            = QString::fromUtf8(runProgram("unzip", {"-Z1", archive}).out).split('\n', Qt::SkipEmptyParts);
        names.sort();
        QCOMPARE(names,
                 (QStringList {"model/.meta/info", "model/model.gpb", "model/shaders/colored.vert",
                               "model/shaders/lib/lighting.frag",
                               QString::fromUtf8("model/t\xc3\xabx/Gr\xc3\xb6\xc3\x9f"
                                                 "e \xe3\x83\x86.png"),
                               "model/version"}));

        const ProcessResult python = runPython(kCheckArchive, {archive});
        QVERIFY2(python.exitCode == 0, python.err);
        const QJsonObject entries = QJsonDocument::fromJson(python.out).object();
        const QMap<QString, QByteArray> digests = treeDigest(model);
        for (auto it = digests.begin(); it != digests.end(); ++it)
            QCOMPARE(entries["model/" + it.key()]["md5"].toString().toLatin1(), it.value().toHex());
        QCOMPARE(entries["model/model.gpb"]["date"], QJsonValue(QJsonArray {2021, 6, 15, 13, 45, 30}));
        QCOMPARE(entries["model/.meta/info"]["date"],
                 QJsonValue(QJsonArray {1980, 1, 1, 0, 0, 0})); // clamped, not wrapped

        WorkspacePaths workspace;
        const ContainerImport::Result imported = importArchive(archive, &workspace);
        QVERIFY2(imported.status == ContainerImport::Status::Loaded, qPrintable(imported.errorText));
        QCOMPARE(imported.modelPath, workspace.relativeModel + "/model.gpb");
        QCOMPARE(imported.version, QStringLiteral("1.7"));
        QCOMPARE(treeDigest(workspace.model), importedDigest(model));
        QVERIFY(QFileInfo(workspace.meta).isDir());
    }

    void infoZipArchiveWithFolderEntriesImports()
    {
        const QString model = makeModelFolder("src/model");
        const QString archive = path("infozip.vm3");
        QCOMPARE(runProgram("zip", {"-r", "-q", archive, "model"}, path("src")).exitCode, 0);
        QVERIFY(runProgram("unzip", {"-Z1", archive}).out.contains("model/shaders/\n")); // folder entries present

        WorkspacePaths workspace;
        const ContainerImport::Result imported = importArchive(archive, &workspace);
        QVERIFY2(imported.status == ContainerImport::Status::Loaded, qPrintable(imported.errorText));
        QCOMPARE(treeDigest(workspace.model), importedDigest(model));
        QVERIFY(QFileInfo(workspace.model + "/empty").isDir());
    }

    void largeFilesSurviveChunkedDeflate_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("exactly four chunks") << 4 * 1024 * 1024;
        QTest::newRow("one byte more") << 4 * 1024 * 1024 + 1;
        QTest::newRow("several batches") << 19 * 1024 * 1024 + 12345;
    }

    void largeFilesSurviveChunkedDeflate()
    {
        QFETCH(int, size);
        // A period that straddles chunk borders, mixed with noise, so that
        // matches reach back into the previous chunk.
        const QByteArray period = randomBytes(7000).toHex();
        QByteArray bytes = period.repeated(size / period.size() + 1);
        bytes.replace(size / 3, 300000, randomBytes(300000));
        bytes.truncate(size);
        QVERIFY(writeFile(path("big/model.gpb"), bytes) && VersionFile::write(path("big")));

        const QString archive = path("big.vm3");
        QVERIFY(Exporter::exportFolder(path("big"), archive).ok);
        QCOMPARE(runProgram("unzip", {"-t", "-q", archive}).exitCode, 0);
        QCOMPARE(runProgram("unzip", {"-p", archive, "model/model.gpb"}).out.size(), size);
        QVERIFY(QFileInfo(archive).size() < size / 2);

        ZipArchiveReader reader;
        QVERIFY(reader.open(archive) && reader.extractAll(path("back")));
        QVERIFY(readFile(path("back/model/model.gpb")) == bytes);
    }

    void hostileAndDamagedArchivesFail_data()
    {
        QTest::addColumn<QString>("damage"); // or the name of a hostile entry
        QTest::addColumn<QString>("text");
        QTest::newRow("parent") << "model/../../../../evil.txt"
                                << "was refused";
        QTest::newRow("mixed separators") << "model\\..\\../..\\evil.txt"
                                          << "was refused";
        QTest::newRow("absolute") << "ABSOLUTE/evil.txt"
                                  << "was refused";
        QTest::newRow("drive letter") << "C:/evil.txt"
                                      << "was refused";
        QTest::newRow("stream name") << "model/evil.txt:stream"
                                     << "was refused";
        QTest::newRow("missing file") << "missing"
                                      << "could not be read";
        QTest::newRow("not a zip") << "text"
                                   << "is damaged";
        QTest::newRow("empty file") << "empty"
                                    << "is damaged";
        QTest::newRow("truncated") << "truncated"
                                   << "is damaged";
        QTest::newRow("crc mismatch") << "crc"
                                      << "is damaged";
        QTest::newRow("unsupported method") << "bzip2"
                                            << "is damaged";
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
        else if (damage == "empty")
            QVERIFY(writeFile(archive, QByteArray()));
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
        QTest::newRow("declared sizes beyond the limit") << "declared"
                                                         << "would unpack to 6442450980 bytes, more than";
        QTest::newRow("zip bomb") << "bomb"
                                  << "entry \"model/model.gpb\" claims to grow";
        QTest::newRow("entries sharing data") << "overlap"
                                              << "entries \"model/a.bin\" and \"model/b.bin\" share their data";
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

    void exportReplacesTargetOnlyWhenDone()
    {
        const QString model = makeModelFolder("model");
        const QString archive = path("existing.vm3");
        QVERIFY(writeFile(archive, "old contents"));
        QVERIFY(
            QFile::setPermissions(archive, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        const QFileDevice::Permissions chosen = QFile::permissions(archive);

        // Checking a new target does not create it.
        QString why;
        QVERIFY(Exporter::checkTargetWritable(path("new.vm3"), &why) && !QFileInfo::exists(path("new.vm3")));

        // A writer that fails half way, or is dropped unclosed, leaves the old file alone.
        QVERIFY(writeFile(path("a.txt"), "a"));
        {
            ZipArchiveWriter writer;
            QVERIFY(writer.open(archive) && writer.addFile(path("a.txt"), "model/a.txt"));
            QVERIFY(!writer.addFile(path("vanished.txt"), "model/vanished.txt"));
            QVERIFY(!writer.close());
            QVERIFY(ZipArchiveWriter().open(archive));
        }
        QCOMPARE(readFile(archive), QByteArray("old contents"));

        // The replacement keeps the permissions the user gave the file, a new
        // file gets those of any new file, and no temporary file is left.
        QVERIFY(Exporter::exportFolder(model, archive).ok);
        QCOMPARE(runProgram("unzip", {"-Z1", archive}).out.count('\n'), 6);
        QCOMPARE(QFile::permissions(archive), chosen);
        QVERIFY(Exporter::exportFolder(model, path("fresh.vm3")).ok);
        QCOMPARE(QFile::permissions(path("fresh.vm3")), QFile::permissions(path("a.txt")));
        QCOMPARE(QDir(path("")).entryList(QDir::Files | QDir::Hidden),
                 (QStringList {"a.txt", "existing.vm3", "fresh.vm3"}));
    }

    void exportFailuresAreReported_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("model folder missing") << "nosource";
        QTest::newRow("target is a folder") << "folder";
        QTest::newRow("target folder read-only") << "readonly";
        QTest::newRow("no version file") << "noversion";
        QTest::newRow("no bundle") << "nobundle";
        QTest::newRow("bundle is a folder") << "bundlefolder";
        QTest::newRow("more files than a zip without ZIP64 holds") << "toomany";
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
        for (int i = 0; failure == "toomany" && i < 0xffff; ++i)
            QVERIFY(QFile(model + QString("/.meta/%1").arg(i)).open(QIODevice::WriteOnly));
        QString target = path("out/target.vm3");
        QVERIFY(writeFile(target, "previous export"));
        if (failure == "folder")
            target = path("out");
        ReadOnlyFolder lock(failure == "readonly" ? path("out") : QString());
        if (failure == "readonly" && !lock.isActive())
            QSKIP("cannot make a folder read-only here");

        QString why; // the check must not truncate an existing target either
        QCOMPARE(Exporter::checkTargetWritable(target, &why), failure != "folder" && failure != "readonly");
        const Exporter::Result result = Exporter::exportFolder(model, target);
        QVERIFY(!result.ok && !result.errorText.isEmpty());
        lock.release();
        QCOMPARE(readFile(path("out/target.vm3")), QByteArray("previous export"));
        QCOMPARE(QDir(path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList {"target.vm3"});
    }
};

QTEST_GUILESS_MAIN(ContainerTest)
#include "tst_container.moc"

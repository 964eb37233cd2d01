// The vm3 container and its version file: archives we write checked with
// Info-ZIP and Python's zipfile, and hostile and damaged archives.

#include "PipelineTestSupport.h"

#include "ContainerImport.h"
#include "Exporter.h"
#include "UnpackBudget.h"
#include "VersionFile.h"
#include "WorkspaceService.h"
#include "ZipArchiveReader.h"

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
    print(json.dumps({i.filename: {"md5": hashlib.md5(z.read(i)).hexdigest(), "date": i.date_time, "size": i.compress_size} for i in z.infolist()}))
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

    // The same files pack to the same bytes whenever and wherever they were
    // written; entries taken over from the archive a folder came from are
    // its own deflated bytes, and only for unchanged files.
    void exportsAreReproducible_data()
    {
        QTest::addColumn<QByteArray>("epoch"); // SOURCE_DATE_EPOCH; null: unset
        QTest::addColumn<QString>("date"); // of every entry, UTC
        QTest::addColumn<bool>("takeOver"); // from an Info-ZIP archive of the first folder
        QTest::newRow("no epoch") << QByteArray() << "[1980,1,1,0,0,0]" << false;
        QTest::newRow("epoch") << QByteArray("1700000000") << "[2023,11,14,22,13,20]" << false;
        QTest::newRow("taken over") << QByteArray() << "[1980,1,1,0,0,0]" << true;
    }
    void exportsAreReproducible()
    {
        QFETCH(QByteArray, epoch);
        QFETCH(QString, date);
        QFETCH(bool, takeOver);
        qputenv("TZ", "Asia/Tokyo");
        epoch.isNull() ? qunsetenv("SOURCE_DATE_EPOCH") : qputenv("SOURCE_DATE_EPOCH", epoch);
        const QString first = makeModelFolder("first/model"), second = path("second/model");
        QByteArray material;
        for (int i = 0; i < 3000; ++i)
            material += QString("material m%1 { diffuse = %2 }\n").arg(i).arg(i * 7919 % 1000).toUtf8();
        QVERIFY(writeFile(first + "/model.material", material) && QDir().mkpath(path("second"))
                && runProgram("cp", {"-r", first, second}).exitCode == 0);
        QCOMPARE(runProgram("find", {second, "-exec", "touch", "-d", "2001-02-03", "{}", "+"}).exitCode, 0);
        QVERIFY(Exporter::exportFolder(first, path("first.vm3")).ok);
        // Changed after the archive was made: packed anew.
        QVERIFY(!takeOver
                || (runProgram("zip", {"-1", "-r", "-q", path("peer.zip"), "model"}, path("first")).exitCode == 0
                    && writeFile(second + "/model.gpb", randomBytes(100 * 1024).toBase64().left(100 * 1024))));
        QVERIFY(
            Exporter::exportFolder(second, path("second/second.vm3"), nullptr, takeOver ? path("peer.zip") : "").ok);
        // Empty, failing every row below, when an entry fails the script's checks.
        const QJsonObject entries
            = QJsonDocument::fromJson(runPython(kCheckArchive, {path("second/second.vm3")}).out).object();
        const QMap<QString, QByteArray> digests = treeDigest(second);
        for (auto it = digests.begin(); it != digests.end(); ++it) {
            const QJsonValue entry = entries["model/" + it.key()];
            QCOMPARE(entry["md5"].toString().toLatin1()
                         + QJsonDocument(entry["date"].toArray()).toJson(QJsonDocument::Compact),
                     it.value().toHex() + date.toUtf8());
        }
        if (!takeOver)
            QVERIFY(readFile(path("first.vm3")) == readFile(path("second/second.vm3")));
        else // Info-ZIP's deflated bytes, not ours
            QCOMPARE(
                QByteArray::number(entries["model/model.material"]["size"].toInt()),
                runPython("import sys, zipfile\nprint(zipfile.ZipFile(sys.argv[1]).getinfo(sys.argv[2]).compress_size)",
                          {path("peer.zip"), "model/model.material"})
                    .out.trimmed());
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
        QTest::newRow("larger than 64 KiB")
            << QByteArray("{\"encoderversion\":\"1.7\",\"format\":4}").append(QByteArray(70 * 1024, ' ')) << ""
            << error("Json parsing error. ");
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
        QVERIFY(writeFile(workspace.model + "/old.scene", "scene")
                && writeFile(workspace.modelFile, ZipFixture::bundle()));
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
        QTest::newRow("later duplicate bundle") << "duplicate" << QString("\"model/model.gpb\" appears more than once");
        QTest::newRow("bundle of bad magic") << "bad magic" << QString("its model cannot be loaded: not a bundle");
        QTest::newRow("empty bundle") << "empty" << QString("its model cannot be loaded");
        QTest::newRow("truncated bundle") << "cut bundle" << QString("its model cannot be loaded");
        QTest::newRow("preview of 20000 x 20000 pixels")
            << "huge preview" << QString("perspective.png is 20000 x 20000 pixels, more than 4096 x 4096");
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
        const QByteArray bundle = entries.first().second;
        const QMap<QString, QByteArray> bundles
            = {{"bad magic", "GPB\xab not a bundle"}, {"empty", ""}, {"cut bundle", bundle.left(40)}};
        if (damage == "duplicate")
            entries.append({"model/model.gpb", bundle});
        else if (bundles.contains(damage))
            entries[0].second = bundles.value(damage);
        if (damage == "huge preview") // decoding it would take 1.6 GB
            entries.append({"model/.meta/perspective.png", ZipFixture::pngOfSize(20000, 20000)});
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

    // Who is blamed: the file (too large, a bomb) before the disk (no room).
    void unpackBudget_data()
    {
        QTest::addColumn<QVector<quint64>>("sizes"); // uncompressed, compressed, ...
        QTest::addColumn<qint64>("bytesFree");
        QTest::addColumn<int>("refusal");
        QTest::addColumn<QString>("reason");
        const qint64 giB = qint64(1) << 30;
        using R = UnpackBudget::Refusal;
        QTest::newRow("full disk") << QVector<quint64> {quint64(giB), quint64(giB) / 2} << giB / 2 << int(R::NoSpace)
                                   << QString("not enough disk space: 1140850688 bytes needed, 536870912 bytes free");
        QTest::newRow("too large on a full disk")
            << QVector<quint64> {quint64(5 * giB), quint64(5 * giB)} << qint64(0) << int(R::TooLarge)
            << QString("it would unpack to 5368709120 bytes, more than the 4294967296 allowed");
        QTest::newRow("sizes that would wrap")
            << QVector<quint64> {~quint64(0) / 2 + 2, 1, ~quint64(0) / 2, 1} << 10 * giB << int(R::TooLarge)
            << QString("it would unpack to 18446744073709551615 bytes");
        QTest::newRow("bomb on a full disk") << QVector<quint64> {quint64(40) << 20, 4096} << qint64(0)
                                             << int(R::ImplausibleRatio) << QString("claims to grow 10240 times");
    }
    void unpackBudget()
    {
        QFETCH(QVector<quint64>, sizes);
        QFETCH(qint64, bytesFree);
        QFETCH(int, refusal);
        QFETCH(QString, reason);
        UnpackBudget budget;
        for (int i = 0; i + 1 < sizes.size(); i += 2)
            budget.add("model/e", sizes[i], sizes[i + 1]);
        const UnpackBudget::Verdict verdict = budget.verdict(ZipArchiveReader::kDefaultSizeLimit, bytesFree);
        QCOMPARE(int(verdict.refusal), refusal);
        QVERIFY2(verdict.reason.contains(reason), qPrintable(verdict.reason));
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
        QTest::newRow("split bomb, 66 entries of 31 MiB zeros")
            << "split" << QString("its entries claim to grow 1028 times");
        QTest::newRow("zip64 sizes beyond the limit")
            << "zip64 huge" << QString("would unpack to 12884901888 bytes, more than");
        QTest::newRow("zip64 sizes within the limit")
            << "zip64" << QString("keeps its sizes (36 bytes) in a ZIP64 field");
    }

    void unpackingIsBounded()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        const char* const script = R"PY(
import base64, struct, sys, zipfile, zlib
kind, out = sys.argv[1], sys.argv[2]
version = '{"encoderversion":"1.7","format":4}\n'
def raw_zip(entries):  # (name, data, deflated copy or None, declared size or None); ZIP64 sizes when declared
    local, central = b'', b''
    for name, data, deflated, declared in entries:
        name, body = name.encode(), deflated if deflated is not None else data
        method, crc = 8 if deflated is not None else 0, zlib.crc32(data)
        sizes = struct.pack('<II', len(body), len(data)) if declared is None else struct.pack('<II', 0xffffffff, 0xffffffff)
        extra = b'' if declared is None else struct.pack('<HHQQ', 1, 16, declared, len(body))
        head = struct.pack('<HHHHHI', 20, 0, method, 0, 0x21, crc) + sizes + struct.pack('<HH', len(name), len(extra))
        central += b'PK\1\2' + struct.pack('<H', 45) + head + struct.pack('<HHHII', 0, 0, 0, 0, len(local)) + name + extra
        local += b'PK\3\4' + head + name + extra + body
    end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, len(entries), len(entries), len(central), len(local), 0)
    open(out, 'wb').write(local + central + end)
if kind.startswith('zip64') or kind == 'split':
    model = [('model/version', version.encode(), None, None), ('model/model.gpb', base64.b64decode(sys.argv[3]), None, None)]
    if kind == 'split':
        zeros = bytes(31 << 20)
        packer = zlib.compressobj(6, zlib.DEFLATED, -15)
        deflated = packer.compress(zeros) + packer.flush()
        model += [('model/tex/%d.bin' % i, zeros, deflated, None) for i in range(66)]
    else:
        model = [(name, data, None, len(data) if kind == 'zip64' else 6 << 30) for name, data, _, _ in model]
    raw_zip(model)
    sys.exit(0)
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
        const ProcessResult made = runPython(script, {kind, archive, ZipFixture::bundle().toBase64()});
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

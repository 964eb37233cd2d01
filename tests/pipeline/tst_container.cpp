// The vm3 container: archives we write checked with Info-ZIP and Python's
// zipfile, archives they write imported by us, round trips, hostile and
// damaged archives, and the guarantees of a failed export.

#include "PipelineTestSupport.h"

#include "AnalyticsTracker.h"
#include "ContainerImport.h"
#include "Exporter.h"
#include "VersionFile.h"
#include "WorkspaceService.h"
#include "ZipArchiveReader.h"
#include "ZipArchiveWriter.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

using namespace testsupport;

namespace {

// Lists an archive as JSON: one object per entry with the fields we check.
const char* const kDescribeArchive = R"PY(
import hashlib, json, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    entries = []
    for i in z.infolist():
        entries.append({"name": i.filename, "method": i.compress_type, "flags": i.flag_bits,
                        "extra": len(i.extra), "comment": len(i.comment), "dir": i.is_dir(),
                        "date": list(i.date_time), "md5": hashlib.md5(z.read(i)).hexdigest()})
    print(json.dumps({"bad": bad, "comment": len(z.comment), "entries": entries}))
)PY";

// Writes an archive: argv[1] the archive, then name=path pairs (an empty
// path gives an empty entry), with "stored:" or "bzip2:" prefixes on the
// archive argument choosing the method.
const char* const kWriteArchive = R"PY(
import sys, zipfile
target = sys.argv[1]
method = zipfile.ZIP_DEFLATED
if target.startswith("stored:"):
    method, target = zipfile.ZIP_STORED, target[7:]
elif target.startswith("bzip2:"):
    method, target = zipfile.ZIP_BZIP2, target[6:]
with zipfile.ZipFile(target, "w", method) as z:
    for pair in sys.argv[2:]:
        name, _, path = pair.partition("=")
        data = open(path, "rb").read() if path else b""
        z.writestr(zipfile.ZipInfo(name, (2020, 1, 2, 3, 4, 6)), data, compress_type=method)
)PY";

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(1234);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

class RecordingTracker : public AnalyticsTracker {
public:
    explicit RecordingTracker(const QString& stateFile)
        : AnalyticsTracker(QStringLiteral("UA-TEST"), QUrl(QStringLiteral("http://127.0.0.1:9/")), stateFile)
    {
    }
    void trackEvent(const QString& category, const QString& action, const QString& label, int value) override
    {
        QMutexLocker lock(&mutex);
        events << QStringList{category, action, label, QString::number(value)}.join(QLatin1Char('|'));
    }
    QMutex mutex;
    QStringList events;
};

} // namespace

class ContainerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir* m_scratch = nullptr;
    QString m_temp;
    QString m_appParent;

    QString path(const QString& relative) const { return m_scratch->path() + QLatin1Char('/') + relative; }

    // A model folder like the encoder and viewer leave behind.
    QString makeModelFolder(const QString& relative)
    {
        const QString model = path(relative);
        writeFile(model + "/model.gpb", randomBytes(100 * 1024));
        VersionFile::write(model + "/");
        writeFile(model + "/shaders/colored.vert", QByteArray("void main() {}\n").repeated(50));
        writeFile(model + "/shaders/lib/lighting.frag", "uniform vec3 u_light;\n");
        writeFile(model + "/.meta/info", "{\"vertices\":3}\n");
        QDir().mkpath(model + "/tex");  // empty folders make no entries
        return model;
    }

    QJsonObject describe(const QString& archive)
    {
        const ProcessResult result = runPython(QString::fromLatin1(kDescribeArchive), {archive});
        if (result.exitCode != 0)
            qWarning() << "python failed:" << result.err;
        return QJsonDocument::fromJson(result.out).object();
    }

    bool writeVersion(const QString& folder)
    {
        return QDir().mkpath(folder) && VersionFile::write(folder);
    }

    bool pythonZip(const QString& archive, const QStringList& entries)
    {
        const ProcessResult result = runPython(QString::fromLatin1(kWriteArchive), QStringList{archive} + entries);
        if (result.exitCode != 0)
            qWarning() << "python failed:" << result.err;
        return result.exitCode == 0;
    }

    // Imports the archive into a fresh workspace named after it.
    ContainerImport::Result importArchive(const QString& archive, WorkspacePaths* workspaceOut = nullptr)
    {
        WorkspaceService service(m_temp, m_appParent);
        service.setModelFile(archive);
        const WorkspacePaths workspace = service.paths();
        if (workspaceOut)
            *workspaceOut = workspace;
        return ContainerImport::run(archive, workspace, service);
    }

    void verifyNothingEscaped(const WorkspacePaths& workspace)
    {
        const QStringList all = treeEntries(m_scratch->path());
        for (const QString& entry : all) {
            QVERIFY2(!entry.contains(QLatin1String("evil")), qPrintable(entry));
            QVERIFY2(!entry.contains(QLatin1String(".vm3-unpack-")), qPrintable(entry));
        }
        QVERIFY(!QFileInfo::exists(workspace.model + "/version"));
        QVERIFY(!QFileInfo::exists(workspace.modelFile));
    }

private slots:
    void initTestCase()
    {
        if (python().isEmpty() || QStandardPaths::findExecutable("zip").isEmpty()
            || QStandardPaths::findExecutable("unzip").isEmpty())
            QFAIL("python3, zip and unzip are needed by these tests");
    }

    void init()
    {
        m_scratch = new QTemporaryDir();
        QVERIFY(m_scratch->isValid());
        m_temp = path("temp");
        m_appParent = path("app");
        QDir().mkpath(m_temp);
        QVERIFY(writeFile(m_appParent + "/res/shaders/colored.vert", "application shader"));
        QVERIFY(writeFile(m_appParent + "/res/shaders/app-only.frag", "application only"));
    }

    void cleanup()
    {
        delete m_scratch;
        m_scratch = nullptr;
    }

    // --- what we write --------------------------------------------------

    void exportedArchivePassesInfoZip()
    {
        const QString model = makeModelFolder("model");
        const QString archive = path("out/model.vm3");
        QDir().mkpath(path("out"));
        const Exporter::Result result = Exporter::exportFolder(model, archive);
        QVERIFY2(result.ok, qPrintable(result.errorText));
        QCOMPARE(result.fileCount, 5);

        const ProcessResult test = runProgram("unzip", {"-t", "-q", archive});
        QVERIFY2(test.exitCode == 0, test.out + test.err);

        const ProcessResult list = runProgram("unzip", {"-Z1", archive});
        QCOMPARE(list.exitCode, 0);
        QStringList names = QString::fromUtf8(list.out).split('\n', Qt::SkipEmptyParts);
        names.sort();
        const QStringList expected{"model/.meta/info", "model/model.gpb", "model/shaders/colored.vert",
                                   "model/shaders/lib/lighting.frag", "model/version"};
        QCOMPARE(names, expected);

        const ProcessResult verbose = runProgram("unzip", {"-v", archive});
        QCOMPARE(verbose.exitCode, 0);
        QCOMPARE(verbose.out.count("Defl:N"), 5);
        QVERIFY(!verbose.out.contains("Stored"));

        // Info-ZIP unpacks the same files, readable by everyone.
        QCOMPARE(runProgram("unzip", {"-q", archive, "-d", path("unzipped")}).exitCode, 0);
        QCOMPARE(treeDigest(path("unzipped/model")), treeDigest(model));
        QVERIFY(QFile::permissions(path("unzipped/model/model.gpb")) & QFileDevice::ReadOther);
    }

    void exportedArchivePassesPythonZipfile()
    {
        const QString model = makeModelFolder("model");
        const QDateTime stamp(QDate(2021, 6, 15), QTime(13, 45, 30), Qt::LocalTime);
        const QDateTime ancient(QDate(1975, 3, 1), QTime(8, 0, 0), Qt::LocalTime);
        {
            QFile gpb(model + "/model.gpb");
            QVERIFY(gpb.open(QIODevice::ReadWrite));
            QVERIFY(gpb.setFileTime(stamp, QFileDevice::FileModificationTime));
            QFile info(model + "/.meta/info");
            QVERIFY(info.open(QIODevice::ReadWrite));
            QVERIFY(info.setFileTime(ancient, QFileDevice::FileModificationTime));
        }
        const QString archive = path("model.vm3");
        QVERIFY(Exporter::exportFolder(model, archive).ok);

        const QJsonObject description = describe(archive);
        QVERIFY(description.contains("entries"));
        QVERIFY(description.value("bad").isNull());
        QCOMPARE(description.value("comment").toInt(), 0);
        const QMap<QString, QByteArray> digests = treeDigest(model);
        const QJsonArray entries = description.value("entries").toArray();
        QCOMPARE(entries.size(), digests.size());
        for (const QJsonValue& value : entries) {
            const QJsonObject entry = value.toObject();
            const QString name = entry.value("name").toString();
            QVERIFY2(name.startsWith("model/"), qPrintable(name));
            const QString relative = name.mid(6);
            QVERIFY2(digests.contains(relative), qPrintable(name));
            QCOMPARE(entry.value("md5").toString().toLatin1(), digests.value(relative).toHex());
            QCOMPARE(entry.value("method").toInt(), 8);
            QVERIFY(entry.value("flags").toInt() & 0x800);
            QCOMPARE(entry.value("extra").toInt(), 0);
            QCOMPARE(entry.value("comment").toInt(), 0);
            QVERIFY(!entry.value("dir").toBool());
            const QJsonArray date = entry.value("date").toArray();
            if (relative == "model.gpb")
                QCOMPARE(date, QJsonArray({2021, 6, 15, 13, 45, 30}));
            if (relative == ".meta/info")  // before 1980: clamped, not wrapped
                QCOMPARE(date, QJsonArray({1980, 1, 1, 0, 0, 0}));
        }
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
        // Repeats with a period that straddles chunk borders, mixed with
        // noise, so that matches reach back into the previous chunk.
        const QByteArray period = randomBytes(7000).toHex();
        QByteArray bytes;
        bytes.reserve(size);
        while (bytes.size() < size)
            bytes += period;
        bytes.truncate(size);
        const QByteArray noise = randomBytes(300000);
        bytes.replace(size / 3, noise.size(), noise);
        bytes.truncate(size);
        QVERIFY(writeFile(path("big/model.gpb"), bytes));

        const QString archive = path("big.vm3");
        QVERIFY(Exporter::exportFolder(path("big"), archive).ok);
        const ProcessResult test = runProgram("unzip", {"-t", "-q", archive});
        QVERIFY2(test.exitCode == 0, test.out + test.err);
        const QJsonArray entries = describe(archive).value("entries").toArray();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().toObject().value("md5").toString().toLatin1(),
                 QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
        QVERIFY(QFileInfo(archive).size() < size / 2);

        ZipArchiveReader reader;
        QVERIFY(reader.open(archive));
        QVERIFY(reader.extractAll(path("back")));
        QVERIFY(readFile(path("back/model/model.gpb")) == bytes);
    }

    void emptyModelFolderGivesEmptyArchive()
    {
        QDir().mkpath(path("empty"));
        const QString archive = path("empty.vm3");
        const Exporter::Result result = Exporter::exportFolder(path("empty"), archive);
        QVERIFY2(result.ok, qPrintable(result.errorText));
        QCOMPARE(result.fileCount, 0);
        const QJsonObject description = describe(archive);
        QVERIFY(description.contains("entries"));
        QCOMPARE(description.value("entries").toArray().size(), 0);

        const ContainerImport::Result imported = importArchive(archive);
        QVERIFY2(imported.status == ContainerImport::Status::VersionError, qPrintable(imported.errorText));
        QCOMPARE(imported.errorText, QStringLiteral("Error reading version/format from the vm3 file: Version file "
                                                    "missing. Please create the vm3-file again."));
    }

    void nonAsciiNamesRoundTrip()
    {
        const QString model = makeModelFolder("model");
        const QString odd = QString::fromUtf8("t\xc3\xabx/Gr\xc3\xb6\xc3\x9f" "e \xe3\x83\x86\xe3\x82\xaf.png");
        QVERIFY(writeFile(model + "/" + odd, "pixels"));
        const QString archive = path("unicode.vm3");
        QVERIFY(Exporter::exportFolder(model, archive).ok);

        const ProcessResult list = runProgram("unzip", {"-Z1", archive});
        QVERIFY2(QString::fromUtf8(list.out).split('\n').contains("model/" + odd), list.out.constData());
        bool found = false;
        for (const QJsonValue& entry : describe(archive).value("entries").toArray())
            found = found || entry.toObject().value("name").toString() == "model/" + odd;
        QVERIFY(found);

        WorkspacePaths workspace;
        const ContainerImport::Result imported = importArchive(archive, &workspace);
        QVERIFY2(imported.status == ContainerImport::Status::Loaded, qPrintable(imported.errorText));
        QCOMPARE(readFile(workspace.model + "/" + odd), QByteArray("pixels"));
    }

    // --- what we read ---------------------------------------------------

    void roundTripKeepsEveryFile()
    {
        const QString model = makeModelFolder("model");
        const QString archive = path("round.vm3");
        QVERIFY(Exporter::exportFolder(model, archive).ok);

        WorkspacePaths workspace;
        const ContainerImport::Result imported = importArchive(archive, &workspace);
        QVERIFY2(imported.status == ContainerImport::Status::Loaded, qPrintable(imported.errorText));
        QCOMPARE(imported.format, 4);
        QCOMPARE(imported.version, QStringLiteral("1.7"));
        QCOMPARE(imported.modelPath, workspace.relativeModel + "/model.gpb");

        // The archive's files, merged over the workspace's own shader copy.
        QMap<QString, QByteArray> expected = treeDigest(model);
        expected.insert("shaders/app-only.frag", QCryptographicHash::hash("application only", QCryptographicHash::Md5));
        QCOMPARE(treeDigest(workspace.model), expected);
        QVERIFY(QFileInfo(workspace.meta).isDir());
        QVERIFY(!treeEntries(workspace.res).join(' ').contains(".vm3-unpack-"));
    }

    void infoZipArchiveWithFolderEntriesImports()
    {
        const QString model = makeModelFolder("src/model");
        QVERIFY(writeFile(model + "/tex/d\xc3\xa9" "cor.png", "pixels"));
        const QString archive = path("infozip.vm3");
        const ProcessResult zipped = runProgram("zip", {"-r", "-q", archive, "model"}, path("src"));
        QCOMPARE(zipped.exitCode, 0);
        QVERIFY(runProgram("unzip", {"-Z1", archive}).out.contains("model/shaders/\n"));  // folder entries present

        WorkspacePaths workspace;
        const ContainerImport::Result imported = importArchive(archive, &workspace);
        QVERIFY2(imported.status == ContainerImport::Status::Loaded, qPrintable(imported.errorText));
        QMap<QString, QByteArray> expected = treeDigest(model);
        expected.insert("shaders/app-only.frag", QCryptographicHash::hash("application only", QCryptographicHash::Md5));
        QCOMPARE(treeDigest(workspace.model), expected);
        QVERIFY(QFileInfo(workspace.tex).isDir());
    }

    void everyMissingFolderLevelIsCreated()
    {
        QVERIFY(writeVersion(path("v/")));
        QVERIFY(writeFile(path("deep.bin"), "deep"));
        const QString archive = path("deep.vm3");
        QVERIFY(pythonZip(archive, {"model/version=" + path("v/version"), "model/a/b/c/deep.bin=" + path("deep.bin"),
                                    "./model/./x//y.txt=" + path("deep.bin")}));
        WorkspacePaths workspace;
        const ContainerImport::Result imported = importArchive(archive, &workspace);
        QVERIFY2(imported.status == ContainerImport::Status::Loaded, qPrintable(imported.errorText));
        QCOMPARE(readFile(workspace.model + "/a/b/c/deep.bin"), QByteArray("deep"));
        QCOMPARE(readFile(workspace.model + "/x/y.txt"), QByteArray("deep"));
    }

    void versionDecisions_data()
    {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("modelPath");
        QTest::addColumn<QString>("errorText");
        QTest::newRow("format 5 is too new")
            << QByteArray("{\"encoderversion\":\"9.0\",\"format\":5}") << int(ContainerImport::Status::VersionError)
            << QString() << VersionFile::tooNewText();
        QTest::newRow("format 3") << QByteArray("{\"encoderversion\":\"1.5\",\"format\":3}")
                                  << int(ContainerImport::Status::Loaded) << "RELATIVE" << QString();
        QTest::newRow("format 2 uses the scene file") << QByteArray("{\"encoderversion\":\"1.0\",\"format\":2}")
                                                      << int(ContainerImport::Status::Loaded) << "old.scene" << QString();
        QTest::newRow("format as text") << QByteArray("{\"encoderversion\":\"1.7\",\"format\":\"4\"}")
                                        << int(ContainerImport::Status::VersionError) << QString()
                                        << "Error reading version/format from the vm3 file: Json parsing error on file "
                                           "format. Please create the vm3-file again.";
    }

    void versionDecisions()
    {
        QFETCH(QByteArray, version);
        QFETCH(int, status);
        QFETCH(QString, modelPath);
        QFETCH(QString, errorText);
        QVERIFY(writeFile(path("v/version"), version));
        QVERIFY(writeFile(path("old.scene"), "scene"));
        const QString archive = path("versioned.vm3");
        QVERIFY(pythonZip(archive, {"model/version=" + path("v/version"), "model/old.scene=" + path("old.scene")}));
        WorkspacePaths workspace;
        const ContainerImport::Result imported = importArchive(archive, &workspace);
        QCOMPARE(int(imported.status), status);
        QCOMPARE(imported.errorText, errorText);
        if (modelPath == "RELATIVE")
            modelPath = workspace.relativeModel + "/model.gpb";
        QCOMPARE(imported.modelPath, modelPath);
    }

    void hostileEntriesAreRefused_data()
    {
        QTest::addColumn<QString>("entryName");
        QTest::newRow("parent") << "../evil.txt";
        QTest::newRow("deep parent") << "model/../../../../evil.txt";
        QTest::newRow("backslash parent") << "..\\..\\evil.txt";
        QTest::newRow("mixed separators") << "model\\..\\../..\\evil.txt";
        QTest::newRow("absolute") << "ABSOLUTE/evil.txt";
        QTest::newRow("backslash absolute") << "\\evil.txt";
        QTest::newRow("drive letter") << "C:/evil.txt";
        QTest::newRow("drive relative") << "c:evil.txt";
        QTest::newRow("stream name") << "model/evil.txt:stream";
        QTest::newRow("parent folder entry") << "../evil/";
    }

    void hostileEntriesAreRefused()
    {
        QFETCH(QString, entryName);
        entryName.replace("ABSOLUTE", path("absolute"));
        QVERIFY(writeVersion(path("v/")));
        QVERIFY(writeFile(path("payload"), "payload"));
        const QString archive = path("hostile.vm3");
        // The good entries come first, so a partial unpack would show.
        QVERIFY(pythonZip(archive, {"model/version=" + path("v/version"), "model/model.gpb=" + path("payload"),
                                    entryName + "=" + path("payload")}));

        WorkspacePaths workspace;
        const ContainerImport::Result imported = importArchive(archive, &workspace);
        QCOMPARE(imported.status, ContainerImport::Status::Damaged);
        QVERIFY2(imported.errorText.contains("refused"), qPrintable(imported.errorText));
        verifyNothingEscaped(workspace);
        QVERIFY(!QFileInfo::exists(path("absolute")));
    }

    void safeRelativePaths_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("folder");
        QTest::newRow("plain") << "model/tex/a.png" << true << "model/tex/a.png" << false;
        QTest::newRow("one backslash") << "model\\a.png" << true << "model/a.png" << false;
        QTest::newRow("many backslashes") << "model\\tex\\a.png" << true << "model/tex/a.png" << false;
        QTest::newRow("folder") << "model/tex/" << true << "model/tex" << true;
        QTest::newRow("dots inside names") << "model/..a/b..png" << true << "model/..a/b..png" << false;
        QTest::newRow("dot components") << "./model/./a" << true << "model/a" << false;
        QTest::newRow("dot dot") << "model/.." << false << "" << false;
        QTest::newRow("absolute") << "/etc/passwd" << false << "" << false;
        QTest::newRow("unc") << "\\\\server\\share\\x" << false << "" << false;
        QTest::newRow("drive") << "D:\\x" << false << "" << false;
        QTest::newRow("control character") << QString("model/a\nb") << false << "" << false;
    }

    void safeRelativePaths()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QFETCH(QString, relative);
        QFETCH(bool, folder);
        QString result;
        bool isFolder = false;
        QCOMPARE(ZipArchiveReader::safeRelativePath(name, &result, &isFolder), safe);
        if (safe) {
            QCOMPARE(result, relative);
            QCOMPARE(isFolder, folder);
        }
    }

    void damagedArchivesFail_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("not a zip") << "text";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("truncated") << "truncated";
        QTest::newRow("crc mismatch") << "crc";
        QTest::newRow("corrupt deflate data") << "inflate";
        QTest::newRow("unsupported method") << "bzip2";
        QTest::newRow("encrypted entry") << "encrypted";
    }

    void damagedArchivesFail()
    {
        QFETCH(QString, damage);
        QVERIFY(writeVersion(path("v/")));
        const QByteArray marker = "MARKER-" + randomBytes(4000).toHex() + "-END";
        QVERIFY(writeFile(path("payload"), marker));
        const QString archive = path("broken.vm3");
        const QStringList entries{"model/version=" + path("v/version"), "model/model.gpb=" + path("payload")};

        if (damage == "text") {
            QVERIFY(writeFile(archive, "this is not a zip archive, just text\n"));
        } else if (damage == "empty") {
            QVERIFY(writeFile(archive, QByteArray()));
        } else if (damage == "truncated") {
            QVERIFY(pythonZip(archive, entries));
            QByteArray bytes = readFile(archive);
            QVERIFY(writeFile(archive, bytes.left(bytes.size() / 2)));
        } else if (damage == "crc" || damage == "encrypted") {
            QVERIFY(pythonZip("stored:" + archive, entries));
            QByteArray bytes = readFile(archive);
            const int at = bytes.indexOf("MARKER-");
            QVERIFY(at > 0);
            if (damage == "crc") {
                bytes[at + 100] = char(bytes[at + 100] ^ 0x01);
            } else {
                // Set the "encrypted" bit of the second entry, in its local
                // header and in the central directory.
                const int local = bytes.lastIndexOf("PK\x03\x04", at);
                const int central = bytes.indexOf("PK\x01\x02", bytes.indexOf("PK\x01\x02") + 4);
                QVERIFY(local >= 0 && central > 0);
                bytes[local + 6] = char(bytes[local + 6] | 1);
                bytes[central + 8] = char(bytes[central + 8] | 1);
            }
            QVERIFY(writeFile(archive, bytes));
        } else if (damage == "inflate") {
            QVERIFY(writeFile(path("payload"), randomBytes(2000).toHex().repeated(20)));
            QVERIFY(pythonZip(archive, entries));
            QByteArray bytes = readFile(archive);
            const int central = bytes.indexOf("PK\x01\x02");
            const int start = bytes.lastIndexOf("PK\x03\x04", central);
            for (int i = start + 200; i < start + 260; ++i)
                bytes[i] = char(0xff);
            QVERIFY(writeFile(archive, bytes));
        } else if (damage == "bzip2") {
            QVERIFY(pythonZip("bzip2:" + archive, entries));
        }

        WorkspacePaths workspace;
        const ContainerImport::Result imported = importArchive(archive, &workspace);
        QCOMPARE(imported.status, ContainerImport::Status::Damaged);
        QVERIFY2(imported.errorText.contains("damaged"), qPrintable(imported.errorText));
        verifyNothingEscaped(workspace);
    }

    void missingArchiveCannotBeRead()
    {
        WorkspacePaths workspace;
        const ContainerImport::Result imported = importArchive(path("nowhere.vm3"), &workspace);
        QCOMPARE(imported.status, ContainerImport::Status::Damaged);
        QVERIFY2(imported.errorText.contains("could not be read"), qPrintable(imported.errorText));
    }

    void readerReportsItsState()
    {
        ZipArchiveReader reader;
        QVERIFY(!reader.extractAll(path("dest")));
        QCOMPARE(reader.status(), ZipArchiveReader::CannotOpen);
        QVERIFY(writeFile(path("junk.vm3"), "junk"));
        QVERIFY(!reader.open(path("junk.vm3")));
        QCOMPARE(reader.status(), ZipArchiveReader::Damaged);

        QVERIFY(writeVersion(path("v/")));
        QVERIFY(pythonZip(path("ok.vm3"), {"model/version=" + path("v/version"), "model/empty="}));
        QVERIFY(reader.open(path("ok.vm3")));
        QCOMPARE(reader.status(), ZipArchiveReader::Ok);
        QVERIFY(reader.extractAll(path("dest")));
        QCOMPARE(reader.extractedFileCount(), 2);
        QCOMPARE(readFile(path("dest/model/empty")), QByteArray());
        QVERIFY(QFileInfo::exists(path("dest/model/empty")));
        QCOMPARE(treeEntries(path("dest")), (QStringList{"model", "model/empty", "model/version"}));
    }

    // --- export failures ------------------------------------------------

    void exportReplacesExistingTarget()
    {
        const QString model = makeModelFolder("model");
        const QString archive = path("existing.vm3");
        QVERIFY(writeFile(archive, QByteArray(300000, 'x')));
        QVERIFY(QFile::setPermissions(archive, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        const QFileDevice::Permissions chosen = QFile::permissions(archive);
        QVERIFY(Exporter::exportFolder(model, archive).ok);
        QCOMPARE(describe(archive).value("entries").toArray().size(), 5);
        // The replacement keeps the permissions the user gave the file.
        QCOMPARE(QFile::permissions(archive), chosen);
        QCOMPARE(QDir(path("")).entryList({"*.vm3*", ".*vm3*"}, QDir::Files | QDir::Hidden), QStringList{"existing.vm3"});

        // A new file gets the same permissions as any other new file.
        QVERIFY(writeFile(path("plain"), "x"));
        QVERIFY(Exporter::exportFolder(model, path("fresh.vm3")).ok);
        QCOMPARE(QFile::permissions(path("fresh.vm3")), QFile::permissions(path("plain")));
    }

    void failedWriteKeepsTheOldFile()
    {
        const QByteArray old = "the user's previous export";
        const QString archive = path("keep.vm3");
        QVERIFY(writeFile(archive, old));
        {
            ZipArchiveWriter writer;
            QVERIFY(writer.open(archive));
            QVERIFY(writeFile(path("a.txt"), "a"));
            QVERIFY(writer.addFile(path("a.txt"), "model/a.txt"));
            QVERIFY(!writer.addFile(path("vanished.txt"), "model/vanished.txt"));
            QVERIFY(writer.hasError());
            QVERIFY(!writer.close());
        }
        QCOMPARE(readFile(archive), old);
        {
            ZipArchiveWriter abandoned;  // destroyed without close
            QVERIFY(abandoned.open(archive));
            QVERIFY(abandoned.addFile(path("a.txt"), "model/a.txt"));
        }
        QCOMPARE(readFile(archive), old);
        QCOMPARE(QDir(path("")).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.txt", "keep.vm3"}));
    }

    void exportFailuresAreReported_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("model folder missing") << "nosource";
        QTest::newRow("target is a folder") << "folder";
        QTest::newRow("target folder missing") << "nofolder";
        QTest::newRow("target folder read-only") << "readonly";
    }

    void exportFailuresAreReported()
    {
        QFETCH(QString, failure);
        QString model = makeModelFolder("model");
        QString target = path("out/target.vm3");
        const QByteArray old = "previous export";
        QVERIFY(writeFile(target, old));

        if (failure == "nosource")
            model = path("no-such-model");
        else if (failure == "folder")
            target = path("out");
        else if (failure == "nofolder")
            target = path("missing/target.vm3");
        ReadOnlyFolder lock(failure == "readonly" ? path("out") : QString());
        if (failure == "readonly" && !lock.isActive())
            QSKIP("cannot make a folder read-only here");

        QString why;
        if (failure != "nosource")
            QVERIFY(!Exporter::checkTargetWritable(target, &why));
        const Exporter::Result result = Exporter::exportFolder(model, target);
        QVERIFY(!result.ok);
        QVERIFY(!result.errorText.isEmpty());
        lock.release();
        QCOMPARE(readFile(path("out/target.vm3")), old);
        QCOMPARE(QDir(path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"target.vm3"});
    }

    void writabilityCheckLeavesTargetAlone()
    {
        const QString target = path("check.vm3");
        QVERIFY(writeFile(target, "old contents"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QDateTime stamp(QDate(2020, 1, 1), QTime(12, 0));
        QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
        file.close();
        QString why;
        QVERIFY2(Exporter::checkTargetWritable(target, &why), qPrintable(why));
        QVERIFY(Exporter::checkTargetWritable(path("new.vm3"), &why));
        QCOMPARE(readFile(target), QByteArray("old contents"));
        QCOMPARE(QFileInfo(target).lastModified(), stamp);
        QVERIFY(!QFileInfo::exists(path("new.vm3")));
        QCOMPARE(QDir(path("")).entryList(QDir::Files | QDir::Hidden), QStringList{"check.vm3"});
    }

    void exporterSignalsOnce()
    {
        RecordingTracker tracker(path("GA_Tracker.xml"));
        AnalyticsTracker::setInstance(&tracker);
        const QString model = makeModelFolder("model");

        auto* good = new Exporter(model, path("good.vm3"));
        QSignalSpy goodDone(good, &Exporter::exporterDidFinish);
        QSignalSpy goodFailed(good, &Exporter::exporterDidFail);
        QThreadPool::globalInstance()->start(good);
        QTRY_COMPARE_WITH_TIMEOUT(goodDone.count(), 1, 30000);
        QCOMPARE(goodDone.first().first().toString(), path("good.vm3"));
        QCOMPARE(goodFailed.count(), 0);
        {
            QMutexLocker lock(&tracker.mutex);
            QCOMPARE(tracker.events, QStringList{"model|export|vm3|1"});
        }

        auto* bad = new Exporter(path("no-model"), path("bad.vm3"));
        QSignalSpy badDone(bad, &Exporter::exporterDidFinish);
        QSignalSpy badFailed(bad, &Exporter::exporterDidFail);
        QThreadPool::globalInstance()->start(bad);
        QTRY_COMPARE_WITH_TIMEOUT(badFailed.count(), 1, 30000);
        QCOMPARE(badFailed.first().at(0).toString(), path("bad.vm3"));
        QVERIFY(!badFailed.first().at(1).toString().isEmpty());
        QCOMPARE(badDone.count(), 0);
        QVERIFY(!QFileInfo::exists(path("bad.vm3")));
        {
            QMutexLocker lock(&tracker.mutex);
            QCOMPARE(tracker.events.size(), 1);  // a failed export is not counted
        }
        AnalyticsTracker::setInstance(nullptr);
    }

    void exportSkipsLinks()
    {
        const QString model = makeModelFolder("model");
        QVERIFY(writeFile(path("outside/secret.txt"), "secret"));
        QVERIFY(QFile::link(path("outside"), model + "/linked-folder"));
        QVERIFY(QFile::link(path("outside/secret.txt"), model + "/linked-file"));
        QVERIFY(QFile::link(model, model + "/shaders/loop"));
        QVERIFY(Exporter::exportFolder(model, path("links.vm3")).ok);
        const ProcessResult list = runProgram("unzip", {"-Z1", path("links.vm3")});
        QVERIFY(!list.out.contains("linked"));
        QVERIFY(!list.out.contains("loop"));
        QCOMPARE(list.out.count('\n'), 5);
    }
};

QTEST_GUILESS_MAIN(ContainerTest)
#include "tst_container.moc"

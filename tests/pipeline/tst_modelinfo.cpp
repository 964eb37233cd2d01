// "--info FILE [--json]" as main() calls it: the three kinds of input, the
// JSON it prints, and the exit codes for bad arguments and bad models.
#include "ModelInfoCommand.h"
#include "ZipArchiveWriter.h"

#include "../engine/GpbBuilder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

namespace {

// Runs the command with its standard output captured.
int runInfo(QStringList arguments, QByteArray* out)
{
    arguments.prepend("Velmora3dEncoder");
    QList<QByteArray> bytes;
    std::vector<char*> argv;
    for (const QString& a : arguments)
        bytes << a.toLocal8Bit();
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    std::fflush(stdout);
    QTemporaryFile capture;
    capture.open();
    const int saved = dup(fileno(stdout));
    dup2(capture.handle(), fileno(stdout));
    const int code = ModelInfoCommand::run(int(argv.size()), argv.data());
    std::fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    capture.seek(0);
    *out = capture.readAll();
    return code;
}

void writeBytes(const QString& path, const std::string& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), qint64(bytes.size()));
}

} // namespace

class TestModelInfo : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void inputsAndExitCodes_data();
    void inputsAndExitCodes();

private:
    QTemporaryDir m_dir;
};

// A model folder with a bundle of two nodes, one with a mesh whose material
// is in model.material and one whose material is not; packed as a vm3 too.
void TestModelInfo::initTestCase()
{
    enginetest::GpbBuilder b;
    b.record("scene", 1);
    b.u32(2);
    b.beginNode("box", 0);
    b.endNode("#mesh", {"known"});
    b.beginNode("other", 0);
    b.endNode("#mesh", {"missing"}, 1);
    b.sceneEnd("#other");
    b.mesh("mesh", 3);
    writeBytes(m_dir.filePath("model/model.gpb"), b.build());
    writeBytes(m_dir.filePath("model/model.material"), "material known\n{\n}\n");
    writeBytes(m_dir.filePath("broken.gpb"), b.build().substr(0, 40));
    writeBytes(m_dir.filePath("broken.vm3"), "PK not really");
    writeBytes(m_dir.filePath("notes.txt"), "text");
    ZipArchiveWriter writer;
    QVERIFY(writer.open(m_dir.filePath("model.vm3")));
    QVERIFY(writer.addFolder(m_dir.filePath("model"), "model"));
    QVERIFY(writer.close());
}

void TestModelInfo::inputsAndExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("printsJson");
    const QString d = m_dir.path() + "/";
    QTest::newRow("folder") << QStringList {"--info", d + "model", "--json"} << 0 << true;
    QTest::newRow("bundle") << QStringList {"--json", "--info=" + d + "model/model.gpb"} << 0 << true;
    QTest::newRow("vm3") << QStringList {"--info", d + "model.vm3", "--json"} << 0 << true;
    QTest::newRow("text") << QStringList {"--info", d + "model.vm3"} << 0 << false;
    QTest::newRow("no file") << QStringList {"--info"} << 1 << false;
    QTest::newRow("unknown option") << QStringList {"--info", d + "model", "--fast"} << 1 << false;
    QTest::newRow("missing") << QStringList {"--info", d + "nothing"} << 2 << false;
    QTest::newRow("truncated bundle") << QStringList {"--info", d + "broken.gpb"} << 2 << false;
    QTest::newRow("damaged vm3") << QStringList {"--info", d + "broken.vm3"} << 2 << false;
    QTest::newRow("other file type") << QStringList {"--info", d + "notes.txt"} << 2 << false;
    QTest::newRow("folder without bundle") << QStringList {"--info", m_dir.path()} << 2 << false;
}

void TestModelInfo::inputsAndExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(bool, printsJson);
    QByteArray out;
    QCOMPARE(runInfo(arguments, &out), exitCode);
    if (exitCode != 0) {
        QVERIFY(!out.startsWith("{")); // the reason goes to standard error
        return;
    }
    if (!printsJson) {
        QVERIFY(out.contains("Unresolved:    missing"));
        return;
    }
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(o["nodes"].toInt(), 2);
    QCOMPARE(o["models"].toInt(), 2);
    QCOMPARE(o["cameras"].toInt(), 1);
    QCOMPARE(o["triangles"].toInt(), 1);
    QCOMPARE(o["materials"].toArray().size(), 1);
    QCOMPARE(o["unresolvedMaterials"].toArray().first().toString(), QString("missing"));
    QCOMPARE(o["activeCamera"].toString(), QString("other"));
}

QTEST_GUILESS_MAIN(TestModelInfo)
#include "tst_modelinfo.moc"

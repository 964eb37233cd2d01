// Broken and hostile input: the encoder must end with exit code 0 or 1 and
// well-formed message lines, never crash or hang, write a complete bundle or
// none, and never write outside the model folder.

#include "EncoderTestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace encodertest;

class TestBundleHostile : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QString m_fixtures;
    int m_runs = 0;

    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString writeInput(const QByteArray& bytes, const QString& extension = "fbx")
    {
        const QString path = m_work.path() + QString("/input%1.%2").arg(m_runs).arg(extension);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return path;
    }

    // Converts `input` into a fresh folder and checks what must hold for any input whatsoever; `b` gets
    // the bundle written.
    Run convertChecked(const QString& input, BundleData& b)
    {
        const QString folder = m_work.path() + QString("/out%1/model").arg(++m_runs);
        QDir().mkpath(folder);
        const QStringList before = filesBelow(m_work.path());
        const Run run = convert(input, folder + "/model.gpb");
        [&] {
            QVERIFY2(!run.crashed, qPrintable(input + ": " + run.err));
            QVERIFY2(run.exitCode == 0 || run.exitCode == 1,
                     qPrintable(input + QString(": exit %1").arg(run.exitCode)));
            QCOMPARE(badMessageLine(run), QString());
            QVERIFY2(run.exitCode == 0 || run.err.startsWith("Error (GP#"), qPrintable(input + ": no error line"));
            // A failed run leaves no bundle in its fresh folder; a successful one leaves a sound bundle.
            const QString bundle = folder + "/model.gpb";
            QCOMPARE(run.exitCode == 0           ? bundleProblem(bundle, b)
                         : QFile::exists(bundle) ? "left a bundle"
                                                 : "",
                     QString());
            for (const QString& file : filesBelow(m_work.path())) {
                QVERIFY2(before.contains(file) || file.startsWith(QDir(m_work.path()).relativeFilePath(folder) + "/"),
                         qPrintable("written outside the model folder: " + file));
            }
            QCOMPARE(QDir(folder).entryList({"*.partial", "*.tmp"}, QDir::Files | QDir::Hidden), QStringList());
        }();
        return run;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        m_fixtures = m_work.path() + "/fixtures";
        QVERIFY(makeFixtures(m_fixtures));
        // Beside the inputs: opening it would wait for a writer that never comes.
        QVERIFY(::mkfifo(QFile::encodeName(m_work.filePath("pipe.mtl")).constData(), 0600) == 0);
    }

    void hostileInputs_data()
    {
        // Noise after a header, sources cut short, bytes flipped inside a real binary file, malformed
        // embedded data (which Assimp would free twice), and scenes with nothing or too much in them.
        QTest::addColumn<QString>("source");
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("exitCode"); // -1: either, as long as the run is clean
        QTest::addColumn<QStringList>("mustReport");
        const QByteArray binaryFbx = QByteArray("Kaydara FBX Binary  \0\x1a\0", 23) + QByteArray("\xe8\x1c\0\0", 4);
        QTest::newRow("empty file") << "" << QByteArray() << "noise 0" << 1 << QStringList();
        QTest::newRow("noise") << "" << QByteArray() << "noise 4096" << 1 << QStringList();
        QTest::newRow("binary fbx header then noise") << "" << binaryFbx << "noise 8192" << 1 << QStringList();
        QTest::newRow("ascii fbx header then noise")
            << "" << QByteArray("; FBX 7.4.0 project file\nFBXHeaderExtension: {\n") << "noise 2048" << 1
            << QStringList();
        QTest::newRow("obj then noise") << "obj" << QByteArray("v 1 2 3\nf ") << "noise 4096" << 1 << QStringList();
        for (const char* name : {"static_scene.fbx", "skinned_takes.fbx", "embedded_escape.fbx"})
            QTest::newRow(name) << name << QByteArray() << "cut" << -1 << QStringList();
        const QString shared = qEnvironmentVariable("VELMORA_SHARED_MODELS");
        QTest::newRow("binary barbarian") << shared + "/ufbx/data/blender_293_barbarian_7400_binary.fbx" << QByteArray()
                                          << "cut" << -1 << QStringList();
        QTest::newRow("binary skinned takes")
            << shared + "/generated/a_skinned_two_takes.fbx" << QByteArray() << "flip" << -1 << QStringList();
        // One bit in the compressed vertex array: Assimp drops the mesh and carries on.
        QTest::newRow("one bit flipped in a 200k mesh")
            << shared + "/generated/e_highpoly_200k.fbx" << QByteArray() << "bit 1127155" << 1
            << QStringList {"1009", "2010", "\"HighPolyCube\""};
        QTest::newRow("malformed embedded data")
            << "embedded_escape.fbx" << QByteArray() << "embedded" << 1 << QStringList();
        QTest::newRow("zero-vertex mesh") << "zero_vertex.fbx" << QByteArray() << "none" << 0 << QStringList();
        // Valid files with nothing to draw are not damaged ones.
        QTest::newRow("only an empty mesh")
            << "empty_mesh.fbx" << QByteArray() << "none" << 0 << QStringList {"2010", "2007"};
        QTest::newRow("only a circle of edges") << shared + "/../fbx-reference/blender_279_edge_circle_7400_binary.fbx"
                                                << QByteArray() << "none" << 0 << QStringList {"2002", "2007"};
        QTest::newRow("lines only: an empty model")
            << "lines_only.obj" << QByteArray() << "none" << 0 << QStringList {"2002", "2007"};
        QTest::newRow("1200 nested nodes") << "deep_nesting.fbx" << QByteArray() << "none" << 1 << QStringList {"1003"};
        // What the encoder writes, the engine's reader reads (a chain one deeper than it takes was written).
        QTest::newRow("256 nested nodes") << "nested_256.fbx" << QByteArray() << "none" << 0 << QStringList();
        QTest::newRow("258 nested nodes") << "nested_258.fbx" << QByteArray() << "none" << 1 << QStringList {"1003"};
        QTest::newRow("no finite vertex")
            << "nan_everywhere.obj" << QByteArray() << "none" << 0 << QStringList {"2016", "2003", "2007"};
        QTest::newRow("material library is a FIFO")
            << "names_pipe.obj" << QByteArray() << "none" << 0 << QStringList {"2009"};
        QTest::newRow("one corner NaN") << "nan_corner.obj" << QByteArray() << "none" << 0 << QStringList {"2016"};
    }

    void hostileInputs()
    {
        QFETCH(QString, source);
        QFETCH(QByteArray, prefix);
        QFETCH(QString, damage);
        QFETCH(int, exitCode);
        QFETCH(QStringList, mustReport);
        const bool noise = damage.startsWith("noise");
        const QByteArray whole
            = noise ? prefix : readAll(QFileInfo(source).isAbsolute() ? source : m_fixtures + "/" + source);
        if (whole.isEmpty() && !noise)
            QSKIP("shared models not present");
        const double cuts[] = {0.01, 0.1, 0.33, 0.5, 0.77, 0.95, 0.999};
        const int rounds = damage == "none" || damage.startsWith("bit") ? 1 : noise || damage == "embedded" ? 3 : 7;
        QRandomGenerator random {uint(qHash(QString(QTest::currentDataTag())))};
        for (int round = 0; round < rounds; ++round) {
            QByteArray bytes = damage == "cut" ? whole.left(int(whole.size() * cuts[round])) : whole;
            for (int i = 0; noise && i < damage.mid(6).toInt(); ++i)
                bytes.append(char(random.bounded(256)));
            for (int i = 0; damage == "flip" && i < 16; ++i)
                bytes[int(random.bounded(27u, uint(bytes.size())))] = char(random.bounded(256));
            if (damage.startsWith("bit "))
                bytes[damage.mid(4).toInt()] = char(bytes[damage.mid(4).toInt()] ^ 2);
            if (damage == "embedded")
                bytes[whole.indexOf('"', whole.indexOf("Content: ,")) + 9] = "!\x80\""[round];
            BundleData b;
            const Run run = convertChecked(writeInput(bytes, source.endsWith("obj") ? "obj" : "fbx"), b);
            QVERIFY(exitCode < 0 || run.exitCode == exitCode);
            for (const QString& report : mustReport)
                QVERIFY2(report.startsWith('"') ? run.out.contains(report) : codes(run).contains(report),
                         qPrintable(report));
            QVERIFY(damage != "embedded" || codes(run).contains("1003") || codes(run).contains("1004"));
            // A clean run keeps its nodes, and its meshes unless it reported nothing to draw.
            QVERIFY(
                damage != "none" || exitCode != 0
                || (!b.nodes.empty() && (!source.endsWith(".obj") || b.meshes.empty() == mustReport.contains("2007"))));
        }
    }
};

QTEST_GUILESS_MAIN(TestBundleHostile)
#include "tst_bundle_hostile.moc"

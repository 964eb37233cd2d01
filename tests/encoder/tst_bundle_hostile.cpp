// Broken and hostile input: the encoder must end with exit code 0 or 1 and
// well-formed message lines, never crash or hang, write a complete bundle or
// none, and never write outside the model folder.

#include "EncoderTestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

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

    static void writeAll(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // Converts `input` into a fresh folder below the work folder and checks the
    // outcome that must hold for any input whatsoever.
    Run convertChecked(const QString& input, QString* folderOut = nullptr)
    {
        const QString folder = m_work.path() + QString("/out%1/model").arg(++m_runs);
        QDir().mkpath(folder);
        if (folderOut)
            *folderOut = folder;
        const QSet<QString> before = filesBelow(m_work.path());
        const Run run = convert(input, folder + "/model.gpb");
        [&] {
            QVERIFY2(!run.crashed, qPrintable(input + ": " + run.err));
            QVERIFY2(run.exitCode == 0 || run.exitCode == 1, qPrintable(input + QString(": exit %1").arg(run.exitCode)));
            QCOMPARE(badMessageLine(run.out, run.err), QString());
            const QString bundle = folder + "/model.gpb";
            if (run.exitCode == 1) {
                QVERIFY2(run.err.startsWith("Error (GP#"), qPrintable(input + ": no error line"));
            }
            if (run.exitCode == 0 || QFile::exists(bundle)) {
                bundletest::Bundle b;
                QVERIFY2(bundletest::readBundle(bundle.toStdString(), b), qPrintable(input + ": " + QString::fromStdString(b.problem)));
            }
            for (const QString& file : filesBelow(m_work.path()) - before)
                QVERIFY2(file.startsWith(folder + "/"), qPrintable("written outside the model folder: " + file));
            QCOMPARE(QDir(folder).entryList({"*.partial", "*.tmp"}, QDir::Files | QDir::Hidden), QStringList());
        }();
        return run;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        m_fixtures = m_work.path() + "/fixtures";
        QString problem;
        QVERIFY2(makeFixtures(m_fixtures, problem), qPrintable(problem));
    }

    void randomBytes_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("prefix");
        const QByteArray binaryFbx = QByteArray("Kaydara FBX Binary  \0\x1a\0", 23) + QByteArray("\xe8\x1c\0\0", 4);
        QTest::newRow("fbx noise") << "fbx" << 4096 << QByteArray();
        QTest::newRow("binary fbx header then noise") << "fbx" << 8192 << binaryFbx;
        QTest::newRow("binary fbx header only") << "fbx" << 0 << binaryFbx;
        QTest::newRow("ascii fbx header then noise") << "fbx" << 2048 << QByteArray("; FBX 7.4.0 project file\nFBXHeaderExtension: {\n");
        QTest::newRow("obj noise") << "obj" << 4096 << QByteArray("v 1 2 3\nf ");
        QTest::newRow("gltf noise") << "gltf" << 1024 << QByteArray("{\"asset\":{\"version\":\"2.0\"},\"meshes\":[");
        QTest::newRow("unknown extension") << "xyz" << 1024 << QByteArray();
        QTest::newRow("empty file") << "fbx" << 0 << QByteArray();
    }

    void randomBytes()
    {
        QFETCH(QString, extension);
        QFETCH(int, size);
        QFETCH(QByteArray, prefix);
        QRandomGenerator random(uint(size) * 31u + uint(prefix.size()));
        for (int round = 0; round < 3; ++round) {
            QByteArray bytes = prefix;
            for (int i = 0; i < size; ++i)
                bytes.append(char(random.bounded(256)));
            const QString path = m_work.path() + QString("/noise%1.%2").arg(m_runs).arg(extension);
            writeAll(path, bytes);
            const Run run = convertChecked(path);
            QCOMPARE(run.exitCode, 1);
            if (size == 0 && prefix.isEmpty())
                break;
        }
    }

    void truncatedFbx_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("ascii static scene") << "static_scene.fbx";
        QTest::newRow("ascii skinned takes") << "skinned_takes.fbx";
        QTest::newRow("ascii embedded texture") << "embedded_escape.fbx";
        const QString shared = qEnvironmentVariable("VELMORA_SHARED_MODELS");
        for (const char* name : {"generated/a_skinned_two_takes.fbx", "assimp/test/models/FBX/boxWithCompressedCTypeArray.FBX",
                                 "ufbx/data/blender_293_barbarian_7400_binary.fbx"}) {
            if (QFile::exists(shared + "/" + name))
                QTest::newRow(name) << shared + "/" + name;
        }
    }

    void truncatedFbx()
    {
        QFETCH(QString, path);
        const QString source = QFileInfo(path).isAbsolute() ? path : m_fixtures + "/" + path;
        const QByteArray whole = readAll(source);
        QVERIFY(!whole.isEmpty());
        for (double fraction : {0.01, 0.1, 0.33, 0.5, 0.77, 0.95, 0.999}) {
            const QString cut = m_work.path() + QString("/cut%1.fbx").arg(m_runs);
            writeAll(cut, whole.left(int(whole.size() * fraction)));
            convertChecked(cut);
        }
    }

    void flippedBytesInBinaryFbx()
    {
        const QString shared = qEnvironmentVariable("VELMORA_SHARED_MODELS");
        const QString source = shared + "/generated/a_skinned_two_takes.fbx";
        if (!QFile::exists(source))
            QSKIP("shared models not present");
        const QByteArray whole = readAll(source);
        QRandomGenerator random(7);
        for (int round = 0; round < 12; ++round) {
            QByteArray damaged = whole;
            for (int i = 0; i < 16; ++i)
                damaged[int(random.bounded(27u, uint(damaged.size())))] = char(random.bounded(256));
            const QString path = m_work.path() + QString("/flipped%1.fbx").arg(round);
            writeAll(path, damaged);
            convertChecked(path);
        }
    }

    void damagedEmbeddedDataIsRefused()
    {
        // Assimp frees a malformed embedded buffer twice; the file must be refused before it gets there.
        QByteArray text = readAll(m_fixtures + "/embedded_escape.fbx");
        const int content = text.indexOf("Content: ,");
        QVERIFY(content > 0);
        const int quote = text.indexOf('"', content);
        for (const char damage : {'!', '\x80', '"'}) {
            QByteArray damaged = text;
            damaged[quote + 9] = damage;
            const QString path = m_work.path() + QString("/damaged%1.fbx").arg(int(uchar(damage)));
            writeAll(path, damaged);
            QString folder;
            const Run run = convertChecked(path, &folder);
            QCOMPARE(run.exitCode, 1);
            QVERIFY(codes(run).contains("1003") || codes(run).contains("1004"));
            QVERIFY(!QFile::exists(folder + "/model.gpb"));
        }
    }

    void zeroVertexMeshIsLeftOut()
    {
        const Run run = convertChecked(m_fixtures + "/zero_vertex.fbx");
        QCOMPARE(run.exitCode, 0);
    }

    void linesOnlyGiveAWarningAndAnEmptyModel()
    {
        QString folder;
        const Run run = convertChecked(m_fixtures + "/lines_only.obj", &folder);
        QCOMPARE(run.exitCode, 0);
        QVERIFY(codes(run).contains("2002"));
        QVERIFY(codes(run).contains("2007"));
        bundletest::Bundle b;
        QVERIFY(bundletest::readBundle((folder + "/model.gpb").toStdString(), b));
        QVERIFY(b.meshes.empty());
        QVERIFY(!b.nodes.empty());
    }

    void deepNestingIsRefused()
    {
        QString folder;
        const Run run = convertChecked(m_fixtures + "/deep_nesting.fbx", &folder);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(codes(run).contains("1003"));
        QVERIFY(!QFile::exists(folder + "/model.gpb"));
    }

    void texturesThatClimbOutStayInside()
    {
        // The referenced file really exists two folders up from the model file,
        // so a careless copy would land beside it or overwrite it.
        const QString deep = m_work.path() + "/climb/a/b";
        QDir().mkpath(deep);
        QVERIFY(QFile::copy(m_fixtures + "/static_scene.fbx", deep + "/static_scene.fbx"));
        QVERIFY(QFile::copy(m_fixtures + "/embedded_escape.fbx", deep + "/embedded_escape.fbx"));
        const QByteArray png = QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR4nGP4z8AAAAMBAQDJ/pLvAAAAAElFTkSuQmCC");
        writeAll(m_work.path() + "/climb/escape.png", png);
        for (const char* name : {"static_scene.fbx", "embedded_escape.fbx"}) {
            QString folder;
            const Run run = convertChecked(deep + "/" + name, &folder);
            QCOMPARE(run.exitCode, 0);
        }
        QCOMPARE(readAll(m_work.path() + "/climb/escape.png"), png);
        QVERIFY(!QFile::exists(m_work.path() + "/x.png"));
    }
};

QTEST_GUILESS_MAIN(TestBundleHostile)
#include "tst_bundle_hostile.moc"

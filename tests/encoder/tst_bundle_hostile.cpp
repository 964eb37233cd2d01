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

    QString writeInput(const QByteArray& bytes, const QString& extension = "fbx")
    {
        const QString path = m_work.path() + QString("/input%1.%2").arg(m_runs).arg(extension);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return path;
    }

    // Converts `input` into a fresh folder and checks what must hold for any input whatsoever.
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
            QCOMPARE(badMessageLine(run), QString());
            QVERIFY2(run.exitCode == 0 || run.err.startsWith("Error (GP#"), qPrintable(input + ": no error line"));
            bundletest::Bundle b;
            QVERIFY2((run.exitCode != 0 && !QFile::exists(folder + "/model.gpb")) || bundletest::readBundle((folder + "/model.gpb").toStdString(), b),
                     qPrintable(input + ": " + QString::fromStdString(b.problem)));
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
        QVERIFY(makeFixtures(m_fixtures));
    }

    void damagedFiles_data()
    {
        // Noise after a header (always refused), sources cut short, bytes flipped inside a real binary file.
        QTest::addColumn<QString>("source");
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<QString>("damage");
        const QByteArray binaryFbx = QByteArray("Kaydara FBX Binary  \0\x1a\0", 23) + QByteArray("\xe8\x1c\0\0", 4);
        QTest::newRow("empty file") << "" << QByteArray() << "noise 0";
        QTest::newRow("noise") << "" << QByteArray() << "noise 4096";
        QTest::newRow("binary fbx header then noise") << "" << binaryFbx << "noise 8192";
        QTest::newRow("ascii fbx header then noise") << "" << QByteArray("; FBX 7.4.0 project file\nFBXHeaderExtension: {\n") << "noise 2048";
        QTest::newRow("obj then noise") << "obj" << QByteArray("v 1 2 3\nf ") << "noise 4096";
        for (const char* name : {"static_scene.fbx", "skinned_takes.fbx", "embedded_escape.fbx"})
            QTest::newRow(name) << name << QByteArray() << "cut";
        const QString shared = qEnvironmentVariable("VELMORA_SHARED_MODELS");
        QTest::newRow("binary barbarian") << shared + "/ufbx/data/blender_293_barbarian_7400_binary.fbx" << QByteArray() << "cut";
        QTest::newRow("binary skinned takes") << shared + "/generated/a_skinned_two_takes.fbx" << QByteArray() << "flip";
    }

    void damagedFiles()
    {
        QFETCH(QString, source);
        QFETCH(QByteArray, prefix);
        QFETCH(QString, damage);
        QRandomGenerator random(uint(qHash(QString(QTest::currentDataTag()))));
        if (damage.startsWith("noise")) {
            for (int round = 0; round < 3; ++round) {
                QByteArray bytes = prefix;
                for (int i = 0; i < damage.mid(6).toInt(); ++i)
                    bytes.append(char(random.bounded(256)));
                QCOMPARE(convertChecked(writeInput(bytes, source.isEmpty() ? "fbx" : source)).exitCode, 1);
            }
            return;
        }
        const QByteArray whole = readAll(QFileInfo(source).isAbsolute() ? source : m_fixtures + "/" + source);
        if (whole.isEmpty())
            QSKIP("shared models not present");
        for (double fraction : {0.01, 0.1, 0.33, 0.5, 0.77, 0.95, 0.999}) {
            QByteArray damaged = damage == "cut" ? whole.left(int(whole.size() * fraction)) : whole;
            for (int i = 0; damage == "flip" && i < 16; ++i)
                damaged[int(random.bounded(27u, uint(damaged.size())))] = char(random.bounded(256));
            convertChecked(writeInput(damaged));
        }
    }

    void damagedEmbeddedDataIsRefused()
    {
        // Assimp frees a malformed embedded buffer twice; the file must be refused before it gets there.
        const QByteArray text = readAll(m_fixtures + "/embedded_escape.fbx");
        const int quote = text.indexOf('"', text.indexOf("Content: ,"));
        QVERIFY(quote > 0);
        for (const char damage : {'!', '\x80', '"'}) {
            QByteArray damaged = text;
            damaged[quote + 9] = damage;
            QString folder;
            const Run run = convertChecked(writeInput(damaged), &folder);
            QVERIFY(run.exitCode == 1 && (codes(run).contains("1003") || codes(run).contains("1004")));
            QVERIFY(!QFile::exists(folder + "/model.gpb"));
        }
    }

    void degenerateScenes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("mustReport");
        QTest::newRow("zero-vertex mesh") << "zero_vertex.fbx" << 0 << QStringList();
        QTest::newRow("lines only: an empty model") << "lines_only.obj" << 0 << QStringList{"2002", "2007"};
        QTest::newRow("1200 nested nodes") << "deep_nesting.fbx" << 1 << QStringList{"1003"};
    }

    void degenerateScenes()
    {
        QFETCH(QString, file);
        QFETCH(int, exitCode);
        QFETCH(QStringList, mustReport);
        QString folder;
        const Run run = convertChecked(m_fixtures + "/" + file, &folder);
        QCOMPARE(run.exitCode, exitCode);
        for (const QString& code : mustReport)
            QVERIFY2(codes(run).contains(code), qPrintable(code));
        bundletest::Bundle b;
        QCOMPARE(bundletest::readBundle((folder + "/model.gpb").toStdString(), b), exitCode == 0);
        QVERIFY(exitCode != 0 || !b.nodes.empty());
        QVERIFY(!file.endsWith(".obj") || b.meshes.empty());
    }

    void texturesThatClimbOutStayInside()
    {
        // The referenced file really exists two folders up from the model file,
        // so a careless copy would land beside it or overwrite it.
        const QString deep = m_work.path() + "/climb/a/b";
        QDir().mkpath(deep);
        const QByteArray png = QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR4nGP4z8AAAAMBAQDJ/pLvAAAAAElFTkSuQmCC");
        QFile escape(m_work.path() + "/climb/escape.png");
        QVERIFY(escape.open(QIODevice::WriteOnly) && escape.write(png) == png.size());
        escape.close();
        for (const char* name : {"static_scene.fbx", "embedded_escape.fbx"}) {
            QVERIFY(QFile::copy(m_fixtures + "/" + name, deep + "/" + name));
            QCOMPARE(convertChecked(deep + "/" + name).exitCode, 0);
        }
        QCOMPARE(readAll(m_work.path() + "/climb/escape.png"), png);
        QVERIFY(!QFile::exists(m_work.path() + "/x.png"));
    }
};

QTEST_GUILESS_MAIN(TestBundleHostile)
#include "tst_bundle_hostile.moc"

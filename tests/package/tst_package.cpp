// The installed program, from two roads: "cmake --install" into a scratch
// prefix, and the Debian package built by scripts/package.sh and unpacked
// with dpkg-deb -x (never installed into the system). In both the program
// runs through the bin/ link, and the desktop files pass the desktop's own
// checkers.
#include "ModelFileTypes.h"

#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct Process {
    int exitCode = -1;
    QString out, err;
};

Process run(const QString& program, const QStringList& arguments, const QStringList& environment = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : environment)
        env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Process result;
    if (process.waitForFinished(1200000) && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QString buildDir() { return qEnvironmentVariable("VELMORA_BUILD_DIR"); }
QString sourceDir() { return qEnvironmentVariable("VELMORA_SOURCE_DIR"); }

const char kDesktopId[] = "com.velmora.Velmora3dEncoder";

} // namespace

class TestPackage : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;
    QString m_package;

    QString path(const QString& relative) const { return m_work.path() + '/' + relative; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        const Process packaged = run(sourceDir() + "/scripts/package.sh", {},
                                     {"BUILD_DIR=" + buildDir(), "OUT_DIR=" + path("deb"), "JOBS=2"});
        QVERIFY2(packaged.exitCode == 0, qPrintable(packaged.err));
        m_package = packaged.out.trimmed().section('\n', -1);
        QCOMPARE(QFileInfo(m_package).fileName(), QString("velmora3dencoder_1.7_amd64.deb"));
        QCOMPARE(run("dpkg-deb", {"-x", m_package, path("deb-root")}).exitCode, 0);
        const Process installed = run("cmake", {"--install", buildDir(), "--prefix", path("prefix/opt/velmora")});
        QVERIFY2(installed.exitCode == 0, qPrintable(installed.err));
    }

    void installedProgramRuns_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::newRow("cmake --install") << "prefix/opt/velmora";
        QTest::newRow("dpkg-deb -x") << "deb-root/usr";
    }

    void installedProgramRuns()
    {
        QFETCH(QString, prefix);
        const QString link = path(prefix + "/bin/velmora3dencoder");
        QCOMPARE(QFileInfo(link).symLinkTarget(), path(prefix + "/lib/velmora3dencoder/bin/Velmora3dEncoder"));
        // Relative, so that it holds wherever the tree is unpacked.
        QCOMPARE(run("readlink", {link}).out.trimmed(), QString("../lib/velmora3dencoder/bin/Velmora3dEncoder"));
        for (const char* file : {"tools/linux/model-encoder", "res/grid.material", "res/shaders/model.vert"})
            QVERIFY2(QFileInfo(path(prefix + "/lib/velmora3dencoder/") + file).isFile(), file);

        QCOMPARE(run(link, {"--version"}).out.trimmed(), QString("Velmora3dEncoder 1.7"));
        // The program finds its encoder and shaders through the link's real path.
        const QString vm3 = path(prefix + "-sample.vm3");
        const Process converted = run(link, {"--convert", sourceDir() + "/samples/velmora-sample.fbx", vm3});
        QVERIFY2(converted.exitCode == 0, qPrintable(converted.err));
        QVERIFY(run("unzip", {"-l", vm3}).out.contains("model/shaders/model.vert"));

        // The conversion renders its preview off screen, so file managers get a thumbnail at once.
        const QString thumb = path(prefix + "-thumb.png");
        const Process thumbnailed = run(link, {"--thumbnail", vm3, thumb, "48"});
        QVERIFY2(thumbnailed.exitCode == 0, qPrintable(thumbnailed.err));
        QCOMPARE(QImage(thumb).size(), QSize(48, 48));
        // Without a preview the installed program draws the model itself.
        QVERIFY(QFile::remove(thumb));
        QCOMPARE(run("zip", {"-q", "-d", vm3, "model/.meta/perspective.png"}).exitCode, 0);
        QCOMPARE(run(link, {"--thumbnail", vm3, thumb, "48"}).exitCode, 0);
        QCOMPARE(QImage(thumb).size(), QSize(48, 48));
        // A model file is drawn at the size asked, not a stored preview enlarged.
        QCOMPARE(run(link, {"--thumbnail", sourceDir() + "/samples/velmora-sample.fbx", thumb, "700"}).exitCode, 0);
        const QImage drawn(thumb);
        QCOMPARE(drawn.size(), QSize(700, 700));
        QVERIFY(drawn.pixelColor(350, 350) != QColor(Qt::white));
    }

    void packageMetadata()
    {
        // Dependencies come from the libraries the programs link, found by dpkg-shlibdeps.
        const QString depends = run("dpkg-deb", {"-f", m_package, "Depends"}).out;
        for (const char* library : {"libc6 (>=", "libqt5widgets5", "libassimp5", "libminizip1", "libqt5svg5"})
            QVERIFY2(depends.contains(library), qPrintable(depends));
        const Process lintian = run("lintian", {"--tag-display-limit", "0", m_package});
        QVERIFY2(lintian.exitCode >= 0 && !lintian.out.contains("E: "), qPrintable(lintian.out + lintian.err));
    }

    void desktopIntegration()
    {
        const QString share = path("deb-root/usr/share/");
        const QString desktop = share + "applications/" + kDesktopId + ".desktop";
        const Process validated = run("desktop-file-validate", {desktop});
        QVERIFY2(validated.exitCode == 0 && validated.out.isEmpty(), qPrintable(validated.out));
        QVERIFY(QFileInfo(share + "icons/hicolor/scalable/apps/" + kDesktopId + ".svg").isFile());

        // Every format the program opens is offered to it by the desktop.
        QFile entry(desktop);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString mimeLine = QString(entry.readAll()).section("\nMimeType=", 1).section('\n', 0, 0);
        const QStringList offered = mimeLine.split(';', Qt::SkipEmptyParts);
        for (const ModelFileTypes::Format& format : ModelFileTypes::formats())
            QVERIFY2(offered.contains(format.mimeType), format.mimeType);

        QFile xml(share + "mime/packages/" + kDesktopId + ".xml");
        QVERIFY(xml.open(QIODevice::ReadOnly));
        QXmlStreamReader reader(&xml);
        while (!reader.atEnd())
            reader.readNext();
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
        // The desktop's own tool builds its database from it, vm3 as a kind of zip.
        QVERIFY(QDir().mkpath(path("mime/packages")));
        QVERIFY(QFile::copy(xml.fileName(), path("mime/packages/velmora.xml")));
        const Process updated = run("update-mime-database", {path("mime")});
        QVERIFY2(updated.exitCode == 0, qPrintable(updated.err));
        QFile vm3Type(path("mime/application/x-velmora-vm3.xml"));
        QVERIFY(vm3Type.open(QIODevice::ReadOnly));
        QVERIFY(vm3Type.readAll().contains("<sub-class-of type=\"application/zip\"/>"));

        const QSettings thumbnailer(share + "thumbnailers/" + kDesktopId + ".thumbnailer", QSettings::IniFormat);
        QCOMPARE(thumbnailer.value("Thumbnailer Entry/Exec").toString(),
                 QString("velmora3dencoder --thumbnail %i %o %s"));
        QVERIFY(thumbnailer.value("Thumbnailer Entry/MimeType").toString().startsWith("application/x-velmora-vm3"));
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"

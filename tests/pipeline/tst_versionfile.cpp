// The container's version file: exact bytes written, and the error text each
// kind of broken file produces.

#include "PipelineTestSupport.h"

#include "VersionFile.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

namespace {
const QString kPrefix = QStringLiteral("Error reading version/format from the vm3 file: ");
const QString kSuffix = QStringLiteral("Please create the vm3-file again.");
}

class VersionFileTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_scratch;

private slots:
    void writesExactBytes_data()
    {
        QTest::addColumn<QString>("folderSuffix");
        QTest::newRow("with trailing slash") << QStringLiteral("/a/");
        QTest::newRow("without trailing slash") << QStringLiteral("/b");
    }

    void writesExactBytes()
    {
        QFETCH(QString, folderSuffix);
        const QString folder = m_scratch.path() + folderSuffix;
        QDir().mkpath(folder);
        QVERIFY(writeFile(folder + "/version", QByteArray(200, 'x')));  // replaced, not appended to
        QVERIFY(VersionFile::write(folder));
        QCOMPARE(readFile(QDir(folder).filePath("version")), QByteArray("{\"encoderversion\":\"1.7\",\"format\":4}\n"));
        QCOMPARE(VersionFile::contents(), QByteArray("{\"encoderversion\":\"1.7\",\"format\":4}\n"));
    }

    void writeFailsWithoutFolder()
    {
        QVERIFY(!VersionFile::write(m_scratch.path() + "/does/not/exist/"));
    }

    void readsWhatItWrites()
    {
        const QString folder = m_scratch.path() + "/roundtrip";
        QDir().mkpath(folder);
        QVERIFY(VersionFile::write(folder + "/"));
        QString error = QStringLiteral("untouched");
        int format = 0;
        QString version;
        QVERIFY(VersionFile::read(folder, &error, &format, &version));
        QCOMPARE(format, 4);
        QCOMPARE(version, QStringLiteral("1.7"));
    }

    void readsValidVariants_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("version");
        QTest::newRow("keys in other order") << QByteArray("{\"format\":3,\"encoderversion\":\"1.5\"}") << 3 << "1.5";
        QTest::newRow("spread over lines, CRLF") << QByteArray("{\r\n \"encoderversion\": \"2.0\",\r\n \"format\": 5\r\n}\r\n")
                                                << 5 << "2.0";
        QTest::newRow("comments and extra keys") << QByteArray("/* made by hand */\n{\"encoderversion\":\"\",\"format\":-2,\"x\":[1]}")
                                                 << -2 << "";
        QTest::newRow("non-ASCII version") << QByteArray("{\"encoderversion\":\"1.7 \xc3\xa9t\xc3\xa9\",\"format\":4}") << 4
                                           << QString::fromUtf8("1.7 \xc3\xa9t\xc3\xa9");
    }

    void readsValidVariants()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, format);
        QFETCH(QString, version);
        const QString folder = m_scratch.path() + "/valid";
        QVERIFY(writeFile(folder + "/version", contents));
        QString error;
        int readFormat = 0;
        QString readVersion;
        QVERIFY2(VersionFile::read(folder, &error, &readFormat, &readVersion), qPrintable(error));
        QCOMPARE(readFormat, format);
        QCOMPARE(readVersion, version);
    }

    void brokenFilesGiveTheirText_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("writeFile");
        QTest::addColumn<QString>("expected");

        const QString missing = kPrefix + "Version file missing. " + kSuffix;
        const QString parse = kPrefix + "Json parsing error. " + kSuffix;
        const QString notObject = kPrefix + "Json parsing error " + kSuffix;
        const QString badVersion = kPrefix + "Json parsing error on file version. " + kSuffix;
        const QString badFormat = kPrefix + "Json parsing error on file format. " + kSuffix;

        QTest::newRow("missing") << QByteArray() << false << missing;
        QTest::newRow("empty") << QByteArray() << true << parse;
        QTest::newRow("truncated") << QByteArray("{\"encoderversion\":\"1.7\",\"for") << true << parse;
        QTest::newRow("binary garbage") << QByteArray("\x89PNG\r\n\x1a\n\0\0", 10) << true << parse;
        QTest::newRow("array root") << QByteArray("[\"1.7\",4]") << true << notObject;
        QTest::newRow("number root") << QByteArray("4") << true << notObject;
        QTest::newRow("version missing") << QByteArray("{\"format\":4}") << true << badVersion;
        QTest::newRow("version is a number") << QByteArray("{\"encoderversion\":2,\"format\":4}") << true << badVersion;
        QTest::newRow("version is null") << QByteArray("{\"encoderversion\":null,\"format\":4}") << true << badVersion;
        QTest::newRow("format missing") << QByteArray("{\"encoderversion\":\"1.7\"}") << true << badFormat;
        QTest::newRow("format is real") << QByteArray("{\"encoderversion\":\"1.7\",\"format\":4.0}") << true << badFormat;
        QTest::newRow("format is string") << QByteArray("{\"encoderversion\":\"1.7\",\"format\":\"4\"}") << true << badFormat;
        QTest::newRow("format is bool") << QByteArray("{\"encoderversion\":\"1.7\",\"format\":true}") << true << badFormat;
        QTest::newRow("format beyond int") << QByteArray("{\"encoderversion\":\"1.7\",\"format\":4294967300}") << true
                                           << badFormat;
        QTest::newRow("format beyond int64") << QByteArray("{\"encoderversion\":\"1.7\",\"format\":18446744073709551615}")
                                             << true << badFormat;
        QTest::newRow("deeply nested") << QByteArray(100000, '[') << true << parse;
        QTest::newRow("huge file") << QByteArray("{\"encoderversion\":\"") + QByteArray(200000, 'a') + "\",\"format\":4}"
                                   << true << parse;
    }

    void brokenFilesGiveTheirText()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, writeFile);
        QFETCH(QString, expected);
        QTemporaryDir folder;
        if (writeFile)
            QVERIFY(testsupport::writeFile(folder.path() + "/version", contents));
        QString error;
        int format = 7;
        QString version;
        QVERIFY(!VersionFile::read(folder.path(), &error, &format, &version));
        QCOMPARE(error, expected);
        QCOMPARE(format, -1);
    }

    void folderInsteadOfFileIsMissing()
    {
        QTemporaryDir folder;
        QDir().mkpath(folder.path() + "/version");
        QString error;
        int format = 0;
        QVERIFY(!VersionFile::read(folder.path(), &error, &format, nullptr));
        QCOMPARE(error, kPrefix + "Version file missing. " + kSuffix);
    }

    void tooNewText()
    {
        QCOMPARE(VersionFile::tooNewText(),
                 QStringLiteral("VM3 file format version not supported. Please update your Application Velmora3dEncoder"));
        QCOMPARE(VersionFile::currentFormat, 4);
    }
};

QTEST_GUILESS_MAIN(VersionFileTest)
#include "tst_versionfile.moc"

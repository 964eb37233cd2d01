#include "OsInfoService_Linux.h"
#include "WindowsVersionText.h"

#include <QtTest> // and with it all of QtCore

// The operating-system information service: the os-release parser behind our
// Linux implementation, and the Windows naming rules, which need no Windows
// call and are checked with the numbers Windows would report.
class OsInfoTest : public QObject {
    Q_OBJECT
private slots:
    void distributionFromOsRelease_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("expected");
        QTest::newRow("debian") << QByteArray("PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                                              "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\nID=debian\n")
                                << "Debian GNU/Linux 12 (bookworm)";
        QTest::newRow("name and version") << QByteArray("PRETTY_NAME=\nNAME=Alpine\nVERSION=3.19\n") << "Alpine 3.19";
        QTest::newRow("quotes, escapes, comments, CRLF")
            << QByteArray("# a comment\r\n\r\n  NAME='Single Quoted'  \r\n"
                          "VERSION=\"with \\\"escaped\\\" quotes and \\\\ backslash\"\r\n")
            << "Single Quoted with \"escaped\" quotes and \\ backslash";
        QTest::newRow("utf-8") << QByteArray("NAME=\"Gr\xc3\xbc\xc3\x9f"
                                             "e\"\n")
                               << QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                                                    "e");
        QTest::newRow("binary") << QByteArray("\x00\x01\xff\xfe=\x00\n\x7f", 9) << "Linux";
        QTest::newRow("bad keys") << QByteArray("PRETTY NAME=x\n=y\nPRETTY-NAME=z\n") << "Linux";
        QTest::newRow("unterminated quote, text after quote")
            << QByteArray("PRETTY_NAME=\"Never closed\nNAME=\"A\" rm -rf /\n") << "Linux";
        QTest::newRow("control characters")
            << QByteArray("NAME=\"Evil\\\x1b[31m\tOS\x07\rUser-Agent: x\"\n") << "Evil[31mOSUser-Agent: x";
        QTest::newRow("huge") << (QByteArray("NAME=Small\n") + QByteArray(8 * 1024 * 1024, 'x')) << "Small";
    }

    void distributionFromOsRelease()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, expected);
        const QMap<QString, QString> values = OsInfoService_Linux::parseOsRelease(contents);
        QCOMPARE(OsInfoService_Linux::distributionName(values), expected);
        for (const QString& value : values)
            QVERIFY(
                std::none_of(value.begin(), value.end(), [](QChar c) { return c.category() == QChar::Other_Control; }));
    }

    void windowsVersionText()
    {
        using W = WindowsVersionInfo;
        const QList<QPair<W, QString>> rows = {
            {{true, true, 6, 1, 7601, W::Workstation, 0, "Service Pack 1", W::ArchitectureX64, 48, false},
             "Microsoft Windows 7 Professional Service Pack 1 (build 7601), 64-bit"},
            {{true, true, 10, 0, 21999, W::Workstation, 0, "", W::ArchitectureX64, 48, false},
             "Microsoft Windows 10 Professional (build 21999), 64-bit"},
            {{true, true, 10, 0, 22000, W::Workstation, 0, "", 12, 48, false},
             "Microsoft Windows 11 Professional (build 22000)"},
            {{true, true, 11, 5, 30000, W::Workstation, 0, "", W::ArchitectureX64, 0, false},
             "Microsoft (build 30000), 64-bit"},
            {{true, true, 5, 2, 3790, W::Server, W::SuiteEnterprise, "Service Pack 2", W::ArchitectureX86, 0, true},
             "Microsoft Windows Server 2003 R2, Enterprise Edition Service Pack 2 (build 3790)"},
            {{true, true, 5, 1, 2600, W::Workstation, W::SuitePersonal, "Service Pack 3", W::ArchitectureX86, 0, false},
             "Microsoft Windows XP Home Edition Service Pack 3 (build 2600)"},
            // A failed query names nothing.
            {{false, true, 6, 1, 7601, W::Workstation, 0, "", W::ArchitectureX64, 48, false}, ""},
        };
        for (const auto& row : rows)
            QCOMPARE(::windowsVersionText(row.first), row.second);
    }
};

QTEST_MAIN(OsInfoTest)
#include "tst_osinfo.moc"

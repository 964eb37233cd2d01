#include "OsInfoService.h"
#include "OsInfoService_Linux.h"
#include "WindowsVersionText.h"

#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>
#include <QtTest>

#include <memory>

// The operating-system information service: our Linux implementation, the
// os-release parser behind it, and the Windows naming rules, which need no
// Windows call and are checked here with the numbers Windows would report.
class OsInfoTest : public QObject {
    Q_OBJECT
private slots:
    void parsesOsRelease();
    void osReleaseHostileInput_data();
    void osReleaseHostileInput();
    void distributionNameFallbacks_data();
    void distributionNameFallbacks();
    void composesVersionText();
    void linuxServiceDescribesThisMachine();
    void registrationFollowsTheServiceLifetime();

    void windowsVersionText_data();
    void windowsVersionText();
    void windowsEditionTexts();
};

void OsInfoTest::parsesOsRelease()
{
    const QByteArray debian = "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                              "NAME=\"Debian GNU/Linux\"\n"
                              "VERSION_ID=\"12\"\n"
                              "VERSION=\"12 (bookworm)\"\n"
                              "VERSION_CODENAME=bookworm\n"
                              "ID=debian\n"
                              "HOME_URL=\"https://www.debian.org/\"\n";
    const QMap<QString, QString> values = OsInfoService_Linux::parseOsRelease(debian);
    QCOMPARE(values.value("PRETTY_NAME"), QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
    QCOMPARE(values.value("VERSION_CODENAME"), QStringLiteral("bookworm"));
    QCOMPARE(values.value("HOME_URL"), QStringLiteral("https://www.debian.org/"));
    QCOMPARE(values.size(), 7);

    const QByteArray tricky = "# a comment\r\n"
                              "\r\n"
                              "  NAME='Single Quoted'  \r\n"
                              "VERSION=\"with \\\"escaped\\\" quotes and \\\\ backslash\"\r\n"
                              "ID=\r\n"
                              "PRETTY_NAME=\"Ünïcödé Linux\"\n";
    const QMap<QString, QString> parsed = OsInfoService_Linux::parseOsRelease(tricky);
    QCOMPARE(parsed.value("NAME"), QStringLiteral("Single Quoted"));
    QCOMPARE(parsed.value("VERSION"), QStringLiteral("with \"escaped\" quotes and \\ backslash"));
    QVERIFY(parsed.contains("ID"));
    QCOMPARE(parsed.value("ID"), QString());
    QCOMPARE(parsed.value("PRETTY_NAME"), QString::fromUtf8("Ünïcödé Linux"));
}

void OsInfoTest::osReleaseHostileInput_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("prettyName");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("binary") << QByteArray("\x00\x01\xff\xfe=\x00\n\x7f", 9) << QString();
    QTest::newRow("unterminated quote") << QByteArray("PRETTY_NAME=\"Never closed\n") << QString();
    QTest::newRow("text after quote") << QByteArray("PRETTY_NAME=\"A\" rm -rf /\n") << QString();
    QTest::newRow("bad key") << QByteArray("PRETTY NAME=x\n=y\nPRETTY-NAME=z\n") << QString();
    QTest::newRow("control characters") << QByteArray("PRETTY_NAME=\"Evil\\\x1b[31m\tOS\x07\"\n")
                                        << QStringLiteral("Evil[31mOS");
    QTest::newRow("carriage return injection") << QByteArray("PRETTY_NAME=\"A\rUser-Agent: x\"\n")
                                               << QStringLiteral("AUser-Agent: x");
    QTest::newRow("last one wins") << QByteArray("PRETTY_NAME=first\nPRETTY_NAME=second\n") << QStringLiteral("second");
    QTest::newRow("huge") << (QByteArray("PRETTY_NAME=Small\n") + QByteArray(8 * 1024 * 1024, 'x')) << "Small";
}

void OsInfoTest::osReleaseHostileInput()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, prettyName);
    const QMap<QString, QString> values = OsInfoService_Linux::parseOsRelease(contents);
    QCOMPARE(values.value("PRETTY_NAME"), prettyName);
    for (const QString& value : values) {
        for (const QChar c : value)
            QVERIFY(c.category() != QChar::Other_Control);
    }
}

void OsInfoTest::distributionNameFallbacks_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("expected");
    QTest::newRow("pretty") << QByteArray("PRETTY_NAME=\"Fedora Linux 39\"\nNAME=Fedora\nVERSION=39\n")
                            << "Fedora Linux 39";
    QTest::newRow("name and version") << QByteArray("NAME=Alpine\nVERSION=3.19\n") << "Alpine 3.19";
    QTest::newRow("name only") << QByteArray("NAME=Gentoo\n") << "Gentoo";
    QTest::newRow("empty pretty") << QByteArray("PRETTY_NAME=\nNAME=Arch\n") << "Arch";
    QTest::newRow("nothing") << QByteArray() << "Linux";
}

void OsInfoTest::distributionNameFallbacks()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, expected);
    QCOMPARE(OsInfoService_Linux::distributionName(OsInfoService_Linux::parseOsRelease(contents)), expected);
}

void OsInfoTest::composesVersionText()
{
    QCOMPARE(OsInfoService_Linux::composeVersionText("Debian GNU/Linux 12 (bookworm)", "6.1.0-18-amd64", "x86_64"),
             QStringLiteral("Debian GNU/Linux 12 (bookworm), kernel 6.1.0-18-amd64, x86_64"));
    QCOMPARE(OsInfoService_Linux::composeVersionText("Alpine 3.19", QString(), "aarch64"),
             QStringLiteral("Alpine 3.19, aarch64"));
    QCOMPARE(OsInfoService_Linux::composeVersionText(QString(), QString(), QString()), QStringLiteral("Linux"));
}

void OsInfoTest::linuxServiceDescribesThisMachine()
{
    std::unique_ptr<OsInfoService> service(OsInfoService::createForPlatform());
    QVERIFY(dynamic_cast<OsInfoService_Linux*>(service.get()));
    QCOMPARE(service->osName(), QStringLiteral("Linux"));

    const QString text = service->versionText();
    QVERIFY2(text.contains(QStringLiteral(", kernel ") + QSysInfo::kernelVersion()), qPrintable(text));
    QVERIFY2(text.endsWith(QStringLiteral(", ") + QSysInfo::currentCpuArchitecture())
                 || text.endsWith(QStringLiteral("x86_64")) || text.endsWith(QStringLiteral("aarch64")),
             qPrintable(text));
    QFile osRelease(QStringLiteral("/etc/os-release"));
    if (osRelease.open(QIODevice::ReadOnly)) {
        const QString distribution = OsInfoService_Linux::distributionName(
            OsInfoService_Linux::parseOsRelease(osRelease.readAll()));
        QVERIFY2(text.startsWith(distribution + QStringLiteral(", kernel ")), qPrintable(text));
    }

    // Either empty (no network card) or a MAC address, never a loopback's zeros.
    const QString address = service->hardwareAddress();
    if (!address.isEmpty()) {
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{2}(:[0-9A-F]{2})+$")).match(address).hasMatch(),
                 qPrintable(address));
    }
}

void OsInfoTest::registrationFollowsTheServiceLifetime()
{
    QCOMPARE(OsInfoService::instance(), nullptr);
    OsInfoService* service = OsInfoService::createForPlatform();
    OsInfoService::setInstance(service);
    QCOMPARE(OsInfoService::instance(), service);
    // Another service going away leaves the registration alone...
    delete OsInfoService::createForPlatform();
    QCOMPARE(OsInfoService::instance(), service);
    // ...the registered one takes it along.
    delete service;
    QCOMPARE(OsInfoService::instance(), nullptr);
}

void OsInfoTest::windowsVersionText_data()
{
    using W = WindowsVersionInfo;
    QTest::addColumn<unsigned>("major");
    QTest::addColumn<unsigned>("minor");
    QTest::addColumn<unsigned>("build");
    QTest::addColumn<unsigned>("productType");
    QTest::addColumn<unsigned>("suiteMask");
    QTest::addColumn<QString>("servicePack");
    QTest::addColumn<unsigned>("architecture");
    QTest::addColumn<unsigned>("productInfo");
    QTest::addColumn<bool>("serverR2");
    QTest::addColumn<QString>("expected");

    auto row = [](const char* name, unsigned major, unsigned minor, unsigned build, unsigned type, unsigned suite,
                  const char* sp, unsigned arch, unsigned product, bool r2, const char* expected) {
        QTest::newRow(name) << major << minor << build << type << suite << QString::fromLatin1(sp) << arch << product
                            << r2 << QString::fromLatin1(expected);
    };
    row("7 professional sp1 x64", 6, 1, 7601, W::Workstation, 0, "Service Pack 1", W::ArchitectureX64, 48, false,
        "Microsoft Windows 7 Professional Service Pack 1 (build 7601), 64-bit");
    row("7 ultimate x86", 6, 1, 7600, W::Workstation, 0, "", W::ArchitectureX86, 1, false,
        "Microsoft Windows 7 Ultimate Edition (build 7600), 32-bit");
    row("vista home premium sp2", 6, 0, 6002, W::Workstation, 0, "Service Pack 2", W::ArchitectureX86, 3, false,
        "Microsoft Windows Vista Home Premium Edition Service Pack 2 (build 6002), 32-bit");
    row("server 2008 core", 6, 0, 6001, W::Server, 0, "Service Pack 1", W::ArchitectureX64, 13, false,
        "Microsoft Windows Server 2008 Standard Edition (core installation) Service Pack 1 (build 6001), 64-bit");
    row("server 2008 r2 datacenter", 6, 1, 7601, W::DomainController, 0, "", W::ArchitectureX64, 8, false,
        "Microsoft Windows Server 2008 R2 Datacenter Edition (build 7601), 64-bit");
    row("8 unknown product", 6, 2, 9200, W::Workstation, 0, "", W::ArchitectureX64, 101, false,
        "Microsoft Windows 8 (build 9200), 64-bit");
    row("server 2012 itanium", 6, 2, 9200, W::Server, 0, "", W::ArchitectureItanium, 15, false,
        "Microsoft Windows Server 2012 Enterprise Edition for Itanium-based Systems (build 9200)");
    row("8.1", 6, 3, 9600, W::Workstation, 0, "", W::ArchitectureX64, 48, false,
        "Microsoft Windows 8.1 Professional (build 9600), 64-bit");
    row("10 pro", 10, 0, 19045, W::Workstation, 0, "", W::ArchitectureX64, 48, false,
        "Microsoft Windows 10 Professional (build 19045), 64-bit");
    row("11 pro", 10, 0, 22631, W::Workstation, 0, "", W::ArchitectureX64, 48, false,
        "Microsoft Windows 11 Professional (build 22631), 64-bit");
    row("server 2019", 10, 0, 17763, W::Server, 0, "", W::ArchitectureX64, 7, false,
        "Microsoft Windows Server 2019 Standard Edition (build 17763), 64-bit");
    row("future version", 11, 5, 30000, W::Workstation, 0, "", W::ArchitectureX64, 48, false,
        "Microsoft Professional (build 30000), 64-bit");
    row("future version no product", 11, 5, 30000, W::Workstation, 0, "", W::ArchitectureX64, 0, false,
        "Microsoft (build 30000), 64-bit");
    row("2003 r2 enterprise", 5, 2, 3790, W::Server, W::SuiteEnterprise, "Service Pack 2", W::ArchitectureX86, 0, true,
        "Microsoft Windows Server 2003 R2, Enterprise Edition Service Pack 2 (build 3790)");
    row("storage server", 5, 2, 3790, W::Server, W::SuiteStorageServer, "", W::ArchitectureX86, 0, false,
        "Microsoft Windows Storage Server 2003, Standard Edition (build 3790)");
    row("home server", 5, 2, 3790, W::Server, W::SuiteHomeServer, "", W::ArchitectureX86, 0, false,
        "Microsoft Windows Home Server, Standard Edition (build 3790)");
    row("xp x64", 5, 2, 3790, W::Workstation, 0, "Service Pack 2", W::ArchitectureX64, 0, false,
        "Microsoft Windows XP Professional x64 Edition Service Pack 2 (build 3790)");
    row("2003 itanium datacenter", 5, 2, 3790, W::Server, W::SuiteDatacenter, "", W::ArchitectureItanium, 0, false,
        "Microsoft Windows Server 2003, Datacenter Edition for Itanium-based Systems (build 3790)");
    row("2003 itanium plain", 5, 2, 3790, W::Server, 0, "", W::ArchitectureItanium, 0, false,
        "Microsoft Windows Server 2003 (build 3790)");
    row("2003 x64 standard", 5, 2, 3790, W::Server, 0, "", W::ArchitectureX64, 0, false,
        "Microsoft Windows Server 2003, Standard x64 Edition (build 3790)");
    row("2003 x64 datacenter", 5, 2, 3790, W::Server, W::SuiteDatacenter | W::SuiteEnterprise, "",
        W::ArchitectureX64, 0, false, "Microsoft Windows Server 2003, Datacenter x64 Edition (build 3790)");
    row("2003 compute cluster", 5, 2, 3790, W::Server, W::SuiteComputeServer | W::SuiteDatacenter, "",
        W::ArchitectureX86, 0, false, "Microsoft Windows Server 2003, Compute Cluster Edition (build 3790)");
    row("2003 web", 5, 2, 3790, W::Server, W::SuiteBlade, "", W::ArchitectureX86, 0, false,
        "Microsoft Windows Server 2003, Web Edition (build 3790)");
    row("xp home sp3", 5, 1, 2600, W::Workstation, W::SuitePersonal, "Service Pack 3", W::ArchitectureX86, 0, false,
        "Microsoft Windows XP Home Edition Service Pack 3 (build 2600)");
    row("xp professional", 5, 1, 2600, W::Workstation, 0, "", W::ArchitectureX86, 0, false,
        "Microsoft Windows XP Professional (build 2600)");
    row("2000 professional", 5, 0, 2195, W::Workstation, 0, "Service Pack 4", W::ArchitectureX86, 0, false,
        "Microsoft Windows 2000 Professional Service Pack 4 (build 2195)");
    row("2000 advanced server", 5, 0, 2195, W::Server, W::SuiteEnterprise, "", W::ArchitectureX86, 0, false,
        "Microsoft Windows 2000 Advanced Server (build 2195)");
    row("2000 datacenter", 5, 0, 2195, W::Server, W::SuiteDatacenter | W::SuiteEnterprise, "", W::ArchitectureX86, 0,
        false, "Microsoft Windows 2000 Datacenter Server (build 2195)");
    row("2000 server", 5, 0, 2195, W::DomainController, 0, "", W::ArchitectureX86, 0, false,
        "Microsoft Windows 2000 Server (build 2195)");
    row("nt 4", 4, 0, 1381, W::Workstation, 0, "", W::ArchitectureX86, 0, false, "");
    row("arm64 has no bitness", 10, 0, 22631, W::Workstation, 0, "", 12, 48, false,
        "Microsoft Windows 11 Professional (build 22631)");
}

void OsInfoTest::windowsVersionText()
{
    WindowsVersionInfo info;
    info.queried = true;
    QFETCH(unsigned, major);
    QFETCH(unsigned, minor);
    QFETCH(unsigned, build);
    QFETCH(unsigned, productType);
    QFETCH(unsigned, suiteMask);
    QFETCH(QString, servicePack);
    QFETCH(unsigned, architecture);
    QFETCH(unsigned, productInfo);
    QFETCH(bool, serverR2);
    QFETCH(QString, expected);
    info.major = major;
    info.minor = minor;
    info.build = build;
    info.productType = productType;
    info.suiteMask = suiteMask;
    info.servicePack = servicePack;
    info.architecture = architecture;
    info.productInfo = productInfo;
    info.serverR2 = serverR2;
    QCOMPARE(::windowsVersionText(info), expected);

    // A failed query, or a system outside the NT family, names nothing.
    info.queried = false;
    QCOMPARE(::windowsVersionText(info), QString());
    info.queried = true;
    info.ntPlatform = false;
    QCOMPARE(::windowsVersionText(info), QString());
}

void OsInfoTest::windowsEditionTexts()
{
    const QList<QPair<unsigned, const char*>> known = {
        {1, "Ultimate Edition"}, {2, "Home Basic Edition"}, {3, "Home Premium Edition"}, {4, "Enterprise Edition"},
        {6, "Business Edition"}, {7, "Standard Edition"}, {8, "Datacenter Edition"}, {9, "Small Business Server"},
        {10, "Enterprise Edition"}, {11, "Starter Edition"}, {12, "Datacenter Edition (core installation)"},
        {13, "Standard Edition (core installation)"}, {14, "Enterprise Edition (core installation)"},
        {15, "Enterprise Edition for Itanium-based Systems"}, {17, "Web Server Edition"},
        {18, "Cluster Server Edition"}, {25, "Small Business Server Premium Edition"}, {48, "Professional"}};
    for (const auto& entry : known)
        QCOMPARE(windowsEditionText(entry.first), QString::fromLatin1(entry.second));
    for (unsigned unknown : {0u, 5u, 16u, 19u, 24u, 26u, 47u, 49u, 0xABCDu, 0xFFFFFFFFu})
        QCOMPARE(windowsEditionText(unknown), QString());
}

QTEST_MAIN(OsInfoTest)
#include "tst_osinfo.moc"

#include "WindowsVersionText.h"

namespace {

bool has(const WindowsVersionInfo& info, unsigned suite) { return (info.suiteMask & suite) != 0; }

bool isWorkstation(const WindowsVersionInfo& info) { return info.productType == WindowsVersionInfo::Workstation; }

QString vistaFamilyName(const WindowsVersionInfo& info)
{
    const bool workstation = isWorkstation(info);
    if (info.major == 6) {
        switch (info.minor) {
        case 0:
            return workstation ? QStringLiteral("Windows Vista ") : QStringLiteral("Windows Server 2008 ");
        case 1:
            return workstation ? QStringLiteral("Windows 7 ") : QStringLiteral("Windows Server 2008 R2 ");
        case 2:
            return workstation ? QStringLiteral("Windows 8 ") : QStringLiteral("Windows Server 2012 ");
        case 3:
            return workstation ? QStringLiteral("Windows 8.1 ") : QStringLiteral("Windows Server 2012 R2 ");
        default:
            return QString();
        }
    }
    if (info.major == 10 && info.minor == 0) {
        if (workstation)
            return info.build >= 22000 ? QStringLiteral("Windows 11 ") : QStringLiteral("Windows 10 ");
        if (info.build >= 20348)
            return QStringLiteral("Windows Server 2022 ");
        if (info.build >= 17763)
            return QStringLiteral("Windows Server 2019 ");
        return QStringLiteral("Windows Server 2016 ");
    }
    return QString();
}

QString server2003Name(const WindowsVersionInfo& info)
{
    QString text;
    if (info.serverR2)
        text = QStringLiteral("Windows Server 2003 R2, ");
    else if (has(info, WindowsVersionInfo::SuiteStorageServer))
        text = QStringLiteral("Windows Storage Server 2003, ");
    else if (has(info, WindowsVersionInfo::SuiteHomeServer))
        text = QStringLiteral("Windows Home Server, ");
    else if (isWorkstation(info) && info.architecture == WindowsVersionInfo::ArchitectureX64)
        text = QStringLiteral("Windows XP Professional x64 Edition");
    else
        text = QStringLiteral("Windows Server 2003, ");

    if (isWorkstation(info))
        return text;
    if (info.architecture == WindowsVersionInfo::ArchitectureItanium) {
        if (has(info, WindowsVersionInfo::SuiteDatacenter))
            text += QStringLiteral("Datacenter Edition for Itanium-based Systems");
        else if (has(info, WindowsVersionInfo::SuiteEnterprise))
            text += QStringLiteral("Enterprise Edition for Itanium-based Systems");
    } else if (info.architecture == WindowsVersionInfo::ArchitectureX64) {
        if (has(info, WindowsVersionInfo::SuiteDatacenter))
            text += QStringLiteral("Datacenter x64 Edition");
        else if (has(info, WindowsVersionInfo::SuiteEnterprise))
            text += QStringLiteral("Enterprise x64 Edition");
        else
            text += QStringLiteral("Standard x64 Edition");
    } else {
        if (has(info, WindowsVersionInfo::SuiteComputeServer))
            text += QStringLiteral("Compute Cluster Edition");
        else if (has(info, WindowsVersionInfo::SuiteDatacenter))
            text += QStringLiteral("Datacenter Edition");
        else if (has(info, WindowsVersionInfo::SuiteEnterprise))
            text += QStringLiteral("Enterprise Edition");
        else if (has(info, WindowsVersionInfo::SuiteBlade))
            text += QStringLiteral("Web Edition");
        else
            text += QStringLiteral("Standard Edition");
    }
    return text;
}

QString xpName(const WindowsVersionInfo& info)
{
    return QStringLiteral("Windows XP ")
        + (has(info, WindowsVersionInfo::SuitePersonal) ? QStringLiteral("Home Edition")
                                                        : QStringLiteral("Professional"));
}

QString windows2000Name(const WindowsVersionInfo& info)
{
    QString text = QStringLiteral("Windows 2000 ");
    if (isWorkstation(info))
        return text + QStringLiteral("Professional");
    if (has(info, WindowsVersionInfo::SuiteDatacenter))
        return text + QStringLiteral("Datacenter Server");
    if (has(info, WindowsVersionInfo::SuiteEnterprise))
        return text + QStringLiteral("Advanced Server");
    return text + QStringLiteral("Server");
}

// Every name ends in a separator so that an edition can follow; when none
// does, the separator is dropped before the service pack and build are added.
QString withoutTrailingSeparators(QString text)
{
    while (text.endsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char(',')))
        text.chop(1);
    return text;
}

} // namespace

QString windowsEditionText(unsigned productInfo)
{
    switch (productInfo) {
    case 1:
        return QStringLiteral("Ultimate Edition");
    case 2:
        return QStringLiteral("Home Basic Edition");
    case 3:
        return QStringLiteral("Home Premium Edition");
    case 4:
        return QStringLiteral("Enterprise Edition");
    case 6:
        return QStringLiteral("Business Edition");
    case 7:
        return QStringLiteral("Standard Edition");
    case 8:
        return QStringLiteral("Datacenter Edition");
    case 9:
        return QStringLiteral("Small Business Server");
    case 10:
        return QStringLiteral("Enterprise Edition");
    case 11:
        return QStringLiteral("Starter Edition");
    case 12:
        return QStringLiteral("Datacenter Edition (core installation)");
    case 13:
        return QStringLiteral("Standard Edition (core installation)");
    case 14:
        return QStringLiteral("Enterprise Edition (core installation)");
    case 15:
        return QStringLiteral("Enterprise Edition for Itanium-based Systems");
    case 17:
        return QStringLiteral("Web Server Edition");
    case 18:
        return QStringLiteral("Cluster Server Edition");
    case 25:
        return QStringLiteral("Small Business Server Premium Edition");
    case 48:
        return QStringLiteral("Professional");
    default:
        return QString();
    }
}

QString windowsVersionText(const WindowsVersionInfo& info)
{
    if (!info.queried || !info.ntPlatform || info.major < 5)
        return QString();

    QString name;
    if (info.major >= 6) {
        name = vistaFamilyName(info) + windowsEditionText(info.productInfo);
    } else if (info.minor == 2) {
        name = server2003Name(info);
    } else if (info.minor == 1) {
        name = xpName(info);
    } else if (info.minor == 0) {
        name = windows2000Name(info);
    }

    QString text = withoutTrailingSeparators(QStringLiteral("Microsoft ") + name);
    if (!info.servicePack.isEmpty())
        text += QLatin1Char(' ') + info.servicePack;
    text += QStringLiteral(" (build %1)").arg(info.build);
    if (info.major >= 6) {
        if (info.architecture == WindowsVersionInfo::ArchitectureX64)
            text += QStringLiteral(", 64-bit");
        else if (info.architecture == WindowsVersionInfo::ArchitectureX86)
            text += QStringLiteral(", 32-bit");
    }
    return text;
}

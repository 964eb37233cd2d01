#pragma once

#include <QString>

// What the Windows version queries report, in plain numbers, so the naming
// rules can run (and be checked) on any platform. Constant values are those
// of the Windows SDK.
struct WindowsVersionInfo {
    enum ProductType : unsigned { Workstation = 1, DomainController = 2, Server = 3 };
    enum SuiteMask : unsigned {
        SuiteEnterprise = 0x0002,
        SuiteDatacenter = 0x0080,
        SuitePersonal = 0x0200,
        SuiteBlade = 0x0400,
        SuiteStorageServer = 0x2000,
        SuiteComputeServer = 0x4000,
        SuiteHomeServer = 0x8000,
    };
    enum Architecture : unsigned { ArchitectureX86 = 0, ArchitectureItanium = 6, ArchitectureX64 = 9 };

    bool queried = false; // the version query succeeded
    bool ntPlatform = true; // platform id is the NT family
    unsigned major = 0;
    unsigned minor = 0;
    unsigned build = 0;
    unsigned productType = Workstation;
    unsigned suiteMask = 0;
    QString servicePack; // e.g. "Service Pack 1"; empty when none
    unsigned architecture = ArchitectureX86;
    unsigned productInfo = 0; // edition reported for 6.0 and later; 0 when unknown
    bool serverR2 = false; // the system metric that marks Windows Server 2003 R2
};

// The full version text, e.g. "Microsoft Windows 7 Professional Service Pack 1
// (build 7601), 64-bit". Empty when the query failed, the platform is not the
// NT family or the version is older than 5.0.
QString windowsVersionText(const WindowsVersionInfo& info);
// The edition text of one product type ("Professional" for 48), empty for unknown ones.
QString windowsEditionText(unsigned productInfo);

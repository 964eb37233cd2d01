#pragma once

#include <QString>

// Names the operating system the program runs on and supplies a hardware
// address. The application object creates the platform's implementation and
// hands it to what needs it.
class OsInfoService {
public:
    virtual ~OsInfoService();

    // Full version text, e.g. "Microsoft Windows 7 Professional Service Pack 1
    // (build 7601), 64-bit"; empty when the system cannot be queried.
    virtual QString versionText() const = 0;
    // Short platform name, e.g. "Windows" or "Linux".
    virtual QString osName() const = 0;
    // Hardware address of the first network interface that is not a loopback
    // interface; empty when there is none.
    virtual QString hardwareAddress() const = 0;

    // A new object for the platform this program was built for (caller owns it).
    static OsInfoService* createForPlatform();
    // versionText() of a new object for this platform.
    static QString platformVersionText();

protected:
    // Shared by the implementations: QNetworkInterface::allInterfaces() in
    // order, the first non-loopback one with a hardware address.
    static QString firstNonLoopbackHardwareAddress();
};

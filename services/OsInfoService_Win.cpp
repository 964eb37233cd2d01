#include "OsInfoService_Win.h"

#include "WindowsVersionText.h"

#include <windows.h>

namespace {

using GetNativeSystemInfoFunction = void(WINAPI*)(LPSYSTEM_INFO);
using GetProductInfoFunction = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);

// Both are looked up at run time: older systems lack them.
FARPROC kernel32Function(const char* name)
{
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 ? GetProcAddress(kernel32, name) : nullptr;
}

WindowsVersionInfo queryVersion()
{
    WindowsVersionInfo info;
    OSVERSIONINFOEXW version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996) // deprecated, but the only call that reports the suite and product type
#endif
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)))
        return info;
    info.queried = true;
    info.ntPlatform = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    info.major = version.dwMajorVersion;
    info.minor = version.dwMinorVersion;
    info.build = version.dwBuildNumber;
    info.productType = version.wProductType;
    info.suiteMask = version.wSuiteMask;
    info.servicePack = QString::fromWCharArray(version.szCSDVersion);

    SYSTEM_INFO system;
    ZeroMemory(&system, sizeof(system));
    if (auto nativeInfo = reinterpret_cast<GetNativeSystemInfoFunction>(kernel32Function("GetNativeSystemInfo")))
        nativeInfo(&system);
    else
        GetSystemInfo(&system);
    info.architecture = system.wProcessorArchitecture;

    if (info.major >= 6) {
        DWORD productType = 0;
        if (auto productInfo = reinterpret_cast<GetProductInfoFunction>(kernel32Function("GetProductInfo")))
            productInfo(info.major, info.minor, 0, 0, &productType);
        info.productInfo = productType;
    }
    info.serverR2 = GetSystemMetrics(SM_SERVERR2) != 0;
    return info;
}

} // namespace

QString OsInfoService_Win::versionText() const { return windowsVersionText(queryVersion()); }

QString OsInfoService_Win::osName() const { return QStringLiteral("Windows"); }

QString OsInfoService_Win::hardwareAddress() const { return firstNonLoopbackHardwareAddress(); }

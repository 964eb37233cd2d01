#include "OsInfoService.h"

#include <QNetworkInterface>
#include <QSysInfo>

#include <memory>

#if defined(Q_OS_WIN)
#include "OsInfoService_Win.h"
#elif defined(Q_OS_LINUX)
#include "OsInfoService_Linux.h"
#endif

namespace {

#if !defined(Q_OS_WIN) && !defined(Q_OS_LINUX)
// Other platforms get what Qt itself knows.
class OsInfoService_Generic : public OsInfoService {
public:
    QString versionText() const override { return QSysInfo::prettyProductName(); }
    QString osName() const override { return QSysInfo::productType(); }
    QString hardwareAddress() const override { return firstNonLoopbackHardwareAddress(); }
};
#endif

} // namespace

OsInfoService::~OsInfoService() = default;

QString OsInfoService::platformVersionText()
{
    return std::unique_ptr<OsInfoService>(createForPlatform())->versionText();
}

OsInfoService* OsInfoService::createForPlatform()
{
#if defined(Q_OS_WIN)
    return new OsInfoService_Win;
#elif defined(Q_OS_LINUX)
    return new OsInfoService_Linux;
#else
    return new OsInfoService_Generic;
#endif
}

QString OsInfoService::firstNonLoopbackHardwareAddress()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& networkInterface : interfaces) {
        if (networkInterface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        // Tunnels and the like carry no address; an empty one would give every
        // such machine the same tracker user id.
        const QString address = networkInterface.hardwareAddress();
        if (!address.isEmpty())
            return address;
    }
    return QString();
}

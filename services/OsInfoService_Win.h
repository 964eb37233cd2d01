#pragma once

#include "OsInfoService.h"

// The Windows operating-system information: the version text is assembled by
// windowsVersionText from what the version, system-information, product-info
// and system-metrics queries report. No state.
class OsInfoService_Win : public OsInfoService {
public:
    QString versionText() const override;
    QString osName() const override;
    QString hardwareAddress() const override;
};

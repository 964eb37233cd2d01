#include "WEApplication.h"

#include "AnalyticsTracker.h"
#include "ModelFileTypes.h"
#include "OsInfoService.h"
#ifdef Q_OS_LINUX
#include "QuitSignals_Linux.h"
#endif
#include "UpdateChecker.h"
#include "UpdatePresenter.h"
#include "UserSettings.h"
#include "VelmoraResources.h"

#include <QFileOpenEvent>
#include <QScreen>

const char* const WEApplication::kAnalyticsAccountId = "UA-40217386-07";

WEApplication::WEApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    initVelmoraResources();

    m_settings = std::make_unique<UserSettings>();
    m_updateChecker = std::make_unique<UpdateChecker>();
    m_updatePresenter = std::make_unique<UpdatePresenter>(m_updateChecker.get());
    m_osInfoService.reset(OsInfoService::createForPlatform());
    m_tracker = std::make_unique<AnalyticsTracker>(QString::fromLatin1(kAnalyticsAccountId), m_osInfoService.get());
    if (const QScreen* screen = primaryScreen())
        m_tracker->setScreen(screen->size(), screen->depth());
    m_tracker->setTrackingEnabled(m_settings->isTrackingEnabled());
    connect(m_settings.get(), &UserSettings::trackingEnabledChanged, this, &WEApplication::trackingSwitched);
#ifdef Q_OS_LINUX
    connect(new QuitSignals_Linux(this), &QuitSignals_Linux::quitRequested, this, &WEApplication::quitRequested);
#endif
}

// The services go in the reverse order of their members.
WEApplication::~WEApplication() = default;

bool WEApplication::isSupportedModelFile(const QString& path) { return ModelFileTypes::isOpenableFile(path); }

bool WEApplication::event(QEvent* event)
{
    if (event->type() == QEvent::FileOpen)
        handleFileOpen(static_cast<QFileOpenEvent*>(event)->file());
    return QApplication::event(event);
}

void WEApplication::handleFileOpen(const QString& path)
{
    // A folder named like a model (x.glb/) is no model either.
    if (!isSupportedModelFile(path))
        return;
    emit openModelFromAppEvent(path);
}

void WEApplication::checkForAvailableAppUpdates() { m_updateChecker->CheckForUpdatesNotSilent(); }

void WEApplication::checkForUpdatesSilently()
{
    m_updateChecker->setFeedURL(UpdateChecker::configuredFeedUrl());
    m_updateChecker->CheckForUpdatesSilent();
}

// The tracker hears of the switch first, so that switching off is never
// recorded and switching on is.
void WEApplication::trackingSwitched(bool enabled)
{
    m_tracker->setTrackingEnabled(enabled);
    m_tracker->trackEvent(QStringLiteral("model"), QStringLiteral("tracking"),
                          enabled ? QStringLiteral("switched_on") : QStringLiteral("switched_off"), 1);
}

#include "WEApplication.h"

#include "AnalyticsTracker.h"
#include "ModelFileTypes.h"
#include "OsInfoService.h"
#ifdef Q_OS_LINUX
#include "QuitSignals_Linux.h"
#endif
#include "UpdateChecker.h"
#include "UpdatePresenter.h"
#include "VelmoraResources.h"

#include <QFileOpenEvent>
#include <QScreen>

const char* const WEApplication::kAnalyticsAccountId = "UA-40217386-07";

WEApplication::WEApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    initVelmoraResources();

    m_updateChecker = std::make_unique<UpdateChecker>();
    UpdateChecker::setInstance(m_updateChecker.get());
    m_updatePresenter = std::make_unique<UpdatePresenter>(m_updateChecker.get());
    m_osInfoService.reset(OsInfoService::createForPlatform());
    OsInfoService::setInstance(m_osInfoService.get());
    m_tracker = std::make_unique<AnalyticsTracker>(QString::fromLatin1(kAnalyticsAccountId));
    if (const QScreen* screen = primaryScreen())
        m_tracker->setScreen(screen->size(), screen->depth());
    AnalyticsTracker::setInstance(m_tracker.get());
#ifdef Q_OS_LINUX
    connect(new QuitSignals_Linux(this), &QuitSignals_Linux::quitRequested, this, &WEApplication::quitRequested);
#endif
}

// The services go after this body, in the reverse order of their members.
// Unregistered first, none of them is reached through an accessor while the
// others go.
WEApplication::~WEApplication()
{
    AnalyticsTracker::setInstance(nullptr);
    UpdateChecker::setInstance(nullptr);
    OsInfoService::setInstance(nullptr);
}

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

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
#include "WorkspaceRegistry.h"
#include "WorkspaceService.h"

#include <QFileOpenEvent>

const char* const WEApplication::kAnalyticsAccountId = "UA-40217386-07";

WEApplication::WEApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    initVelmoraResources();

    m_updateChecker = new UpdateChecker();
    UpdateChecker::setInstance(m_updateChecker);
    m_updatePresenter = new UpdatePresenter(m_updateChecker);
    m_osInfoService = OsInfoService::createForPlatform();
    OsInfoService::setInstance(m_osInfoService);
    m_tracker = new AnalyticsTracker(QString::fromLatin1(kAnalyticsAccountId));
    AnalyticsTracker::setInstance(m_tracker);
    m_workspaceService = new WorkspaceService();
    WorkspaceRegistry::setInstance(m_workspaceService);
#ifdef Q_OS_LINUX
    connect(new QuitSignals_Linux(this), &QuitSignals_Linux::quitRequested, this, &WEApplication::quitRequested);
#endif
}

WEApplication::~WEApplication()
{
    // Unregister before deleting so that nothing reaches a dead service
    // through the accessors while the base class shuts down.
    AnalyticsTracker::setInstance(nullptr);
    delete m_tracker;
    UpdateChecker::setInstance(nullptr);
    // Its windows go before the checker whose network fetches their notes.
    delete m_updatePresenter;
    delete m_updateChecker;
    OsInfoService::setInstance(nullptr);
    delete m_osInfoService;
    WorkspaceRegistry::setInstance(nullptr);
    delete m_workspaceService;
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
    // The workspace is named after this file before anyone loads it.
    if (WorkspaceService* workspaces = WorkspaceRegistry::instance())
        workspaces->setModelFile(path);
    emit openModelFromAppEvent(path);
}

void WEApplication::checkForAvailableAppUpdates() { m_updateChecker->CheckForUpdatesNotSilent(); }

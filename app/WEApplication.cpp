#include "WEApplication.h"

#include "AnalyticsTracker.h"
#include "ModelManager.h"
#include "OsInfoService.h"
#include "UpdateChecker.h"
#include "VelmoraResources.h"
#include "WorkspaceService.h"

#include <QFileInfo>
#include <QFileOpenEvent>

const char* const WEApplication::analyticsAccountId = "UA-40217386-07";

WEApplication::WEApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    initVelmoraResources();

    m_updateChecker = new UpdateChecker();
    UpdateChecker::setInstance(m_updateChecker);
    m_osInfoService = OsInfoService::createForPlatform();
    OsInfoService::setInstance(m_osInfoService);
    m_tracker = new AnalyticsTracker(QString::fromLatin1(analyticsAccountId));
    AnalyticsTracker::setInstance(m_tracker);
    m_workspaceService = new WorkspaceService();
    WorkspaceService::setInstance(m_workspaceService);
}

WEApplication::~WEApplication()
{
    // Unregister before deleting so that nothing reaches a dead service
    // through the accessors while the base class shuts down.
    AnalyticsTracker::setInstance(nullptr);
    delete m_tracker;
    UpdateChecker::setInstance(nullptr);
    delete m_updateChecker;
    OsInfoService::setInstance(nullptr);
    delete m_osInfoService;
    WorkspaceService::setInstance(nullptr);
    delete m_workspaceService;
}

bool WEApplication::isSupportedModelFile(const QString& path)
{
    const QFileInfo info(path);
    // One rule for every way of opening a model: the model manager's.
    return info.isFile() && ModelManager::isSupportedSuffix(info.suffix());
}

bool WEApplication::event(QEvent* event)
{
    if (event->type() == QEvent::FileOpen)
        handleFileOpen(static_cast<QFileOpenEvent*>(event)->file());
    return QApplication::event(event);
}

void WEApplication::handleFileOpen(const QString& path)
{
    if (!ModelManager::isSupportedSuffix(QFileInfo(path).suffix()))
        return;
    // The workspace is named after this file before anyone loads it.
    if (WorkspaceService* workspaces = WorkspaceService::instance())
        workspaces->setModelFile(path);
    emit openModelFromAppEvent(path);
}

void WEApplication::checkForAvailableAppUpdates() { m_updateChecker->CheckForUpdatesNotSilent(); }

#include "ConsoleWorkspace.h"

ConsoleWorkspace::ConsoleWorkspace()
    : m_previous(WorkspaceService::instance())
{
    WorkspaceService::setInstance(&m_service);
}

ConsoleWorkspace::~ConsoleWorkspace()
{
    m_service.deleteCurrentWorkspace();
    WorkspaceService::setInstance(m_previous);
}

bool ConsoleWorkspace::claimFor(const QString& inputPath)
{
    m_service.cleanPendingWorkspaces();
    m_service.setModelFile(inputPath);
    return m_service.paths().hasModel();
}

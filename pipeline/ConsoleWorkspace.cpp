#include "ConsoleWorkspace.h"

ConsoleWorkspace::~ConsoleWorkspace() { m_service.deleteCurrentWorkspace(); }

bool ConsoleWorkspace::claimFor(const QString& inputPath)
{
    m_service.cleanPendingWorkspaces();
    m_service.setModelFile(inputPath);
    return m_service.paths().hasModel();
}

#pragma once

#include "WorkspaceService.h"

// The workspace of one console command: a service of its own, which
// ConsoleImport names and claims after the input (with its owner file, like
// the window's), removed whatever way the command ends (a killed run's is
// removed by the next run).
class ConsoleWorkspace {
public:
    ConsoleWorkspace() = default;
    ~ConsoleWorkspace() { m_service.deleteCurrentWorkspace(); }
    ConsoleWorkspace(const ConsoleWorkspace&) = delete;
    ConsoleWorkspace& operator=(const ConsoleWorkspace&) = delete;

    WorkspaceService& service() { return m_service; }
    WorkspacePaths paths() const { return m_service.paths(); }

private:
    WorkspaceService m_service;
};

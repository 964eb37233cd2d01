#pragma once

#include "WorkspaceService.h"

// The workspace of one console command: a service of its own, handed to
// the steps that need it, whose workspace is claimed with its owner file
// like the window's and removed whatever way the command ends (a killed
// run's is removed by the next run).
class ConsoleWorkspace {
public:
    ConsoleWorkspace() = default;
    ~ConsoleWorkspace();
    ConsoleWorkspace(const ConsoleWorkspace&) = delete;
    ConsoleWorkspace& operator=(const ConsoleWorkspace&) = delete;

    // Names and claims the workspace after the input file; false when the
    // file cannot be read.
    bool claimFor(const QString& inputPath);
    WorkspaceService& service() { return m_service; }
    WorkspacePaths paths() const { return m_service.paths(); }

private:
    WorkspaceService m_service;
};

#include "WorkspaceRegistry.h"

#include "WorkspaceService.h"

#include <atomic>

namespace {

std::atomic<WorkspaceService*> g_instance {nullptr};

} // namespace

WorkspaceService* WorkspaceRegistry::instance() { return g_instance.load(); }

void WorkspaceRegistry::setInstance(WorkspaceService* service) { g_instance.store(service); }

WorkspaceService& WorkspaceRegistry::instanceOrDefault()
{
    if (WorkspaceService* service = instance())
        return *service;
    static WorkspaceService defaultService;
    return defaultService;
}

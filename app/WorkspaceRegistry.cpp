#include "WorkspaceRegistry.h"

#include "WorkspaceService.h"

#include <atomic>

namespace {

std::atomic<WorkspaceService*> s_instance {nullptr};

} // namespace

WorkspaceService* WorkspaceRegistry::instance() { return s_instance.load(); }

void WorkspaceRegistry::setInstance(WorkspaceService* service) { s_instance.store(service); }

WorkspaceService& WorkspaceRegistry::instanceOrDefault()
{
    if (WorkspaceService* service = instance())
        return *service;
    static WorkspaceService defaultService;
    return defaultService;
}

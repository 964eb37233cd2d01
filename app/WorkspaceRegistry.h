#pragma once

class WorkspaceService;

// The application's workspace service: the application object (or a test)
// registers the one it owns, and the controllers hand it, or the folders it
// names, to the layers below.
class WorkspaceRegistry {
public:
    static WorkspaceService* instance(); // the registered service, or nullptr
    static void setInstance(WorkspaceService* service);
    // The registered service, or a default one (system temp folder, the
    // application's own folder) when none is registered.
    static WorkspaceService& instanceOrDefault();
};

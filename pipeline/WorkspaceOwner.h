#pragma once

#include <QString>

// Each workspace records the process that made it, so that a later start can
// tell the workspaces of a killed process from those of one still running.
class WorkspaceOwner {
public:
    enum class Claim {
        Claimed, // the folder was made now and belongs to this process
        Taken, // the folder already existed
        Failed // it could not be made at all (no parent, no permission)
    };

    // Makes root, failing when it already exists, so that two processes can
    // never end up sharing one workspace, and writes the owner file.
    static Claim claim(const QString& root);

    // root names an owner that no longer runs. Folders without an owner file
    // are never abandoned: nobody can say whose they are.
    static bool isAbandoned(const QString& root);

    static QString ownerFile(const QString& root); // root + "/owner"
};

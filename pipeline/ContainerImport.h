#pragma once

#include "WorkspacePaths.h"

#include <QString>

class WorkspaceService;

// Importing a vm3 file: unpack it into the workspace and check its version
// file. Runs on the caller's thread (the model manager's main thread, or the
// command-line converter).
class ContainerImport {
public:
    enum class Status {
        Loaded, // modelPath, version and format are set
        Damaged, // the archive could not be unpacked; errorText says why
        VersionError, // unpacked, but the version file is missing, broken or too new
    };

    struct Result {
        Status status = Status::Damaged;
        QString modelPath;
        QString version;
        int format = -1;
        QString errorText;
    };

    // Prepares the workspace, unpacks the archive into its "res" folder,
    // creates ".meta" and checks the version file.
    static Result run(const QString& archivePath, const WorkspacePaths& workspace, const WorkspaceService& service);

    // The version check alone, on an already unpacked model folder. Formats 3
    // and 4 load "model.gpb"; older ones the first ".scene" file.
    static Result checkVersion(const WorkspacePaths& workspace);
};

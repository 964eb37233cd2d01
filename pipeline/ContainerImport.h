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
        Damaged, // the archive could not be unpacked or holds no model; errorText says why
        VersionError, // unpacked, but the version file is missing, broken or too new
        WriteFailed, // the workspace could not be written (a full disk); errorText names the reason
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

    // Why the model folder holds nothing to load for its format: no
    // "model.gpb" file for formats 3 and up, no ".scene" file before that.
    // Empty when the model is there.
    static QString missingModel(const QString& modelFolder, int format);
};

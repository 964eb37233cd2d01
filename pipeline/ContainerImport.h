#pragma once

#include "WorkspacePaths.h"

#include <QString>

#include <atomic>

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
        Stopped, // the stop flag was set while unpacking; nothing is left
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
    static Result run(const QString& archivePath, const WorkspacePaths& workspace, const WorkspaceService& service,
                      const std::atomic<bool>* stopFlag = nullptr);

    // The verdict on an already unpacked model folder: the version file, the
    // model it names (formats 3 and 4 load "model.gpb", read here as the
    // engine reads it; older ones the first ".scene" file) and the preview
    // sizes. The same for the window, --convert, --info and --thumbnail.
    static Result checkVersion(const WorkspacePaths& workspace);

    // Largest width and height of a preview image in a container; larger
    // ones would cost gigabytes to decode.
    static constexpr int kMaximumPreviewEdge = 4096; // ContainerThumbnail::kMaxSize too

    // Why the model folder holds nothing to load for its format: no
    // "model.gpb" file for formats 3 and up, no ".scene" file before that.
    // Empty when the model is there.
    static QString missingModel(const QString& modelFolder, int format);

    // Why the bundle cannot be loaded (read through the engine's reader,
    // without drawing); empty when it can.
    static QString unreadableBundle(const QString& bundlePath);
    // Which preview image is larger than maximumPreviewEdge, from its header
    // alone; empty when none is.
    static QString oversizedPreview(const QString& metaFolder);
    // Which file of the model folder, taken as a shader, includes past the
    // engine's bounds (nesting, count, bytes altogether), which would make
    // it expand to gigabytes; empty when none does.
    static QString overgrownShader(const QString& modelFolder);
    // Removes the preview images, so that previews that cannot be drawn anew
    // leave none rather than those of another model.
    static void removePreviews(const QString& metaFolder);
};

#pragma once

#include "FileDigest.h"
#include "WorkspacePaths.h"

#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>

// Owns the process-wide name of the current model's workspace (its MD5 hash)
// and everything that creates, fills or deletes workspace folders.
//
// Paths are recomputed on every call from the temp folder and the current
// hash. The hash changes only on the main thread (setModelFile); readers on
// pool threads should take a WorkspacePaths snapshot with paths() when their
// work starts.
class WorkspaceService {
public:
    // Empty arguments mean the defaults: QDir::tempPath() and the parent of
    // the application folder. Tests pass their own folders.
    explicit WorkspaceService(const QString& tempFolder = QString(),
                              const QString& applicationParentFolder = QString());

    // --- the current workspace ---
    QString modelHash() const;
    // The digest the current workspace was named by, with what the model
    // file looked like then.
    FileDigest::Snapshot modelDigest() const;
    WorkspacePaths paths() const;
    QString tempFolder() const;
    QString companyFolder() const;
    QString workspaceRoot() const;
    QString modelFolder() const;
    QString modelFile() const;
    QString texFolder() const;
    QString metaFolder() const;
    QString pendingListFile() const; // companyFolder + "props.ini"

    // --- application side ---
    QString applicationParentFolder() const;
    QString toolsFolder() const; // working folder of the model encoder
    QString encoderExecutable() const;
    QString applicationShadersFolder() const;

    // Starts a new workspace: deletes the current one, then names the new one
    // after the MD5 of the file (".", no model, when it cannot be read) and
    // claims its folder, which no other import can then share.
    void setModelFile(const QString& filePath);
    // The same with the file's digest already taken (an empty md5: unreadable).
    void setModelDigest(const FileDigest::Snapshot& digest);
    void deleteCurrentWorkspace();
    // Retries deletions that failed in earlier runs and removes workspaces
    // whose owning process no longer runs (start-up).
    void cleanPendingWorkspaces();
    QStringList pendingDeletions() const;

    // Work that reads or writes a workspace while it runs (an import, an
    // export) holds a folder inside it. Deleting a workspace that is held is
    // put off until its last holder lets go. Thread-safe.
    void holdFolder(const QString& folder);
    void releaseFolder(const QString& folder);

    // Creates the workspace folders and copies the application's shaders into
    // the model folder. Missing folders are logged; the caller goes on.
    void prepareWorkspace(const WorkspacePaths& workspace) const;
    void prepareWorkspace() const { prepareWorkspace(paths()); }

    // Name of the first entry of the model folder containing ".scene" (older
    // containers), or an empty string.
    static QString findSceneFile(const QString& modelFolder);

    // Deletes a folder tree. Symbolic links are removed as links; their
    // targets are never entered.
    static bool removeDirectoryRecursively(const QString& folder);
    // Copies a folder tree, except the folders of the top level named in
    // skippedFolders; existing destination files are left untouched.
    static bool copyDirectory(const QString& sourceFolder, const QString& destinationFolder,
                              const QStringList& skippedFolders = QStringList());

private:
    void deleteWorkspace(const QString& root);
    bool isHeldLocked(const QString& root) const;
    void removeAbandonedWorkspaces();
    QString claimWorkspace(const QString& hash);
    void addPendingDeletion(const QString& root);
    void removePendingDeletion(const QString& root);
    bool liesInsideCompanyFolder(const QString& folder) const;

    QString m_tempFolder;
    QString m_applicationParentFolder;
    mutable QMutex m_mutex; // guards the members below
    QString m_modelHash;
    FileDigest::Snapshot m_modelDigest;
    mutable QString m_companyFolder; // chosen on first use
    QHash<QString, int> m_heldFolders;
    QStringList m_deleteWhenReleased;
};

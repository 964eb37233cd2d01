#pragma once

#include "WorkspacePaths.h"

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

    static WorkspaceService* instance(); // the registered service, or nullptr
    static void setInstance(WorkspaceService* service);
    // The registered service, or a default one (system temp folder, the
    // application's own folder) when none is registered, as in tests.
    static const WorkspaceService& instanceOrDefault();

    // --- the current workspace ---
    QString modelHash() const;
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
    // after the MD5 of the file (".", no model, when it cannot be read).
    void setModelFile(const QString& filePath);
    void deleteCurrentWorkspace();
    // Retries deletions that failed in earlier runs (start-up).
    void cleanPendingWorkspaces();
    QStringList pendingDeletions() const;

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
    // Copies a folder tree; existing destination files are left untouched.
    static bool copyDirectory(const QString& sourceFolder, const QString& destinationFolder);

private:
    void addPendingDeletion(const QString& root);
    void removePendingDeletion(const QString& root);
    bool liesInsideCompanyFolder(const QString& folder) const;

    QString m_tempFolder;
    QString m_applicationParentFolder;
    mutable QMutex m_mutex; // guards m_modelHash
    QString m_modelHash;
};

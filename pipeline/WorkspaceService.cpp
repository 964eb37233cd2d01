#include "WorkspaceService.h"

#include "CompanyFolder.h"
#include "ConsoleOutput.h"
#include "FileDigest.h"
#ifdef Q_OS_LINUX
#include "FileCopy_Linux.h"
#endif
#include "WorkspaceOwner.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSettings>

#include <atomic>

namespace {

const char* const kPendingKey = "model";

bool makePath(const QString& folder, const char* failureLine)
{
    if (QDir().mkpath(folder))
        return true;
    qDebug() << failureLine;
    return false;
}

// Canonical form of an existing folder, with a trailing slash so that a
// prefix test cannot confuse ".../abc" with ".../abcd".
QString canonicalFolderWithSlash(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return QString();
    return canonical.endsWith(QLatin1Char('/')) ? canonical : canonical + QLatin1Char('/');
}

// As QFile::copy, inside the kernel where it can.
bool copyFile(const QString& from, const QString& to)
{
#ifdef Q_OS_LINUX
    return FileCopy_Linux::copy(from, to);
#else
    return QFile::copy(from, to);
#endif
}

} // namespace

WorkspaceService::WorkspaceService(const QString& tempFolder, const QString& applicationParentFolder)
    : m_tempFolder(tempFolder)
    , m_applicationParentFolder(applicationParentFolder)
    , m_modelHash(QStringLiteral("."))
{
}

// --- paths ------------------------------------------------------------------

QString WorkspaceService::modelHash() const
{
    QMutexLocker lock(&m_mutex);
    return m_modelHash;
}

FileDigest::Snapshot WorkspaceService::modelDigest() const
{
    QMutexLocker lock(&m_mutex);
    return m_modelDigest;
}

WorkspacePaths WorkspaceService::paths() const { return WorkspacePaths::forHash(companyFolder(), modelHash()); }

QString WorkspaceService::tempFolder() const { return m_tempFolder.isEmpty() ? QDir::tempPath() : m_tempFolder; }

QString WorkspaceService::companyFolder() const
{
    QMutexLocker lock(&m_mutex);
    if (m_companyFolder.isEmpty()) {
        QString notice;
        m_companyFolder = CompanyFolder::resolve(tempFolder(), &notice);
        static std::atomic<bool> told {false};
        if (!notice.isEmpty() && !told.exchange(true))
            ConsoleOutput::print(ConsoleOutput::Kind::Notice, notice);
    }
    return m_companyFolder;
}
QString WorkspaceService::workspaceRoot() const { return paths().root; }
QString WorkspaceService::modelFolder() const { return paths().model; }
QString WorkspaceService::modelFile() const { return paths().modelFile; }
QString WorkspaceService::texFolder() const { return paths().tex; }
QString WorkspaceService::metaFolder() const { return paths().meta; }

QString WorkspaceService::pendingListFile() const { return companyFolder() + QStringLiteral("props.ini"); }

QString WorkspaceService::applicationParentFolder() const
{
    if (!m_applicationParentFolder.isEmpty())
        return m_applicationParentFolder;
    return QDir::cleanPath(QStringLiteral("%1/..").arg(QCoreApplication::applicationDirPath()));
}

QString WorkspaceService::toolsFolder() const
{
#ifdef Q_OS_WIN
    return applicationParentFolder() + QStringLiteral("/tools/win");
#else
    return applicationParentFolder() + QStringLiteral("/tools/linux");
#endif
}

QString WorkspaceService::encoderExecutable() const
{
#ifdef Q_OS_WIN
    return toolsFolder() + QStringLiteral("/model-encoder.exe");
#else
    return toolsFolder() + QStringLiteral("/model-encoder");
#endif
}

QString WorkspaceService::applicationShadersFolder() const
{
    return applicationParentFolder() + QStringLiteral("/res/shaders");
}

// --- workspace lifecycle ----------------------------------------------------

void WorkspaceService::setModelFile(const QString& filePath) { setModelDigest(FileDigest::take(filePath)); }

void WorkspaceService::setModelDigest(const FileDigest::Snapshot& digest)
{
    deleteCurrentWorkspace();
    if (digest.md5.isEmpty()) {
        QMutexLocker lock(&m_mutex);
        m_modelHash = QStringLiteral(".");
        m_modelDigest = FileDigest::Snapshot();
        return;
    }

    const QString claimed = claimWorkspace(QString::fromLatin1(digest.md5));
    QMutexLocker lock(&m_mutex);
    m_modelHash = claimed;
    m_modelDigest = digest;
}

// A folder of that name (left by a failed or put-off deletion, or made by
// another process converting the same file right now) keeps it; the new
// workspace takes the next numbered name it can make itself.
QString WorkspaceService::claimWorkspace(const QString& hash)
{
    const QString company = companyFolder();
    const int attempts = 10000;
    for (int n = 0; n < attempts; ++n) {
        const QString candidate = n == 0 ? hash : hash + QString::number(n);
        const WorkspaceOwner::Claim claim = WorkspaceOwner::claim(company + candidate);
        if (claim == WorkspaceOwner::Claim::Taken)
            continue;
        if (claim == WorkspaceOwner::Claim::Failed)
            qDebug() << "Couldn't create hash-folder";
        return candidate;
    }
    return hash;
}

void WorkspaceService::deleteCurrentWorkspace()
{
    const WorkspacePaths current = paths();
    if (!current.hasModel())
        return;
    {
        QMutexLocker lock(&m_mutex);
        if (isHeldLocked(current.root)) {
            if (!m_deleteWhenReleased.contains(current.root))
                m_deleteWhenReleased.append(current.root);
            return;
        }
    }
    deleteWorkspace(current.root);
}

void WorkspaceService::deleteWorkspace(const QString& root)
{
    if (removeDirectoryRecursively(root))
        removePendingDeletion(root);
    else
        addPendingDeletion(root);
}

bool WorkspaceService::isHeldLocked(const QString& root) const
{
    const QString inside = root + QLatin1Char('/');
    for (auto it = m_heldFolders.constBegin(); it != m_heldFolders.constEnd(); ++it) {
        if (it.key() == root || it.key().startsWith(inside))
            return true;
    }
    return false;
}

void WorkspaceService::holdFolder(const QString& folder)
{
    QMutexLocker lock(&m_mutex);
    ++m_heldFolders[folder];
}

void WorkspaceService::releaseFolder(const QString& folder)
{
    QStringList nowFree;
    {
        QMutexLocker lock(&m_mutex);
        auto it = m_heldFolders.find(folder);
        if (it == m_heldFolders.end())
            return;
        if (--it.value() == 0)
            m_heldFolders.erase(it);
        for (const QString& root : qAsConst(m_deleteWhenReleased)) {
            if (!isHeldLocked(root))
                nowFree.append(root);
        }
        for (const QString& root : qAsConst(nowFree))
            m_deleteWhenReleased.removeAll(root);
    }
    for (const QString& root : qAsConst(nowFree))
        deleteWorkspace(root);
}

void WorkspaceService::cleanPendingWorkspaces()
{
    removeAbandonedWorkspaces();
    if (!QFileInfo::exists(pendingListFile()))
        return;
    QSettings settings(pendingListFile(), QSettings::IniFormat);
    const QStringList parts = settings.value(kPendingKey).toString().split(QLatin1Char(';'));
    QStringList kept;
    for (const QString& part : parts) {
        // Only folders that really lie inside our company folder are ever
        // deleted; anything else in the list is dropped untouched.
        if (part.isEmpty() || !liesInsideCompanyFolder(part))
            continue;
        if (!removeDirectoryRecursively(part) && QFileInfo::exists(part))
            kept.append(part);
    }
    settings.setValue(kPendingKey, kept.join(QLatin1Char(';')));
    settings.sync();
}

void WorkspaceService::removeAbandonedWorkspaces()
{
    const QDir company(companyFolder());
    const QStringList roots = company.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString& name : roots) {
        const QString root = company.filePath(name);
        if (WorkspaceOwner::isAbandoned(root))
            deleteWorkspace(root);
    }
}

QStringList WorkspaceService::pendingDeletions() const
{
    if (!QFileInfo::exists(pendingListFile()))
        return QStringList();
    QSettings settings(pendingListFile(), QSettings::IniFormat);
    const QString list = settings.value(kPendingKey).toString();
    return list.isEmpty() ? QStringList() : list.split(QLatin1Char(';'));
}

void WorkspaceService::addPendingDeletion(const QString& root)
{
    QDir().mkpath(companyFolder());
    QSettings settings(pendingListFile(), QSettings::IniFormat);
    QString list = settings.value(kPendingKey).toString();
    // Whole entries are compared: ".../abc" must not count as present just
    // because ".../abc1" is listed.
    if (list.split(QLatin1Char(';')).contains(root))
        return;
    if (!list.isEmpty())
        list += QLatin1Char(';');
    list += root;
    settings.setValue(kPendingKey, list);
    settings.sync();
}

void WorkspaceService::removePendingDeletion(const QString& root)
{
    if (!QFileInfo::exists(pendingListFile()))
        return;
    QSettings settings(pendingListFile(), QSettings::IniFormat);
    const QString list = settings.value(kPendingKey).toString();
    QStringList kept;
    for (const QString& part : list.split(QLatin1Char(';'))) {
        if (part != root)
            kept.append(part);
    }
    const QString rebuilt = kept.join(QLatin1Char(';'));
    if (rebuilt != list) {
        settings.setValue(kPendingKey, rebuilt);
        settings.sync();
    }
}

bool WorkspaceService::liesInsideCompanyFolder(const QString& folder) const
{
    const QString company = canonicalFolderWithSlash(companyFolder());
    const QString candidate = canonicalFolderWithSlash(folder);
    if (company.isEmpty() || candidate.isEmpty())
        return false;
    return candidate.startsWith(company) && candidate.size() > company.size();
}

// --- folder operations ------------------------------------------------------

void WorkspaceService::prepareWorkspace(const WorkspacePaths& workspace) const
{
    makePath(workspace.companyFolder, "Couldn't create company-folder");
    makePath(workspace.root, "Couldn't create hash-folder");
    makePath(workspace.res, "Couldn't create res-folder");
    makePath(workspace.model, "Couldn't create model-folder");
    makePath(workspace.modelShaders, "Couldn't create shader-folder");
    copyDirectory(applicationShadersFolder(), workspace.modelShaders);
}

QString WorkspaceService::findSceneFile(const QString& modelFolder)
{
    const QDir dir(modelFolder);
    if (!dir.exists())
        return QString();
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QString& name : names) {
        if (name.contains(QLatin1String(".scene")))
            return name;
    }
    return QString();
}

bool WorkspaceService::removeDirectoryRecursively(const QString& folder)
{
    const QFileInfo info(folder);
    // A link is removed as a link: following it could delete files far
    // outside the workspace.
    if (info.isSymLink())
        return QFile::remove(folder);
    if (!info.exists())
        return true;

    QDir dir(folder);
    bool ok = true;
    const QFileInfoList entries
        = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        if (!ok)
            break;
        if (entry.isDir() && !entry.isSymLink())
            ok = removeDirectoryRecursively(entry.filePath());
        else
            ok = QFile::remove(entry.filePath());
    }

    if (dir.rmdir(folder))
        return true;
    // A Finder ".DS_Store" that appeared meanwhile keeps the folder alive.
    const QString dsStore = folder + QStringLiteral("/.DS_Store");
    if (QFileInfo::exists(dsStore) && QFile::remove(dsStore))
        return dir.rmdir(folder);
    return false;
}

bool WorkspaceService::copyDirectory(const QString& sourceFolder, const QString& destinationFolder,
                                     const QStringList& skippedFolders)
{
    const QDir source(sourceFolder);
    if (!source.exists())
        return false;
    if (!QDir().mkpath(destinationFolder))
        return false;

    bool ok = true;
    const QStringList files = source.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    for (const QString& name : files) {
        const QString from = sourceFolder + QLatin1Char('/') + name;
        const QString to = destinationFolder + QLatin1Char('/') + name;
        qDebug() << "copy" << from << " to" << to;
        if (!QFileInfo::exists(to) && !copyFile(from, to))
            ok = false;
    }
    // Linked folders are not followed, so a link loop cannot recurse forever.
    const QStringList folders
        = source.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Unsorted);
    for (const QString& name : folders) {
        if (skippedFolders.contains(name))
            continue;
        const QString from = sourceFolder + QLatin1Char('/') + name;
        const QString to = destinationFolder + QLatin1Char('/') + name;
        qDebug() << "copy" << from << " to" << to;
        if (!copyDirectory(from, to))
            ok = false;
    }
    return ok;
}

#pragma once

#include "ImportOptions.h"

#include <QMutex>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>

// The user's settings. The application object makes the one object of a run
// and hands it to whatever reads or changes a setting. Every key is read once
// from the settings store when the object is created; afterwards the cached
// fields are the truth for this run and every change is written through to
// the store at once.
//
// Reads may come from any thread, so the cached fields live behind a mutex and are handed out as
// copies. The store itself is guarded by its own mutex so a slow sync never
// blocks a reader.
class UserSettings : public QObject {
    Q_OBJECT
public:
    // Reads the native store of the organisation "com.velmora" and the
    // application "velmoraEncoder" (user scope), as the application does;
    // tests construct a second object to see what a fresh run would read.
    UserSettings();
    // Reads and writes the given INI file instead of the native store.
    explicit UserSettings(const QString& iniFilePath);
    ~UserSettings() override;

    UserSettings(const UserSettings&) = delete;
    UserSettings& operator=(const UserSettings&) = delete;

    QString lastImportPath() const;
    QString lastExportPath() const;
    // The colour's name, "#rrggbb" or "#aarrggbb" when not opaque; empty when
    // what is stored is no colour.
    QString backgroundColor() const;
    bool isTrackingEnabled() const;
    QString animationGrouping() const; // "none" | "root" | "take"
    QString backfaceCulling() const; // "off" | "ccw" | "cw" | "material"
    // Both of the above, for the next import.
    ImportOptions importOptions() const;
    bool showImportInfo() const;
    // Whether the window reloads a model whose source file changed on disk.
    bool reloadWhenChanged() const;
    // Files opened lately, newest first, absolute paths, at most kRecentFileLimit.
    QStringList recentFiles() const;

    // Both take a file path and remember the absolute path of its folder.
    void setLastImportPath(const QString& filePath);
    void setLastExportPath(const QString& filePath);

    void setAnimationGroupingNone();
    void setAnimationGroupingRoot();
    void setAnimationGroupingTake();
    void setBackfaceCullingOff();
    void setBackfaceCullingCCW();
    void setBackfaceCullingCW();
    void setBackfaceCullingMaterial();
    void setShowImportInfo(bool show);
    void setReloadWhenChanged(bool reload);
    // Puts the file first; an entry for the same file further down goes away.
    void addRecentFile(const QString& filePath);
    void clearRecentFiles();
    // Takes a colour name (as above, or any other name a colour can be made of).
    void setBackgroundColor(const QString& colorName);
    void setTrackingEnabled(bool enabled);

    bool isAnimationGroupingNone() const;
    bool isAnimationGroupingRoot() const;
    bool isAnimationGroupingTake() const;
    bool isBackfaceCullingOff() const;
    bool isBackfaceCullingCCW() const;
    bool isBackfaceCullingCW() const;
    bool isBackfaceCullingMaterial() const;

    // Status of the last write to the store; NoError when it reached the disk.
    QSettings::Status lastWriteStatus() const;

    static QString defaultBackgroundColor();

    static constexpr int kRecentFileLimit = 10;
    // The list after opening filePath: the decision behind addRecentFile().
    static QStringList withRecentFile(QStringList files, const QString& filePath);

signals:
    // The user switched usage tracking on or off; emitted once the switch is
    // stored, on the thread that changed it.
    void trackingEnabledChanged(bool enabled);

private:
    std::unique_ptr<QSettings> openStore() const;
    void readStore();
    bool writeValue(const QString& group, const QString& key, const QVariant& value);
    // Writes through to the store, then updates the cached field.
    template <typename T>
    void writeAndCache(const char* group, const char* key, T& field, const T& value);
    void setAnimationGrouping(const QString& value);
    void setBackfaceCulling(const QString& value);

    mutable QMutex m_cacheMutex;
    QString m_lastImportPath;
    QString m_lastExportPath;
    QString m_backgroundColor;
    bool m_trackingEnabled = true;
    QString m_animationGrouping;
    QString m_backfaceCulling;
    bool m_showImportInfo = true;
    bool m_reloadWhenChanged = true;
    QStringList m_recentFiles;

    mutable QMutex m_storeMutex; // guards the members below; taken before m_cacheMutex
    const QString m_iniFilePath; // empty for the native store
    std::unique_ptr<QSettings> m_store;
    QSettings::Status m_lastWriteStatus = QSettings::NoError;
    QVariantMap m_unsavedChanges; // "group/key" -> value, not yet on disk
};

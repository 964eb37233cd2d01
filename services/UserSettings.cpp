#include "UserSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStringList>

namespace {

const char* const kGroupImport = "Import";
const char* const kGroupExport = "Export";
const char* const kGroupAppearance = "Appearance";
const char* const kGroupTracking = "Tracking";

const char* const kKeyLastImportPath = "LastImportPath";
const char* const kKeyAnimationGrouping = "AnimationGrouping";
const char* const kKeyBackfaceCulling = "BackfaceCulling";
const char* const kKeyShowImportInfo = "ShowImportInfo";
const char* const kKeyReloadWhenChanged = "ReloadWhenChanged";
const char* const kKeyRecentFiles = "RecentFiles";
const char* const kKeyLastExportPath = "LastExportPath";
const char* const kKeyBackgroundColor = "BackgroundColor";
const char* const kKeyTrackingEnabled = "gaTrackingEnabled";

using Grouping = ImportOptions::Grouping;
using Culling = ImportOptions::Culling;

// The grouping and culling values end up on the model encoder's command line,
// so a value edited by hand in the store must not travel there unchecked.
QString oneOf(const QString& value, const QStringList& allowed, const QString& fallback)
{
    return allowed.contains(value) ? value : fallback;
}

QString folderOf(const QString& filePath) { return QFileInfo(filePath).absolutePath(); }

// The store has always held the colour as a colour value, and existing
// stores must still read. Its conversions to and from a name come with the
// colour type, which the application's process has: the settings convert
// through the variant and never name the type themselves. Empty when the
// value is no colour.
QString colorNameOf(QVariant stored)
{
    if (!stored.convert(QMetaType::QColor) || !stored.convert(QMetaType::QString))
        return QString();
    return stored.toString();
}

// A name that makes a colour is stored as that colour, as it always was; a
// process without colours stores the name, which reads back as the colour.
QVariant storedColor(const QString& colorName)
{
    QVariant color(colorName);
    return color.convert(QMetaType::QColor) ? color : QVariant(colorName);
}

} // namespace

UserSettings::UserSettings()
    : UserSettings(QString())
{
}

UserSettings::UserSettings(const QString& iniFilePath)
    : QObject(nullptr)
    , m_iniFilePath(iniFilePath)
{
    m_store = openStore();
    readStore();
}

UserSettings::~UserSettings() = default;

std::unique_ptr<QSettings> UserSettings::openStore() const
{
    auto store = m_iniFilePath.isEmpty()
        ? std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("com.velmora"),
                                      QStringLiteral("velmoraEncoder"))
        : std::make_unique<QSettings>(m_iniFilePath, QSettings::IniFormat);
    // A store reopened after a failed write may be made on a thread that
    // ends soon; it belongs with the main thread, where the writes happen.
    if (QCoreApplication* app = QCoreApplication::instance())
        store->moveToThread(app->thread());
    return store;
}

QString UserSettings::defaultBackgroundColor() { return QStringLiteral("#333338"); }

void UserSettings::readStore()
{
    QMutexLocker storeLock(&m_storeMutex);
    QSettings& store = *m_store;

    store.beginGroup(kGroupImport);
    const QString lastImportPath = store.value(kKeyLastImportPath, QDir::homePath()).toString();
    const ImportOptions defaults;
    const QString grouping = oneOf(store.value(kKeyAnimationGrouping, defaults.groupingName()).toString(),
                                   ImportOptions::groupingNames(), defaults.groupingName());
    const QString culling = oneOf(store.value(kKeyBackfaceCulling, defaults.cullingName()).toString(),
                                  ImportOptions::cullingNames(), defaults.cullingName());
    const bool showImportInfo = store.value(kKeyShowImportInfo, true).toBool();
    const bool reloadWhenChanged = store.value(kKeyReloadWhenChanged, true).toBool();
    const QStringList recentFiles = store.value(kKeyRecentFiles).toStringList().mid(0, kRecentFileLimit);
    store.endGroup();

    store.beginGroup(kGroupExport);
    const QString lastExportPath = store.value(kKeyLastExportPath, QDir::homePath()).toString();
    store.endGroup();

    store.beginGroup(kGroupAppearance);
    const QString background = store.contains(kKeyBackgroundColor) ? colorNameOf(store.value(kKeyBackgroundColor))
                                                                   : defaultBackgroundColor();
    store.endGroup();

    store.beginGroup(kGroupTracking);
    const bool tracking = store.value(kKeyTrackingEnabled, true).toBool();
    store.endGroup();
    // An unreadable store makes the first write start over with a fresh object.
    m_lastWriteStatus = store.status();

    QMutexLocker cacheLock(&m_cacheMutex);
    m_lastImportPath = lastImportPath;
    m_animationGrouping = grouping;
    m_backfaceCulling = culling;
    m_showImportInfo = showImportInfo;
    m_reloadWhenChanged = reloadWhenChanged;
    m_recentFiles = recentFiles;
    m_lastExportPath = lastExportPath;
    m_backgroundColor = background;
    m_trackingEnabled = tracking;
}

template <typename T>
void UserSettings::writeAndCache(const char* group, const char* key, T& field, const T& value)
{
    writeValue(group, key, value);
    QMutexLocker lock(&m_cacheMutex);
    field = value;
}

bool UserSettings::writeValue(const QString& group, const QString& key, const QVariant& value)
{
    QMutexLocker storeLock(&m_storeMutex);
    // A QSettings object that once failed keeps reporting the failure, so a
    // fresh one is opened; it gets every change that has not reached the disk
    // yet, so a store that becomes writable again loses none of this run.
    m_unsavedChanges.insert(group + QLatin1Char('/') + key, value);
    if (m_lastWriteStatus != QSettings::NoError)
        m_store = openStore();
    for (auto it = m_unsavedChanges.cbegin(); it != m_unsavedChanges.cend(); ++it)
        m_store->setValue(it.key(), it.value());
    m_store->sync();
    m_lastWriteStatus = m_store->status();
    if (m_lastWriteStatus == QSettings::NoError)
        m_unsavedChanges.clear();
    return m_lastWriteStatus == QSettings::NoError;
}

QSettings::Status UserSettings::lastWriteStatus() const
{
    QMutexLocker storeLock(&m_storeMutex);
    return m_lastWriteStatus;
}

QString UserSettings::lastImportPath() const
{
    QMutexLocker lock(&m_cacheMutex);
    return m_lastImportPath;
}

QString UserSettings::lastExportPath() const
{
    QMutexLocker lock(&m_cacheMutex);
    return m_lastExportPath;
}

QString UserSettings::backgroundColor() const
{
    QMutexLocker lock(&m_cacheMutex);
    return m_backgroundColor;
}

bool UserSettings::isTrackingEnabled() const
{
    QMutexLocker lock(&m_cacheMutex);
    return m_trackingEnabled;
}

QString UserSettings::animationGrouping() const
{
    QMutexLocker lock(&m_cacheMutex);
    return m_animationGrouping;
}

QString UserSettings::backfaceCulling() const
{
    QMutexLocker lock(&m_cacheMutex);
    return m_backfaceCulling;
}

bool UserSettings::showImportInfo() const
{
    QMutexLocker lock(&m_cacheMutex);
    return m_showImportInfo;
}

bool UserSettings::reloadWhenChanged() const
{
    QMutexLocker lock(&m_cacheMutex);
    return m_reloadWhenChanged;
}

void UserSettings::setLastImportPath(const QString& filePath)
{
    // An empty path would resolve to the process's current folder, which the
    // user never chose.
    if (filePath.isEmpty())
        return;
    writeAndCache(kGroupImport, kKeyLastImportPath, m_lastImportPath, folderOf(filePath));
}

void UserSettings::setLastExportPath(const QString& filePath)
{
    if (filePath.isEmpty())
        return;
    writeAndCache(kGroupExport, kKeyLastExportPath, m_lastExportPath, folderOf(filePath));
}

QStringList UserSettings::recentFiles() const
{
    QMutexLocker lock(&m_cacheMutex);
    return m_recentFiles;
}

QStringList UserSettings::withRecentFile(QStringList files, const QString& filePath)
{
    const QString path = QFileInfo(filePath).absoluteFilePath();
    files.removeAll(path);
    files.prepend(path);
    return files.mid(0, kRecentFileLimit);
}

void UserSettings::addRecentFile(const QString& filePath)
{
    if (filePath.isEmpty())
        return;
    writeAndCache(kGroupImport, kKeyRecentFiles, m_recentFiles, withRecentFile(recentFiles(), filePath));
}

void UserSettings::clearRecentFiles() { writeAndCache(kGroupImport, kKeyRecentFiles, m_recentFiles, QStringList()); }

void UserSettings::setAnimationGrouping(const QString& value)
{
    writeAndCache(kGroupImport, kKeyAnimationGrouping, m_animationGrouping, value);
}

void UserSettings::setBackfaceCulling(const QString& value)
{
    writeAndCache(kGroupImport, kKeyBackfaceCulling, m_backfaceCulling, value);
}

void UserSettings::setAnimationGroupingNone() { setAnimationGrouping(ImportOptions::nameOf(Grouping::None)); }
void UserSettings::setAnimationGroupingRoot() { setAnimationGrouping(ImportOptions::nameOf(Grouping::Root)); }
void UserSettings::setAnimationGroupingTake() { setAnimationGrouping(ImportOptions::nameOf(Grouping::Take)); }
void UserSettings::setBackfaceCullingOff() { setBackfaceCulling(ImportOptions::nameOf(Culling::Off)); }
void UserSettings::setBackfaceCullingCCW() { setBackfaceCulling(ImportOptions::nameOf(Culling::Ccw)); }
void UserSettings::setBackfaceCullingCW() { setBackfaceCulling(ImportOptions::nameOf(Culling::Cw)); }
void UserSettings::setBackfaceCullingMaterial() { setBackfaceCulling(ImportOptions::nameOf(Culling::Material)); }

void UserSettings::setShowImportInfo(bool show)
{
    writeAndCache(kGroupImport, kKeyShowImportInfo, m_showImportInfo, show);
}

void UserSettings::setReloadWhenChanged(bool reload)
{
    writeAndCache(kGroupImport, kKeyReloadWhenChanged, m_reloadWhenChanged, reload);
}

void UserSettings::setBackgroundColor(const QString& colorName)
{
    writeValue(kGroupAppearance, kKeyBackgroundColor, storedColor(colorName));
    QMutexLocker lock(&m_cacheMutex);
    m_backgroundColor = colorNameOf(colorName);
}

void UserSettings::setTrackingEnabled(bool enabled)
{
    const bool changed = isTrackingEnabled() != enabled;
    writeAndCache(kGroupTracking, kKeyTrackingEnabled, m_trackingEnabled, enabled);
    // After the switch is stored, with no lock held: receivers read it back.
    if (changed)
        emit trackingEnabledChanged(enabled);
}

ImportOptions UserSettings::importOptions() const
{
    // Both values were checked against the names when they were read.
    ImportOptions options;
    options.setGroupingName(animationGrouping());
    options.setCullingName(backfaceCulling());
    return options;
}

bool UserSettings::isAnimationGroupingNone() const { return importOptions().grouping == Grouping::None; }
bool UserSettings::isAnimationGroupingRoot() const { return importOptions().grouping == Grouping::Root; }
bool UserSettings::isAnimationGroupingTake() const { return importOptions().grouping == Grouping::Take; }
bool UserSettings::isBackfaceCullingOff() const { return importOptions().culling == Culling::Off; }
bool UserSettings::isBackfaceCullingCCW() const { return importOptions().culling == Culling::Ccw; }
bool UserSettings::isBackfaceCullingCW() const { return importOptions().culling == Culling::Cw; }
bool UserSettings::isBackfaceCullingMaterial() const { return importOptions().culling == Culling::Material; }

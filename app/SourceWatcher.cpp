#include "SourceWatcher.h"

#include "ConversionStamp.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

const int kSettleMs = 500;

} // namespace

SourceWatcher::SourceWatcher(QObject* parent)
    : QObject(parent)
{
    m_settle.setInterval(kSettleMs);
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, &SourceWatcher::checkSettled);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &SourceWatcher::somethingChanged);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &SourceWatcher::somethingChanged);
}

void SourceWatcher::watch(const QString& sourcePath)
{
    stop();
    m_sourcePath = sourcePath;
    rewatch();
    m_watchedSnapshot = snapshot();
}

void SourceWatcher::stop()
{
    m_settle.stop();
    m_sourcePath.clear();
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
}

// The model's folder is watched as well: a save that renames a new file over
// the old one ends the watch of the old file.
void SourceWatcher::rewatch()
{
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
    QStringList paths {QFileInfo(m_sourcePath).absolutePath()};
    if (QFileInfo::exists(m_sourcePath))
        paths << m_sourcePath;
    for (const QFileInfo& companion : ConversionStamp::companionFiles(m_sourcePath))
        paths << companion.filePath();
    m_watcher.addPaths(paths);
}

QString SourceWatcher::snapshot() const
{
    QStringList facts;
    const QFileInfo source(m_sourcePath);
    facts << QStringLiteral("%1 %2").arg(source.size()).arg(source.lastModified().toMSecsSinceEpoch());
    for (const QFileInfo& companion : ConversionStamp::companionFiles(m_sourcePath))
        facts << QStringLiteral("%1 %2 %3")
                     .arg(companion.filePath())
                     .arg(companion.size())
                     .arg(companion.lastModified().toMSecsSinceEpoch());
    return facts.join(QLatin1Char('\n'));
}

void SourceWatcher::somethingChanged()
{
    if (m_sourcePath.isEmpty())
        return;
    m_pendingSnapshot = snapshot();
    m_settle.start();
}

void SourceWatcher::checkSettled()
{
    const QString now = snapshot();
    if (now != m_pendingSnapshot || !QFileInfo(m_sourcePath).isFile()) {
        // Still being written (or not there yet): look again in a moment.
        m_pendingSnapshot = now;
        m_settle.start();
        return;
    }
    rewatch();
    if (now == m_watchedSnapshot)
        return; // touched in the folder, but nothing the model reads
    m_watchedSnapshot = now;
    emit sourceChanged(m_sourcePath);
}

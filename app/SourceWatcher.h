#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

// Tells when the file of the open model, or a texture or other file it reads
// beside it, has been saved again: once every watched file has kept its size
// and time for a moment, so a model tool that is still writing is not read
// half way. Saves that replace the file (write a new one and rename it over
// the old) are followed too.
class SourceWatcher : public QObject {
    Q_OBJECT
public:
    explicit SourceWatcher(QObject* parent = nullptr);

    void watch(const QString& sourcePath);
    void stop();
    QString sourcePath() const { return m_sourcePath; }

    // How long the files must stay unchanged; tests shorten it.
    void setSettleInterval(int milliseconds) { m_settle.setInterval(milliseconds); }

signals:
    void sourceChanged(const QString& sourcePath);

private:
    void somethingChanged();
    void checkSettled();
    QString snapshot() const;
    void rewatch();

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QString m_sourcePath;
    QString m_watchedSnapshot; // of the files as last loaded
    QString m_pendingSnapshot; // of the files while a save is under way
};

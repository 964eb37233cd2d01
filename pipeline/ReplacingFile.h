#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <sys/types.h>

// A file that replaces its target whole or not at all, and never through a
// link. The bytes go to a new file beside the target, created with O_EXCL and
// O_NOFOLLOW so that nothing planted under that name is opened; every write
// is checked and the first failure sticks (later writes fail too), and
// commit() then checks fsync and close before it renames the file onto the
// target's name. A rename replaces a link at that name itself, never the file
// it points to. On any failure the new file is removed, the previous target
// stays as it was and errorString() gives the system's reason.
//
// A link at the target that another user made in a shared folder (sticky and
// writable by all, like /tmp) is refused before anything is written, as the
// kernel's protected-links rule refuses to follow it: replacing it would
// work for root only and fail late for everyone else.
class ReplacingFile : public QIODevice {
public:
    explicit ReplacingFile(const QString& targetPath = QString());
    ~ReplacingFile() override; // discards what was not committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    void setFileName(const QString& targetPath);
    QString fileName() const { return m_target; }

    // Write-only; the device then writes and seeks until commit().
    bool open(OpenMode mode) override;
    bool commit();
    void discard();
    void close() override { discard(); }
    bool hasFailed() const { return m_failed; }

    bool isSequential() const override { return false; }
    bool seek(qint64 position) override;
    qint64 size() const override;

    // Why targetPath cannot be replaced (a folder, another user's link in a
    // shared folder); empty when it can. Creates nothing.
    static QString refusalOf(const QString& targetPath);

    // From now on, this process puts files in place only while parent is its
    // parent process: a conversion that outlives the batch that started it
    // leaves the batch's outputs as the batch's caller last saw them.
    static void replaceOnlyWhileParentIs(pid_t parent);

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override;

private:
    bool fail(const QString& reason);
    bool failWithSystemError();
    bool createTemporary();
    bool writePending();
    void removeTemporary();

    QString m_target;
    QByteArray m_name; // of the target, in its folder
    QByteArray m_temporaryName;
    QByteArray m_pending; // written, not yet handed to the system
    qint64 m_pendingOffset = 0; // where m_pending goes in the file
    int m_folder = -1;
    int m_descriptor = -1;
    bool m_failed = false;
};

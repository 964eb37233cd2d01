#pragma once

// Small helpers shared by the pipeline tests: running the real zip peers
// (Info-ZIP, Python's zipfile), writing files, and making a folder refuse
// writes even when the tests run as root.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <unistd.h>

namespace testsupport {

struct ProcessResult {
    bool started = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ProcessResult runProgram(const QString& program, const QStringList& arguments,
                                const QString& workingFolder = QString(), const QByteArray& input = QByteArray())
{
    ProcessResult result;
    QProcess process;
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return result;
    result.started = true;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// The system interpreter first: the tests run with a private HOME, in which
// per-user interpreter shims do not work.
inline QString python()
{
    const QString system = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
    return system.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("python3")) : system;
}

inline ProcessResult runPython(const QString& script, const QStringList& arguments = QStringList())
{
    QStringList all{QStringLiteral("-c"), script};
    all += arguments;
    return runProgram(python(), all);
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Relative path -> MD5 of every regular file below folder.
inline QMap<QString, QByteArray> treeDigest(const QString& folder)
{
    QMap<QString, QByteArray> digest;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        digest.insert(QDir(folder).relativeFilePath(path),
                      QCryptographicHash::hash(readFile(path), QCryptographicHash::Md5));
    }
    return digest;
}

// Every entry (files and folders, hidden included) below folder, relative.
inline QStringList treeEntries(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << QDir(folder).relativeFilePath(it.next());
    entries.sort();
    return entries;
}

// Makes a folder refuse new entries and removals. Root ignores permission
// bits, so there the immutable attribute is used; when neither works the
// guard reports it and the test skips.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder)
        : m_folder(folder)
    {
        if (folder.isEmpty())
            return;
        if (geteuid() != 0) {
            m_active = QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            m_immutable = false;
        } else {
            m_active = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), folder}) == 0;
            m_immutable = true;
        }
    }
    ~ReadOnlyFolder() { release(); }
    bool isActive() const { return m_active; }
    void release()
    {
        if (!m_active)
            return;
        if (m_immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_folder});
        else
            QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_active = false;
    }

private:
    QString m_folder;
    bool m_active = false;
    bool m_immutable = false;
};

} // namespace testsupport

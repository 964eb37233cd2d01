#pragma once

// Small helpers shared by the pipeline tests: running programs (Info-ZIP,
// Python), reading and writing files, and making a folder refuse writes even
// when the tests run as root.

#include <QtCore>

#include <unistd.h>

namespace testsupport {

struct ProcessResult {
    int exitCode = -1; // -1 also when it did not start or crashed
    QByteArray out;
    QByteArray err;
};

inline ProcessResult runProgram(const QString& program, const QStringList& arguments,
                                const QString& workingFolder = QString(), const QByteArray& input = QByteArray())
{
    QProcess process;
    process.setWorkingDirectory(workingFolder);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return {finished ? process.exitCode() : -1, process.readAllStandardOutput(), process.readAllStandardError()};
}

// The system interpreter: the tests run with a private HOME, in which
// per-user interpreter shims do not work.
inline ProcessResult runPython(const QString& script, const QStringList& arguments, const QByteArray& input = {})
{
    return runProgram("/usr/bin/python3", QStringList {"-c", script} + arguments, QString(), input);
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

// Relative path -> MD5 of every regular file below folder (links not followed).
inline QMap<QString, QByteArray> treeDigest(const QString& folder)
{
    QMap<QString, QByteArray> digest;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        digest.insert(QDir(folder).relativeFilePath(path),
                      QCryptographicHash::hash(readFile(path), QCryptographicHash::Md5));
    }
    return digest;
}

// Whether a process is alive: neither gone nor a zombie waiting to be reaped.
inline bool processRuns(qint64 pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const int end = stat.lastIndexOf(')');
    return end > 0 && stat.size() > end + 2 && stat.at(end + 2) != 'Z' && stat.at(end + 2) != 'X';
}

// Makes a folder refuse new entries and removals. Root ignores permission
// bits, so there the immutable attribute is used; a test skips when neither
// works.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder)
        : m_folder(folder)
    {
        m_active = !folder.isEmpty() && lock(true);
    }
    ~ReadOnlyFolder() { release(); }
    bool isActive() const { return m_active; }
    void release() { m_active = m_active && !lock(false); }

private:
    bool lock(bool on)
    {
        if (geteuid() == 0)
            return QProcess::execute("chattr", {on ? "+i" : "-i", m_folder}) == 0;
        return QFile::setPermissions(m_folder,
                                     QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                         | (on ? QFileDevice::Permissions() : QFileDevice::WriteOwner));
    }
    QString m_folder;
    bool m_active = false;
};

} // namespace testsupport

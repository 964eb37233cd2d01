#pragma once

// Small helpers shared by the pipeline tests: running programs (Info-ZIP,
// Python), reading and writing files, and making a folder refuse writes even
// when the tests run as root.

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace testsupport {

struct ProcessResult {
    int exitCode = -1;  // -1 also when it did not start or crashed
    QByteArray out;
    QByteArray err;
};

inline ProcessResult runProgram(const QString& program, const QStringList& arguments,
                                const QString& workingFolder = QString(), const QByteArray& input = QByteArray())
{
    ProcessResult result;
    QProcess process;
    process.setWorkingDirectory(workingFolder);
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return result;
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
inline ProcessResult runPython(const QString& script, const QStringList& arguments, const QByteArray& input = {})
{
    QString python = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
    if (python.isEmpty())
        python = QStringLiteral("python3");
    return runProgram(python, QStringList{QStringLiteral("-c"), script} + arguments, QString(), input);
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
        digest.insert(QDir(folder).relativeFilePath(path), QCryptographicHash::hash(readFile(path), QCryptographicHash::Md5));
    }
    return digest;
}

// Makes a folder refuse new entries and removals. Root ignores permission
// bits, so there the immutable attribute is used; a test skips when neither
// works.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder)
        : m_folder(folder)
    {
        if (folder.isEmpty())
            return;
        m_active = m_root ? QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), folder}) == 0
                          : QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    ~ReadOnlyFolder() { release(); }
    bool isActive() const { return m_active; }
    void release()
    {
        if (m_active && m_root)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_folder});
        else if (m_active)
            QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_active = false;
    }

private:
    QString m_folder;
    bool m_root = geteuid() == 0;
    bool m_active = false;
};

} // namespace testsupport

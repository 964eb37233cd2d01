#include "PipelineTestSupport.h"

#include "../engine/GpbBuilder.h"

#include <unistd.h>

namespace testsupport {

ProcessResult runProgram(const QString& program, const QStringList& arguments, const QString& workingFolder,
                         const QByteArray& input)
{
    QProcess process;
    process.setWorkingDirectory(workingFolder);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return {finished ? process.exitCode() : -1, process.readAllStandardOutput(), process.readAllStandardError()};
}

ProcessResult runPython(const QString& script, const QStringList& arguments, const QByteArray& input)
{
    return runProgram("/usr/bin/python3", QStringList {"-c", script} + arguments, QString(), input);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QMap<QString, QByteArray> treeDigest(const QString& folder)
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

bool processRuns(qint64 pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const int end = stat.lastIndexOf(')');
    return end > 0 && stat.size() > end + 2 && stat.at(end + 2) != 'Z' && stat.at(end + 2) != 'X';
}

QVector<qint64> childrenOf(qint64 pid)
{
    QVector<qint64> children;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        const QByteArray stat = readFile("/proc/" + entry + "/stat");
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == pid)
            children.append(entry.toLongLong());
    }
    return children;
}

ReadOnlyFolder::ReadOnlyFolder(const QString& folder)
    : m_folder(folder)
{
    m_active = !folder.isEmpty() && lock(true);
}

void ReadOnlyFolder::release() { m_active = m_active && !lock(false); }

bool ReadOnlyFolder::lock(bool on)
{
    if (geteuid() == 0)
        return QProcess::execute("chattr", {on ? "+i" : "-i", m_folder}) == 0;
    return QFile::setPermissions(m_folder,
                                 QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                     | (on ? QFileDevice::Permissions() : QFileDevice::WriteOwner));
}

} // namespace testsupport

namespace FakeEncoder {

QByteArray bundleBytesFor(const QString& inputPath)
{
    return ZipFixture::bundle() + "VELMORA-FAKE\n" + inputPath.toUtf8() + '\n';
}

// printf's format for these bytes, each as an octal escape.
static QString printfBytes(const QByteArray& bytes)
{
    QString format;
    for (const char byte : bytes)
        format += QStringLiteral("\\%1").arg(uint(uchar(byte)), 3, 8, QLatin1Char('0'));
    return format;
}

static QString scriptBody(Behaviour behaviour, const QString& recordFolder)
{
    // printf, not echo: echo would turn the escaped "\n" into a line break.
    const QString normal = QStringLiteral("printf '%1' > \"$8\"\nprintf 'VELMORA-FAKE\\n%s\\n' \"$7\" >> \"$8\"\n")
                               .arg(printfBytes(ZipFixture::bundle()))
        + QStringLiteral("printf 'Read file: %s %s\\n' \"$(md5sum < \"$7\" | cut -c1-32)\" \"$7\"\n"
                         "printf '%s\\n' 'Loading scene...' 'Warning (GP#2001|Fake warning): from stdout'\n"
                         "printf '\\000Warning (GP#2009|Hidden): console text ends at a zero byte\\n'\n"
                         "printf '%s\\n' 'Error (GP#1001|Fake error): from stderr\\nsecond line' >&2\n");
    QString body = QStringLiteral("#!/bin/sh\n"
                                  "echo $$ > '%1/pid.txt'\n"
                                  "pwd > '%1/cwd.txt'\n"
                                  "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1/args.txt'\n")
                       .arg(recordFolder);
    switch (behaviour) {
    case Behaviour::Normal:
        return body + normal;
    case Behaviour::Crash:
        return body + "printf '%s\\n' 'Warning (GP#2002|Before crash): about to crash'\nkill -SEGV $$\nsleep 5\n";
    case Behaviour::FailWithoutModel:
        return body + "printf '%s\\n' 'Error (GP#1002|Cannot read): the file is not an FBX file' >&2\nexit 3\n";
    case Behaviour::SucceedWithoutModel:
        return body + "exit 0\n";
    case Behaviour::UnreadableModel:
        return body + "printf 'GPB, cut short' > \"$8\"\n";
    case Behaviour::Huge:
        return body
            + "for i in $(seq 40); do head -c 200000 /dev/zero | tr '\\0' o; echo;"
              " head -c 200000 /dev/zero | tr '\\0' e >&2; echo >&2; done\n"
            + normal;
    case Behaviour::Slow: // short sleeps, so that nothing outlives a killed encoder for long
        return body + "for i in $(seq 200); do sleep 0.1; done\n" + normal;
    case Behaviour::Brief:
        return body
            + QStringLiteral("echo start >> '%1/events.txt'\nsleep 0.5\necho end >> '%1/events.txt'\n")
                  .arg(recordFolder)
            + "mkdir -p \"$(dirname \"$8\")\"\n" + normal;
    case Behaviour::ReadsInput:
        return body + "cat > /dev/null\n" + normal;
    case Behaviour::WaitsForGo:
        return body
            + QStringLiteral("for i in $(seq 300); do [ -e '%1/go' ] && break; sleep 0.1; done\n").arg(recordFolder)
            + normal;
    }
    return body;
}

bool install(const QString& applicationParent, Behaviour behaviour, const QString& recordFolder)
{
    const QString script = applicationParent + QStringLiteral("/tools/linux/model-encoder");
    QFile::remove(script); // a fresh file: an encoder still running may hold the old one
    return QDir().mkpath(recordFolder)
        && testsupport::writeFile(applicationParent + QStringLiteral("/res/shaders/colored.vert"), "void main() {}\n")
        && testsupport::writeFile(applicationParent + QStringLiteral("/res/shaders/lib/common.glsl"), "// common\n")
        && testsupport::writeFile(script, scriptBody(behaviour, recordFolder).toUtf8())
        && QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace FakeEncoder

namespace ZipFixture {

bool write(const QString& archivePath, const Entries& entries, const QString& method)
{
    QJsonArray list;
    for (const auto& entry : entries)
        list.append(QJsonArray {entry.first, QString::fromLatin1(entry.second.toBase64())});
    const QString script = QStringLiteral("import sys, json, zipfile, base64\n"
                                          "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.%1) as z:\n"
                                          "    for name, data in json.load(sys.stdin):\n"
                                          "        z.writestr(name, base64.b64decode(data))\n")
                               .arg(method);
    return testsupport::runPython(script, {archivePath}, QJsonDocument(list).toJson()).exitCode == 0;
}

QByteArray versionFile(const QByteArray& version, const QByteArray& formatJson)
{
    return "{\"encoderversion\":\"" + version + "\",\"format\":" + formatJson + "}\n";
}

QByteArray bundle()
{
    enginetest::GpbBuilder b;
    b.record("scene", 1);
    b.u32(1);
    b.leaf("box", 0, "#mesh");
    b.sceneEnd();
    b.mesh("mesh", 3);
    return QByteArray::fromStdString(b.build());
}

QByteArray pngOfSize(int width, int height)
{
    const char* const script = R"PY(
import struct, sys, zlib
def chunk(kind, data): return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
header = struct.pack('>IIBBBBB', int(sys.argv[1]), int(sys.argv[2]), 8, 6, 0, 0, 0)
sys.stdout.buffer.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(bytes(64))) + chunk(b'IEND', b''))
)PY";
    return testsupport::runPython(script, {QString::number(width), QString::number(height)}).out;
}

Entries validModel(const QByteArray& formatJson, const QByteArray& version)
{
    return {{"model/model.gpb", bundle()},
            {"model/version", versionFile(version, formatJson)},
            {"model/shaders/colored.vert", "void main() {}\n"}};
}

} // namespace ZipFixture

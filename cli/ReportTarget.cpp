#include "ReportTarget.h"

#include "CanonicalPath.h"
#include "OutputFolder.h"
#include "ReplacingFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("CommandLineConverter", text); }

// Longer than any record the encoder's messages make; a file of other bytes
// without line breaks is not read whole to find that out.
const qint64 kMaxLineLength = 16 << 20;

bool isReportLine(const QByteArray& line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject())
        return false;
    const QJsonObject object = document.object();
    return object.value(QLatin1String("summary")).isObject()
        || (object.value(QLatin1String("input")).isString() && object.value(QLatin1String("status")).isString());
}

bool isSummaryLine(const QByteArray& line)
{
    return QJsonDocument::fromJson(line).object().value(QLatin1String("summary")).isObject();
}

} // namespace

QString ReportTarget::refusalOf(const QString& reportPath, const QStringList& inputs, const QStringList& outputs)
{
    const QString shown = QDir::toNativeSeparators(reportPath);
    const QString report = CanonicalPath::of(reportPath);
    for (const QString& input : inputs) {
        if (CanonicalPath::of(input) == report || isSameFile(reportPath, input))
            return tr("The report %1 would replace an input of this run; choose another file for --report.").arg(shown);
    }
    for (const QString& output : outputs) {
        if (CanonicalPath::of(output) == report || isSameFile(reportPath, output))
            return tr("The report %1 would replace an output of this run; choose another file for --report.")
                .arg(shown);
    }
    const QString refusal = ReplacingFile::refusalOf(reportPath);
    if (!refusal.isEmpty())
        return tr("Cannot write the report %1: %2").arg(shown, refusal);
    return contentRefusal(reportPath);
}

bool ReportTarget::createFolder(const QString& reportPath, QString* error)
{
    QString reason;
    if (OutputFolder::create(QFileInfo(reportPath).absolutePath(), &reason))
        return true;
    *error = tr("Cannot write the report %1: %2").arg(QDir::toNativeSeparators(reportPath), reason);
    return false;
}

QString ReportTarget::contentRefusal(const QString& reportPath)
{
    // Not blocking: a named pipe there must not hang the run before it starts.
    const int descriptor = ::open(QFile::encodeName(reportPath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0 && errno == ENOENT)
        return QString(); // nothing there yet (or a link to nothing, which the report then replaces)
    if (descriptor < 0)
        return tr("The report %1 cannot be read to tell whether it is an earlier report: %2")
            .arg(QDir::toNativeSeparators(reportPath), QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info;
    QFile file;
    const bool regular = ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
    const bool ours = regular && (info.st_size == 0 || (file.open(descriptor, QIODevice::ReadOnly) && isReport(file)));
    file.close();
    ::close(descriptor);
    if (ours)
        return QString();
    return tr("%1 is not a report of this program, and --report replaces only those (or an empty file); "
              "choose another file or remove it first.")
        .arg(QDir::toNativeSeparators(reportPath));
}

bool ReportTarget::isReport(QIODevice& device)
{
    QByteArray last;
    while (!device.atEnd()) {
        const QByteArray line = device.readLine(kMaxLineLength);
        if (!line.endsWith('\n') || !isReportLine(line))
            return false;
        last = line;
    }
    return isSummaryLine(last);
}

bool ReportTarget::isSameFile(const QString& reportPath, const QString& other)
{
    struct stat report;
    struct stat file;
    return ::stat(QFile::encodeName(reportPath).constData(), &report) == 0
        && ::stat(QFile::encodeName(other).constData(), &file) == 0 && report.st_dev == file.st_dev
        && report.st_ino == file.st_ino;
}

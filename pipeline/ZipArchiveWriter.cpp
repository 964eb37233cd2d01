#include "ZipArchiveWriter.h"

#include "ZipDeviceIo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <minizip/zip.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Large blocks keep the per-call overhead of reading and deflating small;
// the file itself is still streamed, never read whole.
const int kCopyBlockSize = 256 * 1024;
const uLong kUtf8NameFlag = 1u << 11;
const qint64 kZip64Threshold = 0x80000000LL;  // 2 GiB
// "Made by Unix, zip 2.0": Info-ZIP converts names of archives made by DOS
// from an OEM code page, which garbles UTF-8 names even with their flag set.
const uLong kVersionMadeBy = (3u << 8) | 20u;
const uLong kRegularFileAttributes = 0100644u << 16;  // rw-r--r--

zipFile zipOf(void* handle)
{
    return static_cast<zipFile>(handle);
}

void printLine(const QString& text)
{
    std::printf("%s\n", text.toLocal8Bit().constData());
}

// DOS date and time of the file's last write in local time. DOS dates cover
// 1980 to 2107 only; times outside are clamped rather than wrapped.
uLong dosDateTime(const QDateTime& lastModified)
{
    const QDateTime local = lastModified.isValid() ? lastModified.toLocalTime() : QDateTime::currentDateTime();
    const QDate date = local.date();
    const QTime time = local.time();
    if (date.year() < 1980)
        return (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
    if (date.year() > 2107)
        return (uLong(127) << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
    const uLong dosDate = (uLong(date.year() - 1980) << 9) | (uLong(date.month()) << 5) | uLong(date.day());
    const uLong dosTime = (uLong(time.hour()) << 11) | (uLong(time.minute()) << 5) | uLong(time.second() / 2);
    return (dosDate << 16) | dosTime;
}

QString stripLeadingSeparators(const QString& name)
{
    int start = 0;
    while (start < name.size() && (name.at(start) == QLatin1Char('/') || name.at(start) == QLatin1Char('\\')))
        ++start;
    return name.mid(start);
}

} // namespace

ZipArchiveWriter::ZipArchiveWriter() = default;

ZipArchiveWriter::~ZipArchiveWriter()
{
    if (m_zip) {
        zipClose(zipOf(m_zip), nullptr);
        m_zip = nullptr;
    }
    // An unclosed QSaveFile discards its temporary file when destroyed.
}

bool ZipArchiveWriter::fail(const QString& message)
{
    if (m_error.isEmpty())
        m_error = message;
    printLine(message);
    return false;
}

bool ZipArchiveWriter::open(const QString& archivePath)
{
    m_error.clear();
    m_fileCount = 0;
    m_file.setFileName(archivePath);
    if (!m_file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1: %2").arg(archivePath, m_file.errorString()));

    zlib_filefunc64_def io = ZipDeviceIo::functionsFor(&m_file);
    m_zip = zipOpen2_64("", APPEND_STATUS_CREATE, nullptr, &io);
    if (!m_zip) {
        m_file.cancelWriting();
        return fail(QStringLiteral("cannot start the archive %1").arg(archivePath));
    }
    return true;
}

bool ZipArchiveWriter::addFolder(const QString& folder, const QString& prefix)
{
    const QDir dir(folder);
    if (!dir.exists())
        return fail(QStringLiteral("folder %1 does not exist").arg(folder));

    bool ok = true;
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                                    QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        const QString path = folder + QLatin1Char('/') + entry.fileName();
        const QString name = prefix + QLatin1Char('/') + entry.fileName();
        // Links are not followed: a linked folder could loop, and a link
        // could pull files from anywhere on the disk into the archive.
        if (entry.isSymLink()) {
            printLine(QStringLiteral("skipping link %1").arg(path));
            continue;
        }
        if (entry.isDir())
            ok = addFolder(path, name) && ok;
        else if (entry.isFile())
            ok = addFile(path, name) && ok;
        if (!ok)
            break;
    }
    return ok;
}

bool ZipArchiveWriter::addFile(const QString& filePath, const QString& entryName)
{
    if (!m_zip)
        return fail(QStringLiteral("error in opening %1 in zipfile").arg(filePath));

    QFile in(filePath);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(QStringLiteral("error in opening %1 for reading").arg(filePath));
    const qint64 size = in.size();
    printLine(QStringLiteral("File : %1 is %2 bytes").arg(filePath).arg(size));

    zip_fileinfo info{};
    info.dosDate = dosDateTime(QFileInfo(filePath).lastModified());
    info.external_fa = kRegularFileAttributes;
    const int zip64 = size >= kZip64Threshold ? 1 : 0;
    const QByteArray name = stripLeadingSeparators(entryName).toUtf8();

    if (zipOpenNewFileInZip4_64(zipOf(m_zip), name.constData(), &info, nullptr, 0, nullptr, 0, nullptr,
                                Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                Z_DEFAULT_STRATEGY, nullptr, 0, kVersionMadeBy, kUtf8NameFlag, zip64)
        != ZIP_OK)
        return fail(QStringLiteral("error in opening %1 in zipfile").arg(filePath));

    std::vector<char> buffer(kCopyBlockSize);
    bool ok = true;
    for (;;) {
        const qint64 n = in.read(buffer.data(), qint64(buffer.size()));
        if (n < 0) {
            ok = fail(QStringLiteral("error in reading %1").arg(filePath));
            break;
        }
        if (n == 0)
            break;
        if (zipWriteInFileInZip(zipOf(m_zip), buffer.data(), unsigned(n)) != ZIP_OK) {
            ok = fail(QStringLiteral("error in writing %1 in the zipfile").arg(filePath));
            break;
        }
    }
    if (zipCloseFileInZip(zipOf(m_zip)) != ZIP_OK && ok)
        ok = fail(QStringLiteral("error in closing %1 in the zipfile").arg(filePath));
    if (ok)
        ++m_fileCount;
    return ok;
}

bool ZipArchiveWriter::close()
{
    if (!m_zip) {
        if (m_file.isOpen()) {
            m_file.cancelWriting();
            m_file.commit();
        }
        return fail(QStringLiteral("the archive was not open"));
    }
    const int closed = zipClose(zipOf(m_zip), nullptr);
    m_zip = nullptr;
    if (closed != ZIP_OK)
        fail(QStringLiteral("error in closing %1").arg(m_file.fileName()));
    if (hasError()) {
        // Discards the temporary file; the previous target stays as it was.
        m_file.cancelWriting();
        m_file.commit();
        return false;
    }
    if (!m_file.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
    return true;
}

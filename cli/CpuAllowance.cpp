#include "CpuAllowance.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <sched.h>
#endif

namespace {

const char* const kCgroupRoot = "/sys/fs/cgroup";

QByteArray readSmallFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(4096).trimmed() : QByteArray();
}

// The smaller limit of two, where 0 is none.
int tighter(int a, int b)
{
    if (a == 0 || b == 0)
        return std::max(a, b);
    return std::min(a, b);
}

} // namespace

int CpuAllowance::usable()
{
    const int affinity = affinityCpus();
    const int quota = cgroupQuotaCpus();
    return std::max(1, tighter(affinity, quota));
}

int CpuAllowance::quotaCpus(qint64 quota, qint64 period)
{
    if (quota <= 0 || period <= 0)
        return 0;
    return int(std::min<qint64>((quota + period - 1) / period, 1 << 16));
}

int CpuAllowance::quotaCpusOfCpuMax(const QByteArray& text)
{
    const QList<QByteArray> fields = text.simplified().split(' ');
    bool quotaRead = false;
    bool periodRead = false;
    const qint64 quota = fields.value(0).toLongLong(&quotaRead);
    const qint64 period = fields.value(1).toLongLong(&periodRead);
    return quotaRead && periodRead ? quotaCpus(quota, period) : 0;
}

int CpuAllowance::affinityCpus()
{
#ifdef Q_OS_LINUX
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
#endif
    return QThread::idealThreadCount();
}

// The control group this process is in, and every group above it, may each
// set a quota; the tightest counts. A group named in /proc/self/cgroup that is
// not visible (another mount namespace) is passed over.
int CpuAllowance::cgroupQuotaCpus()
{
    QFile membership(QStringLiteral("/proc/self/cgroup"));
    if (!membership.open(QIODevice::ReadOnly))
        return 0;
    int limit = 0;
    for (const QByteArray& line : membership.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(':'); // id:controllers:path
        if (fields.size() < 3)
            continue;
        const bool unified = fields.at(0) == "0" && fields.at(1).isEmpty();
        if (!unified && !fields.at(1).split(',').contains("cpu"))
            continue;
        const QString mount = unified
            ? QString::fromLatin1(kCgroupRoot)
            : QString::fromLatin1(kCgroupRoot) + QLatin1Char('/') + QString::fromLatin1(fields.at(1));
        QString group = QDir::cleanPath(mount + QLatin1Char('/') + QString::fromUtf8(fields.mid(2).join(':')));
        for (;;) {
            limit = tighter(limit, quotaCpusOfFolder(group, unified));
            if (group.size() <= mount.size())
                break;
            group = QDir::cleanPath(group + QStringLiteral("/.."));
        }
    }
    return limit;
}

int CpuAllowance::quotaCpusOfFolder(const QString& folder, bool unified)
{
    if (unified)
        return quotaCpusOfCpuMax(readSmallFile(folder + QStringLiteral("/cpu.max")));
    const QByteArray quota = readSmallFile(folder + QStringLiteral("/cpu.cfs_quota_us"));
    const QByteArray period = readSmallFile(folder + QStringLiteral("/cpu.cfs_period_us"));
    return quotaCpusOfCpuMax(quota + ' ' + period);
}

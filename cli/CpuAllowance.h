#pragma once

#include <QByteArray>
#include <QString>

// How many processors this process may keep busy: those its affinity mask
// allows (taskset, a scheduler's cpuset), or fewer where a control group's
// CPU quota allows less (a container or a job limited to 1.5 CPUs keeps two
// busy at most). A batch started on a large node with one CPU granted must
// not start one conversion per core of the node.
class CpuAllowance {
public:
    static int usable();

    // The processors a cgroup v2 "cpu.max" file ("max 100000", "150000
    // 100000": quota and period in microseconds) allows, rounded up; 0 when
    // there is no limit or the text makes no sense.
    static int quotaCpusOfCpuMax(const QByteArray& text);

private:
    static int quotaCpus(qint64 quota, qint64 period);
    static int affinityCpus();
    static int cgroupQuotaCpus();
    static int quotaCpusOfFolder(const QString& folder, bool unified);
};

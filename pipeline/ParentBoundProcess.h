#pragma once

#include <QProcess>

#include <sys/types.h>

// A child process tied to the life of ours: when this process dies, even by
// SIGKILL, the kernel kills the child too instead of leaving it running as an
// orphan. The child stays in our process group, so a signal to the group
// reaches it as well.
class ParentBoundProcess : public QProcess {
public:
    explicit ParentBoundProcess(QObject* parent = nullptr);

protected:
    void setupChildProcess() override;

private:
    pid_t m_parentPid;
};

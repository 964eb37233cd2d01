#include "ParentBoundProcess.h"

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

ParentBoundProcess::ParentBoundProcess(QObject* parent)
    : QProcess(parent)
    , m_parentPid(::getpid())
{
}

// Runs in the child between fork and exec: only async-signal-safe calls.
void ParentBoundProcess::setupChildProcess()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have died before the line above took effect.
    if (::getppid() != m_parentPid)
        ::_exit(127);
}

#pragma once

#include <QProcess>

#include <sys/types.h>

// The encoder's process, tied to the life of ours: when the application or
// the converter dies, even by SIGKILL, the kernel kills the encoder too
// instead of leaving it running as an orphan.
class EncoderChildProcess : public QProcess {
public:
    EncoderChildProcess();

protected:
    void setupChildProcess() override;

private:
    pid_t m_parentPid;
};

#pragma once

#include <QProcess>

#include <sys/types.h>

// The encoder's process, tied to the life of ours: when the application or
// the converter dies, even by SIGKILL, the kernel kills the encoder too
// instead of leaving it running as an orphan. Its heap asks for transparent
// huge pages.
class EncoderChildProcess : public QProcess {
public:
    EncoderChildProcess();

    // The malloc tunables the encoder runs with: the caller's, asking for
    // transparent huge pages unless they say otherwise.
    static QString withHugePages(const QString& tunables);

protected:
    void setupChildProcess() override;

private:
    pid_t m_parentPid;
};

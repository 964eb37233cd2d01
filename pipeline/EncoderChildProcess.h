#pragma once

#include "ParentBoundProcess.h"

// The encoder's process, tied to the life of ours (when the application or
// the converter dies, even by SIGKILL, the encoder dies too). Its heap asks
// for transparent huge pages.
class EncoderChildProcess : public ParentBoundProcess {
public:
    EncoderChildProcess();

    // The malloc tunables the encoder runs with: the caller's, asking for
    // transparent huge pages unless they say otherwise.
    static QString withHugePages(const QString& tunables);
};

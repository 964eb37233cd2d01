#pragma once

#include <atomic>

// SIGTERM and SIGINT during a console command (--convert, --info,
// --thumbnail) only record that a stop was asked for: the command notices
// between its steps and while it unpacks, encodes, draws or packs, cleans up,
// and then ends the way the signal would have, so that the caller sees what
// stopped it (143 or 130 from a shell).
class ConsoleStop {
public:
    ConsoleStop(); // installs the handlers
    ~ConsoleStop(); // restores the previous ones
    ConsoleStop(const ConsoleStop&) = delete;
    ConsoleStop& operator=(const ConsoleStop&) = delete;

    static bool requested();
    // The flag the handlers set, for work that polls it; nothing owns it.
    static std::atomic<bool>* flag();
    // Re-raises the recorded signal with its default action; returns when
    // none was recorded.
    static void endByRecordedSignal();
    // What the process ends with: 128 + the recorded signal (143, 130) as a
    // shell shows it once endByRecordedSignal() ran, else exitCode.
    static int exitCodeOr(int exitCode);

private:
    struct Previous;
    Previous* m_previous;
};

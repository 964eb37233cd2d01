#pragma once

#include <atomic>

// SIGTERM and SIGINT only record that a stop was asked for; console work
// notices between its steps (the encoder run polls the flag and kills the
// encoder) and cleans up as on any other way out.
class StopRequest {
public:
    // Catches both signals while it lives, and restores the previous
    // handlers afterwards.
    StopRequest();
    ~StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;

    static bool isRequested();
    // The flag the handler sets; it lives as long as the process.
    static std::atomic<bool>* flag();

    // Ends the process the way the recorded signal would have, now that
    // everything is cleaned up, so that the caller sees what stopped it.
    static void endByRecordedSignal();

private:
    struct Previous;
    Previous* m_previous;
};

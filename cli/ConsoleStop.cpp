#include "ConsoleStop.h"

#include <csignal>

namespace {

std::atomic<bool> s_stopRequested {false};
volatile std::sig_atomic_t s_stopSignal = 0;
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler may only store lock-free");

extern "C" void recordStop(int signalNumber)
{
    s_stopSignal = signalNumber;
    s_stopRequested.store(true);
}

} // namespace

struct ConsoleStop::Previous {
    struct sigaction terminate { };
    struct sigaction interrupt { };
};

ConsoleStop::ConsoleStop()
    : m_previous(new Previous)
{
    struct sigaction action { };
    action.sa_handler = recordStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, &m_previous->terminate);
    sigaction(SIGINT, &action, &m_previous->interrupt);
}

ConsoleStop::~ConsoleStop()
{
    sigaction(SIGTERM, &m_previous->terminate, nullptr);
    sigaction(SIGINT, &m_previous->interrupt, nullptr);
    delete m_previous;
}

bool ConsoleStop::requested() { return s_stopRequested.load(); }

std::atomic<bool>* ConsoleStop::flag() { return &s_stopRequested; }

int ConsoleStop::exitCodeOr(int exitCode)
{
    const int signalNumber = s_stopSignal;
    return signalNumber == 0 ? exitCode : 128 + signalNumber;
}

void ConsoleStop::endByRecordedSignal()
{
    const int signalNumber = s_stopSignal;
    if (signalNumber == 0)
        return;
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

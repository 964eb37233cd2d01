#include "QuitSignals_Linux.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// One pair per process: [0] is written by the handler, [1] read by Qt.
int s_signalPipe[2] = {-1, -1};

extern "C" void forwardQuitSignal(int signalNumber)
{
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    // Nothing to do if the pipe is full: a quit is already on its way.
    const ssize_t written = ::write(s_signalPipe[0], &number, 1);
    static_cast<void>(written);
}

void setHandler(int signalNumber, void (*handler)(int))
{
    struct sigaction action { };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

} // namespace

QuitSignals_Linux::QuitSignals_Linux(QObject* parent)
    : QObject(parent)
{
    if (s_signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_signalPipe) != 0)
        return;
    ::fcntl(s_signalPipe[0], F_SETFL, O_NONBLOCK);
    m_notifier = new QSocketNotifier(s_signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals_Linux::readSignal);
    setHandler(SIGTERM, forwardQuitSignal);
    setHandler(SIGINT, forwardQuitSignal);
}

QuitSignals_Linux::~QuitSignals_Linux()
{
    if (!m_notifier)
        return;
    setHandler(SIGTERM, SIG_DFL);
    setHandler(SIGINT, SIG_DFL);
    delete m_notifier;
    ::close(s_signalPipe[0]);
    ::close(s_signalPipe[1]);
    s_signalPipe[0] = s_signalPipe[1] = -1;
}

void QuitSignals_Linux::readSignal()
{
    unsigned char number = 0;
    if (::read(s_signalPipe[1], &number, 1) == 1)
        emit quitRequested(int(number));
}

#include "MonitorSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace zelk::monitor {

namespace {

// One pipe for the process: the handler may touch nothing but this and write(2).
int gPipe[2] = {-1, -1};

void OnSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
    errno = saved;
}

void SetHandler(int signal, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

} // namespace

TMonitorStopSignals::TMonitorStopSignals(std::function<void()> OnStop, QObject* parent)
    : QObject(parent), FOnStop(std::move(OnStop)) {
    if (gPipe[0] < 0 && ::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    FNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TMonitorStopSignals::Drain);
    // SA_RESETHAND: the second signal finds the default action in place again.
    SetHandler(SIGINT, OnSignal, SA_RESETHAND | SA_RESTART);
    SetHandler(SIGTERM, OnSignal, SA_RESETHAND | SA_RESTART);
}

TMonitorStopSignals::~TMonitorStopSignals() {
    if (!FNotifier)
        return;
    SetHandler(SIGINT, SIG_DFL, 0);
    SetHandler(SIGTERM, SIG_DFL, 0);
}

void TMonitorStopSignals::Drain() {
    char bytes[16];
    bool signalled = false;
    while (::read(gPipe[0], bytes, sizeof bytes) > 0)
        signalled = true;
    if (signalled && FOnStop)
        FOnStop();
}

void IgnoreBrokenPipeSignal() {
    SetHandler(SIGPIPE, SIG_IGN, 0);
}

} // namespace zelk::monitor

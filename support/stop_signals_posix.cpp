#include "support/stop_signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// Only what a signal handler may touch: a lock-free atomic, plain fds and
// a text fixed before the handlers are installed.
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> caught{0};
std::atomic<const char*> noticeText{nullptr};
int wakeFds[2] = {-1, -1};

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// write(2) whose result is of no use in a handler: there is no one to tell.
void Put(int fd, const char* bytes, size_t size) {
    if (::write(fd, bytes, size) < 0)
        return;
}

extern "C" void OnStopSignal(int sig) {
    const int savedErrno = errno;
    int none = 0;
    if (!caught.compare_exchange_strong(none, sig)) {
        // A second signal: the program ends as if nothing had caught it.
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        errno = savedErrno;
        return;
    }
    if (const char* notice = noticeText.load())
        Put(STDERR_FILENO, notice, std::strlen(notice));
    const char byte = char(sig);
    // Non-blocking: a full pipe already says a signal came.
    Put(wakeFds[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

void CatchStopSignals(const char* notice) {
    // On a terminal the notice goes below a progress bar, not after it.
    static std::string shown;
    shown = notice ? (::isatty(STDERR_FILENO) ? "\n" : "") + std::string(notice) : std::string();
    noticeText = notice ? shown.c_str() : nullptr;
    if (wakeFds[0] >= 0)
        return;
    if (::pipe2(wakeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        wakeFds[0] = wakeFds[1] = -1;
        std::fprintf(stderr, "Cannot watch for signals: %s\n", std::strerror(errno));
        return;
    }
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    // One handler at a time: a second signal finds the first noted.
    for (const int s : kStopSignals)
        sigaddset(&sa.sa_mask, s);
    sa.sa_flags = SA_RESTART;
    for (const int s : kStopSignals)
        ::sigaction(s, &sa, nullptr);
}

int CaughtStopSignal() {
    return caught.load();
}

void ForgetStopSignal() {
    caught = 0;
}

int StopSignalFd() {
    return wakeFds[0];
}

void DrainStopSignalFd() {
    char buf[64];
    while (wakeFds[0] >= 0 && ::read(wakeFds[0], buf, sizeof buf) > 0) {
    }
}

const char* StopSignalName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "another signal";
    }
}

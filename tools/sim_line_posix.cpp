#include "tools/sim_line.h"

#include "support/errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void SystemFail(const char* what) {
    throw TripError(QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                                 QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

TSimLine::TSimLine() {
    if (::openpty(&device_, &client_, nullptr, nullptr, nullptr) != 0)
        SystemFail("Can not open a pseudo-terminal");
    ::fcntl(device_, F_SETFD, FD_CLOEXEC);
    ::fcntl(client_, F_SETFD, FD_CLOEXEC);
    // A client that stopped reading must not block the device.
    ::fcntl(device_, F_SETFL, ::fcntl(device_, F_GETFL) | O_NONBLOCK);
    // Raw from the start: no echo, no line editing, no CR/LF translation.
    termios t{};
    ::tcgetattr(client_, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B115200);
    ::tcsetattr(client_, TCSANOW, &t);
    char name[128] = {};
    if (::ttyname_r(client_, name, sizeof name) != 0)
        SystemFail("Can not name the pseudo-terminal");
    clientPath_ = QString::fromLocal8Bit(name);
    if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0)
        SystemFail("Can not create a pipe");
}

TSimLine::~TSimLine() {
    for (int fd : {device_, client_, wake_[0], wake_[1]})
        if (fd >= 0)
            ::close(fd);
}

int64_t TSimLine::Write(const char* data, int64_t size) {
    return ::write(device_, data, size_t(size));
}

int64_t TSimLine::Read(char* data, int64_t max) {
    return ::read(device_, data, size_t(max));
}

int TSimLine::ClientQueued() const {
    int queued = 0;
    return ::ioctl(client_, TIOCINQ, &queued) == 0 ? queued : -1;
}

void TSimLine::HangUp() {
    ::close(device_);
    ::close(client_);
    device_ = client_ = -1;
}

TSimLine::TWait TSimLine::Wait(int ms) {
    pollfd fds[2] = {{device_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    const int r = ::poll(fds, 2, ms);
    TWait w;
    if (r < 0) {
        w.interrupted = errno == EINTR;
        w.failed = !w.interrupted;
        return w;
    }
    w.timedOut = r == 0;
    w.woken = fds[1].revents & POLLIN;
    w.readable = fds[0].revents & POLLIN;
    w.hungUp = fds[0].revents & (POLLHUP | POLLERR);
    return w;
}

bool TSimLine::WaitWake(int ms) {
    pollfd p{wake_[0], POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

void TSimLine::Wake(char what) {
    [[maybe_unused]] const auto n = ::write(wake_[1], &what, 1);
}

QByteArray TSimLine::TakeWakes() {
    QByteArray out;
    char buf[64];
    for (ssize_t n; (n = ::read(wake_[0], buf, sizeof buf)) > 0;)
        out.append(buf, n);
    return out;
}

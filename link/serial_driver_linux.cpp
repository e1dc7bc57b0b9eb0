#include "link/serial_driver.h"

#include <QFile>
#include <QFileInfo>

#include <asm/termbits.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

uint32_t DriverBaudRate(qintptr handle) {
    struct termios2 t {};
    if (handle < 0 || ::ioctl(int(handle), TCGETS2, &t) != 0)
        return 0;
    return t.c_ospeed;
}

// Pseudo-terminals and some drivers refuse (ENOTTY, EINVAL).
TLowLatency TurnOnLowLatency(qintptr handle) {
    TLowLatency out;
    serial_struct s{};
    if (::ioctl(int(handle), TIOCGSERIAL, &s) != 0) {
        out.reason = SystemText(errno);
        return out;
    }
    if (s.flags & ASYNC_LOW_LATENCY) {
        out.result = TLowLatency::Result::AlreadyOn;
        return out;
    }
    const int before = s.flags;
    s.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(int(handle), TIOCSSERIAL, &s) != 0) {
        out.reason = SystemText(errno);
        return out;
    }
    out.result = TLowLatency::Result::On;
    out.previousFlags = before;
    return out;
}

QString RestoreSerialFlags(qintptr handle, int flags) {
    serial_struct s{};
    bool restored = ::ioctl(int(handle), TIOCGSERIAL, &s) == 0;
    if (restored) {
        s.flags = flags;
        restored = ::ioctl(int(handle), TIOCSSERIAL, &s) == 0;
    }
    return restored ? QString() : SystemText(errno);
}

TOpenFailure OpenNodeDirectly(const QString& devicePath) {
    using Kind = TOpenFailure::Kind;
    const QByteArray native = QFile::encodeName(QFileInfo(devicePath).absoluteFilePath());
    const auto failure = [&devicePath](Kind kind, int error) {
        return TOpenFailure{kind, devicePath, SystemText(error), {}};
    };
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM)
            return failure(Kind::PermissionDenied, error);
        // Held with TIOCEXCL.
        if (error == EBUSY)
            return failure(Kind::InUse, error);
        return failure(Kind::Other, error);
    }
    struct termios2 t {};
    const bool tty = ::ioctl(fd, TCGETS2, &t) == 0;
    const int error = errno;
    ::close(fd);
    if (!tty)
        return failure(Kind::NotSerial, error);
    return {Kind::None, devicePath, {}, {}};
}

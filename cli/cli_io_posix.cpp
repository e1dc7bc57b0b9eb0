#include "cli/cli_io.h"

#include "support/file_io.h"
#include "support/file_names.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

void GuardStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // Output streams read-only, input write-only: every use fails as before.
        const int reserved = ::open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_NOCTTY);
        if (reserved >= 0 && reserved != fd) {
            ::dup2(reserved, fd);
            ::close(reserved);
        }
    }
}

bool StandardErrorIsTerminal() {
    return ::isatty(2) != 0;
}

bool IsFolder(const QString& name) {
    struct stat st;
    return ::stat(EncodeNative(name).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

TTraceFile::~TTraceFile() {
    QString ignored;
    Close(ignored);
}

bool TTraceFile::Open(const QString& name, QString& reason) {
    // A file size limit cuts the trace with EFBIG, said at the end, instead of killing the command.
    std::signal(SIGXFSZ, SIG_IGN);
    const QByteArray path = EncodeNative(name);
    struct stat st;
    // Looked at before it is opened: opening a serial device would raise its
    // lines, and a link is never followed.
    if (::lstat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        reason =
            S_ISLNK(st.st_mode)
                ? QStringLiteral("It is a symbolic link; a trace is never written through one.")
                : NotAFile(st.st_mode);
        return false;
    }
    // O_NONBLOCK: a pipe without a reader fails at once instead of waiting for one.
    const int fd =
        ::open(path.constData(),
               O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP && ::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode))
            reason = QStringLiteral("It is a symbolic link; a trace is never written through one.");
        else if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode))
            reason = NotAFile(st.st_mode);
        else
            reason = SystemText(error);
        return false;
    }
    if (::fstat(fd, &st) != 0)
        reason = SystemText(errno);
    else
        reason = NotAFile(st.st_mode);
    if (!reason.isEmpty()) {
        ::close(fd);
        return false;
    }
    // Emptied only now that it is known to be a regular file of its own.
    if (::ftruncate(fd, 0) != 0) {
        reason = SystemText(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    error_ = 0;
    return true;
}

void TTraceFile::Write(const QByteArray& line) {
    if (fd_ < 0 || error_ != 0)
        return;
    const char* p = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = n < 0 ? errno : EIO;
            return;
        }
        p += n;
        left -= n;
    }
}

bool TTraceFile::Close(QString& reason) {
    if (fd_ < 0)
        return true;
    if (::close(fd_) != 0 && error_ == 0)
        error_ = errno;
    fd_ = -1;
    if (error_ != 0)
        reason = SystemText(error_);
    return error_ == 0;
}

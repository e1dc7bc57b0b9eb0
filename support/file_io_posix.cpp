#include "support/file_io.h"

#include "support/file_io_parts.h"
#include "support/file_names.h"

#include <algorithm>
#include <optional>

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The longest name the folder of `path` takes.
long NameMax(const QByteArray& path) {
    const long nameMax = ::pathconf(FolderOf(path).constData(), _PC_NAME_MAX);
    return nameMax <= 0 ? NAME_MAX : nameMax;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        Close();
        fd_ = fd;
    }
    // The result of close(2); the descriptor is gone either way.
    int Close() {
        const int r = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return r;
    }

private:
    int fd_;
};

// Writes everything at offset 0 on; 0 or the errno of the failure.
int WriteAll(int fd, const QByteArray& content) {
    const char* p = content.constData();
    qsizetype left = content.size();
    off_t at = 0;
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, p, size_t(left), at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        p += n;
        at += n;
        left -= n;
    }
    return 0;
}

// A file size limit would otherwise end the program at the first write past
// it, leaving the temporary file behind; ignored, the write fails with EFBIG.
void IgnoreFileSizeSignal() {
    struct sigaction old {};
    if (::sigaction(SIGXFSZ, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
        std::signal(SIGXFSZ, SIG_IGN);
}

// The path a chain of symbolic links ends at (which need not exist yet).
QByteArray FollowLinks(QByteArray path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (n <= 0 || n >= target.size())
            return path;
        target.truncate(n);
        if (!target.startsWith('/')) {
            const qsizetype slash = path.lastIndexOf('/');
            target = slash < 0 ? target : path.left(slash + 1) + target;
        }
        path = target;
    }
    return path; // a loop: the write reports ELOOP
}

// Overwrites an open file where it is. Room past the old end is taken before
// the first byte changes, so a full disk or a size limit usually fails it
// while the file is still whole.
void WriteInPlace(int fd, off_t oldSize, const QString& name, const QByteArray& content) {
    if (content.size() > oldSize) {
        const int r = ::posix_fallocate(fd, oldSize, off_t(content.size()) - oldSize);
        if (r == EFBIG || r == ENOSPC || r == EDQUOT) {
            (void)!::ftruncate(fd, oldSize); // what an emulated allocation added
            ThrowFileError("Cannot write file", name, SystemText(r));
        }
    }
    const QString damaged = QStringLiteral(" The file was being overwritten in place and may now "
                                           "be incomplete.");
    if (const int err = WriteAll(fd, content))
        ThrowFileError("Cannot write file", name, SystemText(err) + damaged);
    if (::ftruncate(fd, off_t(content.size())) != 0 || ::fsync(fd) != 0)
        ThrowFileError("Cannot write file", name, SystemText(errno) + damaged);
}

// Stop signals wait while a temporary file has a name, so that nothing ends
// the program with it left behind; one that came meanwhile is delivered when
// the name is gone. Only the calling thread's mask changes.
class HoldStopSignals {
public:
    HoldStopSignals() {
        sigset_t stop;
        sigemptyset(&stop);
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&stop, s);
        ::pthread_sigmask(SIG_BLOCK, &stop, &old_);
    }
    ~HoldStopSignals() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    HoldStopSignals(const HoldStopSignals&) = delete;
    HoldStopSignals& operator=(const HoldStopSignals&) = delete;

private:
    sigset_t old_;
};

enum class Replaced {
    Done,
    NotHere,    // the folder forbids a new file or the replacing of the old one
    CannotName, // an unnamed file could not be given a name
};

// The temporary file of a save: unnamed where the file system can (unnamed
// stays true), else named `tmp` at once, stop signals held from then on; -1
// with errno when it cannot be made.
int OpenTemporary(const QByteArray& path, QByteArray& tmp, bool& unnamed,
                  std::optional<HoldStopSignals>& held) {
    if (unnamed) {
        const int made = OpenUnnamedFile(FolderOf(path));
        // A file system or kernel without unnamed files.
        unnamed = made >= 0 || !(errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL);
        if (unnamed)
            return made;
    }
    held.emplace();
    return ::mkostemp(tmp.data(), O_CLOEXEC);
}

// Gives the new file the old one's permission bits, or those a new file gets
// with the umask; 0 or the errno of the failure.
int TakeMode(int fd, const struct stat* old) {
    mode_t mode;
    if (old) {
        // Owner and group where the user may set them (before the mode:
        // a change of owner clears the set-id bits).
        if (::fchown(fd, old->st_uid, old->st_gid) != 0)
            (void)!::fchown(fd, uid_t(-1), old->st_gid);
        mode = old->st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    return ::fchmod(fd, mode) == 0 ? 0 : errno;
}

// Writes the content to a temporary file beside `path` and renames it over
// the target. The temporary is made unnamed where the file system can, and
// named only for the rename, so that a signal at any moment leaves nothing;
// elsewhere it is named at once and stop signals wait while it exists.
Replaced ReplaceThroughTemporary(const QByteArray& path, const QString& name,
                                 const QByteArray& content, const struct stat* old, bool unnamed) {
    std::optional<HoldStopSignals> held;
    QByteArray tmp = TemporaryName(path, NameMax(path));
    Fd fd(OpenTemporary(path, tmp, unnamed, held));
    if (fd.get() < 0) {
        const int err = errno;
        if (old && (err == EACCES || err == EPERM)) // a folder the user cannot write
            return Replaced::NotHere;
        ThrowFileError("Cannot create file", name, SystemText(err));
    }
    bool named = !unnamed;
    auto fail = [&](const char* what, int err) {
        fd.Close();
        if (named)
            ::unlink(tmp.constData());
        ThrowFileError(what, name, SystemText(err));
    };
    if (const int err = TakeMode(fd.get(), old))
        fail("Cannot create file", err);
    if (const int err = WriteAll(fd.get(), content))
        fail("Cannot write file", err);
    if (::fsync(fd.get()) != 0)
        fail("Cannot write file", errno);
    if (!named) {
        held.emplace();
        if (const int err = NameUnnamedFile(fd.get(), tmp)) {
            if (err == ENOENT || err == EPERM)
                return Replaced::CannotName;
            if (old && err == EACCES)
                return Replaced::NotHere;
            fail("Cannot create file", err);
        }
        named = true;
    }
    if (fd.Close() != 0)
        fail("Cannot write file", errno);
    if (::rename(tmp.constData(), path.constData()) != 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        // A sticky folder keeps another user's file from being replaced,
        // though the user may write it.
        if (old && (err == EPERM || err == EACCES))
            return Replaced::NotHere;
        ThrowFileError("Cannot create file", name, SystemText(err));
    }
    return Replaced::Done;
}

} // namespace

QByteArray ReadWholeFile(const QString& name, qint64 maxSize) {
    const QByteArray path = EncodeNative(name);
    // Looked at before it is opened: opening a serial device would raise its
    // lines, and a pipe would wait for a writer.
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        ThrowFileError("Cannot open file", name, SystemText(errno));
    if (!S_ISREG(st.st_mode))
        ThrowFileError("Cannot open file", name, NotAFile(st.st_mode));
    Fd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        ThrowFileError("Cannot open file", name, SystemText(errno));
    if (::fstat(fd.get(), &st) != 0)
        ThrowFileError("Cannot read file", name, SystemText(errno));
    if (!S_ISREG(st.st_mode)) // replaced in between
        ThrowFileError("Cannot open file", name, NotAFile(st.st_mode));
    const QString tooLong = QStringLiteral("It is longer than %1 bytes.").arg(maxSize);
    if (st.st_size > maxSize)
        ThrowFileError("Cannot read file", name, tooLong);
    // Up to one byte past the limit, for a file that grows while it is read.
    QByteArray data(qsizetype(std::min<qint64>(st.st_size, maxSize) + 1), '\0');
    qsizetype got = 0;
    for (;;) {
        if (got == data.size()) {
            if (got > maxSize)
                ThrowFileError("Cannot read file", name, tooLong);
            data.resize(std::min<qsizetype>(qsizetype(maxSize) + 1, data.size() * 2));
        }
        const ssize_t n = ::read(fd.get(), data.data() + got, size_t(data.size() - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowFileError("Cannot read file", name, SystemText(errno));
        }
        if (n == 0)
            break;
        got += n;
    }
    data.truncate(got);
    return data;
}

void WriteWholeFile(const QString& name, const QByteArray& content) {
    IgnoreFileSizeSignal();
    const QByteArray path = FollowLinks(EncodeNative(name));
    struct stat st;
    const bool exists = ::stat(path.constData(), &st) == 0;
    if (!exists && errno != ENOENT)
        ThrowFileError("Cannot create file", name, SystemText(errno));
    if (exists && !S_ISREG(st.st_mode))
        ThrowFileError("Cannot write file", name,
                       NotAFile(st.st_mode) + QStringLiteral(" Nothing was written."));
    Fd target;
    if (exists) {
        // The test a plain write makes: a file the user may not write is
        // refused, not replaced behind its owner's back.
        target.reset(::open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (target.get() < 0)
            ThrowFileError("Cannot write file", name, SystemText(errno));
        if (::fstat(target.get(), &st) != 0)
            ThrowFileError("Cannot write file", name, SystemText(errno));
        // Replacing would cut the other links off the new content.
        if (st.st_nlink > 1)
            return WriteInPlace(target.get(), st.st_size, name, content);
    }

    const struct stat* old = exists ? &st : nullptr;
    Replaced r = ReplaceThroughTemporary(path, name, content, old, UnnamedTemporariesAllowed());
    if (r == Replaced::CannotName)
        r = ReplaceThroughTemporary(path, name, content, old, false);
    if (r == Replaced::NotHere)
        WriteInPlace(target.get(), st.st_size, name, content);
}

bool FileExists(const QString& name) {
    struct stat st {};
    return ::stat(EncodeNative(name).constData(), &st) == 0;
}

QString NotAFile(unsigned mode) {
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QStringLiteral("It is a folder, not a file.");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("It is a device, not a file.");
    if (S_ISFIFO(mode))
        return QStringLiteral("It is a pipe (FIFO), not a file.");
    if (S_ISSOCK(mode))
        return QStringLiteral("It is a socket, not a file.");
    return QStringLiteral("It is not a regular file.");
}

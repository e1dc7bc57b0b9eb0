#include "support/file_io.h"

#include "support/errors.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray ReadWholeFile(const QString& name, qint64 maxSize) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        throw TripError(QStringLiteral("Cannot open file \"%1\". %2").arg(name, f.errorString()));
    // In pieces up to one byte past the limit, so an endless device ends too.
    QByteArray data;
    for (;;) {
        const QByteArray piece = f.read(std::min<qint64>(maxSize + 1 - data.size(), 1 << 20));
        if (piece.isEmpty())
            break;
        data += piece;
        if (data.size() > maxSize)
            throw TripError(QStringLiteral("Cannot read file \"%1\". It is longer than %2 bytes.")
                                .arg(name)
                                .arg(maxSize));
    }
    if (f.error() != QFileDevice::NoError)
        throw TripError(QStringLiteral("Cannot read file \"%1\". %2").arg(name, f.errorString()));
    return data;
}

namespace {

[[noreturn]] void ThrowWriteError(const char* what, const QString& name, int err) {
    throw TripError(
        QStringLiteral("%1 \"%2\". %3")
            .arg(QString::fromLatin1(what), name, QString::fromLocal8Bit(std::strerror(err))));
}

} // namespace

// Written to a temporary file beside the target and renamed over it only when
// every byte is on disk. QSaveFile is not used: it reports success after a
// short write (seen with a file size limit), which would truncate the file.
void WriteWholeFile(const QString& name, const QByteArray& content) {
    QString target = name;
    const QFileInfo info(name);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath();
    const QByteArray path = QFile::encodeName(target);
    QByteArray tmp = path + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        ThrowWriteError("Cannot create file", name, errno);

    auto fail = [&](const char* what, int err) {
        ::close(fd);
        ::unlink(tmp.constData());
        ThrowWriteError(what, name, err);
    };
    struct stat st;
    mode_t mode;
    if (::stat(path.constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        fail("Cannot create file", errno);
    const char* p = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("Cannot write file", errno);
        }
        if (n == 0)
            fail("Cannot write file", EIO);
        p += n;
        left -= n;
    }
    if (::fsync(fd) != 0)
        fail("Cannot write file", errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        ThrowWriteError("Cannot write file", name, err);
    }
    if (::rename(tmp.constData(), path.constData()) != 0) {
        const int err = errno;
        ::unlink(tmp.constData());
        ThrowWriteError("Cannot create file", name, err);
    }
}

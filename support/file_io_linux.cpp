#include "support/file_io_parts.h"

#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int OpenUnnamedFile(const QByteArray& folder) {
    return ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
}

int NameUnnamedFile(int fd, QByteArray& tmp) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int tries = 0; tries < 100; ++tries) {
        for (qsizetype i = tmp.size() - 6; i < tmp.size(); ++i)
            tmp[i] = kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)];
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, tmp.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        // Without /proc, the descriptor itself, where the user may link by it.
        if (errno == ENOENT && ::linkat(fd, "", AT_FDCWD, tmp.constData(), AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

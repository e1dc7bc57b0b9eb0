#include "core/ini_place.h"

#include "support/file_names.h"

#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CanSaveAs(const QString& name) {
    const QByteArray path = EncodeNative(name);
    struct stat st;
    if (::stat(path.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return false;
        const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    }
    if (errno != ENOENT)
        return false;
    const QByteArray dir = EncodeNative(QFileInfo(name).absolutePath());
    return ::euidaccess(dir.constData(), W_OK | X_OK) == 0;
}

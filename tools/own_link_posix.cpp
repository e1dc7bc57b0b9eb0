#include "tools/own_link.h"

#include "support/errors.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

TOwnLink::TOwnLink(const QString& at, const QString& device) : at_(QFile::encodeName(at)) {
    if (at.isEmpty())
        return;
    target_ = QFile::encodeName(device);
    // symlink() never replaces; a link to this very device was left by a
    // simulator that died on the same pseudo-terminal.
    const int error = ::symlink(target_.constData(), at_.constData()) == 0 ? 0 : errno;
    if (error != 0 && !IsOurs()) {
        const QFileInfo there(at);
        if (error != EEXIST)
            throw TripError(QStringLiteral("Can not make the link %1: %2")
                                .arg(at, QString::fromLocal8Bit(std::strerror(error))));
        const QString what = there.isSymLink()
                                 ? QStringLiteral("a link to %1").arg(there.symLinkTarget())
                             : there.isDir() ? QStringLiteral("a folder")
                                             : QStringLiteral("a file");
        throw TripError(QStringLiteral("--link %1: there is %2 there already; it is left as "
                                       "it is. Remove it or name another path.")
                            .arg(at, what));
    }
    made_ = true;
}

TOwnLink::~TOwnLink() {
    if (made_ && IsOurs())
        ::unlink(at_.constData());
}

bool TOwnLink::IsOurs() const {
    char buf[4096];
    const ssize_t n = ::readlink(at_.constData(), buf, sizeof buf);
    return n > 0 && QByteArray(buf, n) == target_;
}

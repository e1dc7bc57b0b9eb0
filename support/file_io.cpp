#include "support/file_io.h"

#include "support/file_io_parts.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

std::atomic<bool> unnamedAllowed{true};

} // namespace

QString SystemText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

void ThrowFileError(const char* what, const QString& name, const QString& reason) {
    throw FileError(QStringLiteral("%1 \"%2\". %3").arg(QLatin1String(what), name, reason), reason);
}

QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray TemporaryName(const QByteArray& path, long nameMax) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray base = path.mid(slash + 1);
    // "." + base + ".XXXXXX"
    const qsizetype keep = std::max<qsizetype>(1, std::min<qsizetype>(base.size(), nameMax - 8));
    return path.left(slash + 1) + '.' + base.left(keep) + ".XXXXXX";
}

bool UnnamedTemporariesAllowed() {
    return unnamedAllowed.load();
}

void UseNamedTemporaries(bool named) {
    unnamedAllowed = !named;
}

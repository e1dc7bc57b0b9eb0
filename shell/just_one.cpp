#include "shell/just_one.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool OwnFolder(const QString& dir) {
    struct stat st;
    return ::lstat(QFile::encodeName(dir).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid();
}

} // namespace

QString TJustOne::UserLockFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && OwnFolder(runtime))
        return runtime;
    QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) {
        const passwd* pw = ::getpwuid(::geteuid());
        cache = pw ? QFile::decodeName(pw->pw_dir) + QStringLiteral("/.cache") : QString();
    }
    const QString dir = cache + QStringLiteral("/tripconf");
    if (QDir().mkpath(dir))
        ::chmod(QFile::encodeName(dir).constData(), 0700);
    return dir;
}

TJustOne::TJustOne(const QString& exeFileName, const QString& lockDir) {
    const QString dir = lockDir.isEmpty() ? UserLockFolder() : lockDir;
    path_ = QDir(dir).filePath(exeFileName + QStringLiteral(".lock"));
    lock_ = std::make_unique<QLockFile>(path_);
    // Staleness is judged by the owner's process only, never by age: a
    // copy left running for days still holds the lock.
    lock_->setStaleLockTime(0);
    owned_ = lock_->tryLock(0) || lock_->error() != QLockFile::LockFailedError;
}

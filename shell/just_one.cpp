#include "shell/just_one.h"

#include "shell/user_folders.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

QString TJustOne::UserLockFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && IsOwnFolder(runtime))
        return runtime;
    QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) {
        const std::optional<QString> home = HomeFolderOfUser();
        cache = home ? *home + QStringLiteral("/.cache") : QString();
    }
    const QString dir = cache + QStringLiteral("/tripconf");
    if (QDir().mkpath(dir))
        MakeFolderPrivate(dir);
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

#include "shell/just_one.h"

#include <QDir>
#include <QStandardPaths>

TJustOne::TJustOne(const QString& exeFileName, const QString& lockDir) {
    QString dir = lockDir;
    if (dir.isEmpty()) {
        dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (dir.isEmpty() || !QDir(dir).exists())
            dir = QDir::tempPath();
    }
    path_ = QDir(dir).filePath(exeFileName + QStringLiteral(".lock"));
    lock_ = std::make_unique<QLockFile>(path_);
    // Staleness is judged by the owner's process only, never by age: a
    // copy left running for days still holds the lock.
    lock_->setStaleLockTime(0);
    owned_ = lock_->tryLock(0);
}

#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// Keeps a second copy of the program from running for the same user. The
// lock is named after the executable's file name; a lock left by a crashed
// copy is taken over.
class TJustOne {
public:
    // lockDir empty: UserLockFolder().
    explicit TJustOne(const QString& exeFileName, const QString& lockDir = {});
    // False only when another copy holds the lock. A lock that cannot be made
    // at all does not keep the program from starting.
    bool Owned() const { return owned_; }
    QString LockPath() const { return path_; }

    // A folder only this user's copies see: the runtime folder when it is
    // set and the user's own, else a private folder in the user's cache
    // folder. Never the shared temporary folder, where another user's copy,
    // running or crashed, would keep this user out.
    static QString UserLockFolder();

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool owned_ = false;
};

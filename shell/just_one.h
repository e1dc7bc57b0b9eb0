#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// Keeps a second copy of the program from running. The lock is named after
// the executable's file name; a lock left by a crashed copy is taken over.
class TJustOne {
public:
    // lockDir empty: the user's runtime folder.
    explicit TJustOne(const QString& exeFileName, const QString& lockDir = {});
    bool Owned() const { return owned_; }
    QString LockPath() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool owned_ = false;
};

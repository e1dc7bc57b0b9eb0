#include "shell/user_folders.h"

#include <QFile>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

bool IsOwnFolder(const QString& dir) {
    struct stat st;
    return ::lstat(QFile::encodeName(dir).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid();
}

std::optional<QString> HomeFolderOfUser() {
    const passwd* pw = ::getpwuid(::geteuid());
    if (!pw)
        return std::nullopt;
    return QFile::decodeName(pw->pw_dir);
}

void MakeFolderPrivate(const QString& dir) {
    ::chmod(QFile::encodeName(dir).constData(), 0700);
}

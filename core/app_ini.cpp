#include "core/app_ini.h"

#include "support/errors.h"
#include "support/file_io.h"
#include "support/file_names.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString CreatedIfMissing(const QString& name) {
    if (!FileExists(name)) {
        try {
            WriteWholeFile(name, " \r\n");
        } catch (const TripError&) {
            // Reads as empty; the save at close reports the reason.
        }
    }
    return name;
}

// True when the settings can really be saved as `name`: an existing regular
// file the user may open for writing (the save writes it in place when the
// folder is closed to the user), or a new file in a folder the user may write.
bool CanSave(const QString& name) {
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

} // namespace

QString TMIniFile::FileNameFor(const QString& programFolder, const QString& baseName) {
    const QString base = baseName + QStringLiteral(".ini");
    const QString beside = QDir(programFolder).filePath(base);
    if (CanSave(beside))
        return beside;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/") + baseName;
    QDir().mkpath(config);
    return QDir(config).filePath(base);
}

QString TMIniFile::DefaultFileName(const QString& baseName) {
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    return FileNameFor(exe.absolutePath(), baseName.isEmpty() ? exe.completeBaseName() : baseName);
}

TMIniFile::TMIniFile() : TMIniFile(DefaultFileName()) {}

TMIniFile::TMIniFile(const QString& fileName) : TIniFile(CreatedIfMissing(fileName)) {}

#include "core/app_ini.h"

#include "core/ini_place.h"
#include "support/errors.h"
#include "support/file_io.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

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

} // namespace

QString TMIniFile::FileNameFor(const QString& programFolder, const QString& baseName) {
    const QString base = baseName + QStringLiteral(".ini");
    const QString beside = QDir(programFolder).filePath(base);
    if (CanSaveAs(beside))
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

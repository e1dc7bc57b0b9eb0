#include "core/app_ini.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace {

QString CreatedIfMissing(const QString& name) {
    if (!QFileInfo::exists(name)) {
        QFile f(name);
        if (f.open(QIODevice::WriteOnly))
            f.write(" \r\n");
    }
    return name;
}

} // namespace

QString TMIniFile::DefaultFileName(const QString& baseName) {
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const QString name = baseName.isEmpty() ? exe.completeBaseName() : baseName;
    const QString base = name + QStringLiteral(".ini");
    const QString beside = exe.absoluteDir().filePath(base);
    const QByteArray dir = QFile::encodeName(exe.absolutePath());
    if (QFileInfo::exists(beside) ? ::access(QFile::encodeName(beside).constData(), W_OK) == 0
                                  : ::access(dir.constData(), W_OK) == 0)
        return beside;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/") + name;
    QDir().mkpath(config);
    return QDir(config).filePath(base);
}

TMIniFile::TMIniFile() : TMIniFile(DefaultFileName()) {}

TMIniFile::TMIniFile(const QString& fileName) : TIniFile(CreatedIfMissing(fileName)) {}

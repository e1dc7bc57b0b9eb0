// write --backup's first step, and the backups command that lists what it saved.

#include "cli/backup_commands.h"

#include "cli/cli_common.h"
#include "core/backups.h"
#include "model/mk.h"
#include "model/settings_record.h"
#include "support/errors.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <mutex>

TBackupResult BackUpUnit(TSerialLink& link, const TMK& mk, const QString& port,
                         TTransferObserver& observer) {
    TMK unit;
    TBackupResult b{ReadBeforeWrite(link, mk, unit, observer), {}, {}};
    if (b.transfer.status != TransferStatus::Done)
        return b;
    // Ports side by side could both find a name free and then save over each other.
    static std::mutex saving;
    try {
        const std::lock_guard<std::mutex> hold(saving);
        b.path = SaveBackup(BackupFolder(), port, unit.Version, unit.Image);
    } catch (const std::exception& e) {
        b.transfer = {TransferStatus::Failed,
                      QStringLiteral("No backup could be saved, so nothing was written: %1")
                          .arg(ExceptionMessage(e))};
        return b;
    }
    b.record = unit.Image.left(TSettingsRecord::kSize);
    return b;
}

namespace {

const char* const kTimeShown = "yyyy-MM-dd HH:mm:ss";

QString BackupsText(const QList<TBackupEntry>& entries) {
    QString text;
    for (const TBackupEntry& e : entries) {
        const QString what = e.problem.isEmpty()
                                 ? QStringLiteral("settings version %1").arg(e.version)
                                 : QStringLiteral("unreadable: %1").arg(e.problem);
        text += QStringLiteral("%1  %2  %3  %4\n")
                    .arg(e.time.toString(QString::fromLatin1(kTimeShown)),
                         e.port.isEmpty() ? QStringLiteral("-") : e.port, what, e.path);
    }
    return text;
}

QString BackupsJson(const QList<TBackupEntry>& entries) {
    const auto textOrNull = [](const QString& s) { return s.isEmpty() ? QJsonValue() : s; };
    QJsonArray array;
    for (const TBackupEntry& e : entries) {
        const bool loaded = e.problem.isEmpty();
        array.append(QJsonObject{
            {QStringLiteral("time"), e.time.toString(Qt::ISODate)},
            {QStringLiteral("port"), textOrNull(e.port)},
            {QStringLiteral("version"), loaded ? QJsonValue(int(e.version)) : QJsonValue()},
            {QStringLiteral("path"), e.path},
            {QStringLiteral("problem"), textOrNull(e.problem)}});
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

} // namespace

void DeclareBackups(QCommandLineParser& p) {
    p.setApplicationDescription(
        QStringLiteral(
            "Lists the backups that write --backup saved, newest first: the time, the port,\n"
            "the settings version and the file, which any command takes as a settings file.\n"
            "A file that cannot be read as settings is listed as unreadable, with why.\n"
            "The folder: %1")
            .arg(BackupFolder()));
    p.addOption({QStringLiteral("json"), QStringLiteral("Print one JSON array.")});
}

int CmdBackups(const TCliCall& call) {
    const QString folder = BackupFolder();
    // A folder that cannot be looked into would otherwise pass for one without backups.
    if (const QFileInfo info(folder); info.exists() && !(info.isDir() && info.isReadable()))
        throw TCliError::Failure(
            QStringLiteral("The backups folder %1 cannot be read.").arg(folder));
    const QList<TBackupEntry> entries = ListBackups(folder);
    if (call.isSet("json"))
        Out(BackupsJson(entries));
    else if (entries.isEmpty())
        Err(QStringLiteral("No backups in %1.").arg(folder));
    else
        Out(BackupsText(entries));
    return 0;
}

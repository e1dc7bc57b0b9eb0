// write --backup's first step.

#include "cli/backup_commands.h"

#include "core/backups.h"
#include "model/mk.h"
#include "model/settings_record.h"
#include "support/errors.h"

#include <mutex>

TBackupResult BackUpUnit(TSerialLink& link, const TMK& mk, const QString& port,
                         TTransferObserver& observer, TLanguage language) {
    TMK unit;
    TBackupResult b{ReadBeforeWrite(link, mk, unit, observer, {}, language), {}, {}};
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

#pragma once

#include "core/transfers.h"

#include <QByteArray>
#include <QString>

class TMK;
class TSerialLink;

// What write --backup did before its write.
struct TBackupResult {
    // Done once the backup is saved; otherwise why not, and nothing was written.
    TransferResult transfer;
    QString path;      // the backup file
    QByteArray record; // what the trip computer held: the write expects it still
};

// Reads the whole image of the trip computer on link (refusing another
// settings version than mk's, as the write would) and saves it in the
// backups folder, named after port. Safe to call from several threads.
TBackupResult BackUpUnit(TSerialLink& link, const TMK& mk, const QString& port,
                         TTransferObserver& observer);

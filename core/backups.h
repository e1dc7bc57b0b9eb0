#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>

// Copies of what a trip computer held, saved before a write replaces its
// settings. They are ordinary settings files, named by time, port and
// settings version, so any settings command can load one; nothing here ever
// deletes or replaces one.

// $XDG_DATA_HOME/tripconf/backups, by default ~/.local/share/tripconf/backups.
QString BackupFolder();

// "2026-12-09_14-03-27_COM3_v3.tarvg". The port is shortened to what names
// it ("/dev/ttyUSB0" gives "ttyUSB0") and kept to letters, digits, "." and "-".
QString BackupFileName(const QDateTime& time, const QString& port, uint16_t version);

// Saves version and image as a settings file in folder (made when missing)
// under BackupFileName, with "-2", "-3" ... added when that name is taken.
// Returns the file's path; raises TripError naming the folder or file and
// the system's reason when the backup could not be saved whole.
QString SaveBackup(const QString& folder, const QString& port, uint16_t version,
                   const QByteArray& image, const QDateTime& time = QDateTime::currentDateTime());

// One file of the backups folder.
struct TBackupEntry {
    QString path;
    QDateTime time; // from the name, else the file's modification time
    QString port;   // from the name; empty when the name does not say
    // The loaded file; valid only when problem is empty.
    uint16_t version = 0;
    QByteArray image;
    QString problem; // why the file cannot be loaded as settings
};

// Every "*.tarvg" file of folder, newest first; a missing folder has none.
// A file that cannot be read, or is too short for the version and the
// whole settings record, is listed with its problem.
QList<TBackupEntry> ListBackups(const QString& folder);

#pragma once

#include "core/transfers.h"

#include <QList>
#include <QString>

// One trip computer of a transfer to many: the port as the user named it,
// its device path, and for a read the settings file it goes to.
struct TPortJob {
    QString port;
    QString path;
    QString file;
};

// The settings file a read from port goes to in folder: the device path's
// last component (or COMn), with the settings suffix.
QString PortFileName(const QString& folder, const QString& port, const QString& path);

// Reads every job's trip computer side by side, each in its own thread with
// its own link, and saves each complete read to the job's file. Prints one
// line per port as it finishes and the count of those that succeeded on
// standard output; the exit status 0 only when every port succeeded.
int ReadMany(const QList<TPortJob>& jobs, double connectTimeoutSeconds);

// Writes the settings file data to every job's trip computer side by side, likewise; with verify
// each reads the written blocks back. With backup each first saves what its trip computer
// holds, prints "PORT: backup: FILE", and writes only when that was saved.
int WriteMany(const QList<TPortJob>& jobs, const QByteArray& data, const VerifyOptions* verify,
              bool backup, double connectTimeoutSeconds);

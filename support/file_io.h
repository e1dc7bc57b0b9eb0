#pragma once

#include <QByteArray>
#include <QString>

// The whole content of a file, or TripError with the system's message.
QByteArray ReadWholeFile(const QString& name);
// Replaces the file's content atomically, or TripError; the old file survives a failure.
void WriteWholeFile(const QString& name, const QByteArray& content);

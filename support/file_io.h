#pragma once

#include <QByteArray>
#include <QString>

// Settings and tank files are a few kilobytes. The limit keeps a device such
// as /dev/zero, or a huge file opened by mistake, from taking all memory.
inline constexpr qint64 kMaxReadFileSize = qint64(64) << 20;

// The whole content of a file, or TripError with the system's message; a
// file longer than maxSize bytes is refused with its own message.
QByteArray ReadWholeFile(const QString& name, qint64 maxSize = kMaxReadFileSize);
// Replaces the file's content atomically, or TripError; the old file survives a failure.
void WriteWholeFile(const QString& name, const QByteArray& content);

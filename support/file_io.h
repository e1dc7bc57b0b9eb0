#pragma once

#include "support/errors.h"

#include <QByteArray>
#include <QString>

// Settings and tank files are a few kilobytes. The limit keeps a huge file
// opened by mistake from taking all memory.
inline constexpr qint64 kMaxReadFileSize = qint64(64) << 20;

// A failed file operation. The message names the file; reason() is the
// system's part alone ("Permission denied", "It is a folder, not a file.").
class FileError : public TripError {
public:
    FileError(const QString& message, const QString& reason)
        : TripError(message), reason_(reason) {}
    const QString& reason() const { return reason_; }

private:
    QString reason_;
};

// The whole content of a regular file, or FileError with the system's
// message. Folders, devices, pipes and sockets are refused without being
// read (a pipe would wait for a writer); a file longer than maxSize bytes too.
QByteArray ReadWholeFile(const QString& name, qint64 maxSize = kMaxReadFileSize);

// Replaces the content of the file `name` names, or FileError; after a
// failure the old file is as it was and no temporary file is left.
// - Written to a temporary file beside the target and renamed over it, so a
//   failure never leaves half a file. The temporary has no name until the
//   rename where the file system allows (O_TMPFILE); elsewhere SIGINT,
//   SIGTERM, SIGHUP and SIGQUIT wait in the saving thread while it exists.
//   A signal another thread takes with its default action (a second one in
//   tripconf-cli) can still end the program inside the short named step.
// - A file the user may not write is refused as a plain write would be;
//   anything but a regular file is refused and left alone.
// - A symbolic link is followed; the replaced file keeps its permission bits
//   (and its owner and group where the user may set them).
// - A file with several hard links, or one the user may write in a folder
//   where it cannot be replaced, is written in place, every write checked.
// - A file size limit fails the write (SIGXFSZ is ignored while the program
//   runs, so the write reports EFBIG instead of ending the program).
void WriteWholeFile(const QString& name, const QByteArray& content);

// Why a file of this type (a stat st_mode) is refused where a regular file
// is wanted; empty for a regular file.
QString NotAFile(unsigned mode);

// Whether name (as the system gives names: any bytes, see file_names.h)
// exists, following links; QFileInfo would lose bytes that are not UTF-8.
bool FileExists(const QString& name);

// Saves name their temporary file from the start, as on a file system
// without unnamed files; for the tests of that way.
void UseNamedTemporaries(bool named);
